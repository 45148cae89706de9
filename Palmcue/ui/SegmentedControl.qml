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

    Row {
        anchors.fill: parent
        anchors.margins: 2

        Repeater {
            model: control.values.length
            delegate: AbstractButton {
                id: segment
                required property int index
                readonly property bool selected: control.value === control.values[index]
                objectName: control.namePrefix + control.captions[index].replace("s", "")
                width: (control.width - 4) / control.values.length
                height: parent.height
                checked: selected
                background: Rectangle {
                    radius: 5
                    color: segment.selected ? Theme.selectedSegment : "transparent"
                    border.width: segment.selected ? 1 : 0
                    border.color: Theme.separator
                    // Divider between two unselected neighbours.
                    Rectangle {
                        visible: segment.index > 0 && !segment.selected && control.value !== control.values[segment.index - 1]
                        x: -0.5
                        anchors.verticalCenter: parent.verticalCenter
                        width: 1
                        height: parent.height - 8
                        color: Theme.separator
                    }
                }
                contentItem: Text {
                    text: control.captions[segment.index]
                    font.pixelSize: 11
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    color: Theme.primary
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                onClicked: control.picked(control.values[segment.index])
            }
        }
    }
}
