// SPDX-License-Identifier: Apache-2.0
// One finger: badge, name, mapped application and the chevron that opens the picker.
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Basic
import QtQuick.Controls.impl
import Palmcue.Ui

Control {
    id: row
    objectName: "fingerRow" + finger

    required property HandDetector detector
    required property int finger
    readonly property bool raised: detector.fingerStates[finger] === true
    readonly property color tint: Qt.color(detector.fingerColors[finger])

    signal chooseRequested

    leftPadding: 14
    rightPadding: 14
    topPadding: 8
    bottomPadding: 8

    background: Rectangle {
        objectName: "fingerRowFrame" + row.finger
        radius: 10
        color: Theme.ultraThin
        border.width: 1.5
        border.color: row.raised ? Theme.alpha(row.tint, 0.4) : "transparent"
    }

    contentItem: RowLayout {
        spacing: 10

        Rectangle {
            objectName: "fingerBadge" + row.finger
            Layout.preferredWidth: 36
            Layout.preferredHeight: 36
            radius: 18
            color: row.raised ? Theme.alpha(row.tint, 0.3) : Qt.rgba(1, 1, 1, 0.05)
            Text {
                anchors.centerIn: parent
                text: row.detector.fingerIcons[row.finger]
                textFormat: Text.PlainText
                font.family: Theme.emojiFamily
                font.pixelSize: 18
            }
        }
        Text {
            objectName: "fingerName" + row.finger
            Layout.preferredWidth: 60
            text: row.detector.fingerNames[row.finger]
            textFormat: Text.PlainText
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.primary
            elide: Text.ElideRight
        }
        Text {
            objectName: "fingerApp" + row.finger
            Layout.fillWidth: true
            text: row.detector.mappings[row.finger]
            textFormat: Text.PlainText
            font.pixelSize: 12
            color: Theme.secondary
            elide: Text.ElideRight
        }
        // Plain button: only the chevron reacts to clicks.
        AbstractButton {
            objectName: "chevron" + row.finger
            implicitWidth: 20
            implicitHeight: 20
            // Wrapped: a control stretches its content item, the icon keeps its size.
            contentItem: Item {
                // Tinted: the secondary colour follows the palette, light or dark.
                IconImage {
                    anchors.centerIn: parent
                    width: 10
                    height: 10
                    sourceSize.width: 10
                    sourceSize.height: 10
                    source: Qt.resolvedUrl("icons/chevron.right.svg")
                    color: Theme.secondary
                }
            }
            onClicked: row.chooseRequested()
        }
    }
}
