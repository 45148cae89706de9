// SPDX-License-Identifier: Apache-2.0
// Over the picture while a finger is held: the hold bar and the finger -> app label, at the
// bottom of the area.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Item {
    id: overlay
    objectName: "fingerOverlay"

    required property HandDetector detector
    readonly property int finger: detector.detectedFinger

    // Guarded: while the Loader goes inactive the finger may briefly read -1.
    readonly property bool valid: finger >= 0 && finger < 5
    readonly property color tint: valid ? Qt.color(detector.fingerColors[finger]) : "transparent"
    readonly property string icon: valid ? detector.fingerIcons[finger] : ""
    readonly property string caption: valid ? " " + detector.fingerNames[finger] + " -> " + detector.mappings[finger] : ""
    // Room for the label's texts: the picture less 8 on each side and the label's padding.
    readonly property real labelRoom: Math.max(0, width - 16 - 24)

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        Item {
            Layout.fillHeight: true
        }

        Item {
            objectName: "holdBar"
            Layout.fillWidth: true
            Layout.leftMargin: 8
            Layout.rightMargin: 8
            Layout.preferredHeight: 4
            readonly property real value: Math.max(0, Math.min(1, overlay.detector.holdProgress))

            Rectangle {
                anchors.fill: parent
                radius: 2
                color: Qt.rgba(1, 1, 1, 0.25)
            }
            Rectangle {
                objectName: "holdBarFill"
                width: parent.width * parent.value
                height: parent.height
                radius: 2
                color: overlay.tint
            }
        }

        Rectangle {
            objectName: "fingerLabel"
            // The whole label text; drawn as two runs so the emoji gets the colour font.
            readonly property string text: overlay.icon + overlay.caption
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 8
            // As wide as its text, but no wider than the picture allows: a long application
            // name is cut at the end. From the texts' natural widths, which do not depend on
            // the label's.
            implicitWidth: Math.min(labelIcon.implicitWidth + labelText.implicitWidth, overlay.labelRoom) + 24
            implicitHeight: labelRow.implicitHeight + 8
            radius: 8
            antialiasing: true
            color: Qt.rgba(overlay.tint.r, overlay.tint.g, overlay.tint.b, 0.8)

            Row {
                id: labelRow
                anchors.centerIn: parent
                Text {
                    id: labelIcon
                    objectName: "fingerLabelIcon"
                    text: overlay.icon
                    textFormat: Text.PlainText
                    font.family: Theme.emojiFamily
                    font.pixelSize: 13
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    id: labelText
                    objectName: "fingerLabelText"
                    width: Math.min(implicitWidth, Math.max(0, overlay.labelRoom - labelIcon.implicitWidth))
                    text: overlay.caption
                    textFormat: Text.PlainText
                    font.pixelSize: 13
                    font.bold: true
                    color: "white"
                    elide: Text.ElideRight
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }
    }
}
