// SPDX-License-Identifier: Apache-2.0
// A row of segments bound to one number: the segment whose value equals `value` exactly is
// selected; a click reports the segment's value and leaves writing it to the owner.
import QtQuick
import QtQuick.Controls.Basic

Rectangle {
    id: control

    property var captions: []
    property var values: []
    property real value
    // Segment objectNames: prefix + caption without its unit, e.g. "holdSegment_0.8".
    property string namePrefix

    signal picked(real value)

    implicitHeight: 22
    radius: 6
    color: Theme.controlFill

    // The segments side by side, inside a margin of 2.
    Repeater {
        model: control.values.length
        delegate: AbstractButton {
            id: segment
            required property int index
            // A Repeater puts its items into its own parent, this control. They reach it that
            // way because qmllint (Qt 6.4) cannot check a delegate that uses this file's ids.
            readonly property SegmentedControl owner: segment.parent as SegmentedControl
            readonly property bool selected: owner.value === owner.values[index]
            objectName: owner.namePrefix + owner.captions[index].replace("s", "")
            x: 2 + index * width
            y: 2
            width: (owner.width - 4) / owner.values.length
            height: owner.height - 4
            checked: selected
            background: Rectangle {
                radius: 5
                color: segment.selected ? Theme.selectedSegment : "transparent"
                border.width: segment.selected ? 1 : 0
                border.color: Theme.separator
                // Divider between two unselected neighbours.
                Rectangle {
                    visible: segment.index > 0 && !segment.selected && segment.owner.value !== segment.owner.values[segment.index - 1]
                    x: -0.5
                    anchors.verticalCenter: parent.verticalCenter
                    width: 1
                    height: parent.height - 8
                    color: Theme.separator
                }
            }
            contentItem: Text {
                text: segment.owner.captions[segment.index]
                font.pixelSize: 11
                font.weight: segment.selected ? Font.DemiBold : Font.Normal
                color: Theme.primary
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: owner.picked(owner.values[index])
        }
    }
}
