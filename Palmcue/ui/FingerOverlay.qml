// Over the picture while a finger is held: the hold bar and the finger -> app label, at the
// bottom of the area.
import QtQuick
import QtQuick.Layouts

Item {
    id: overlay
    objectName: "fingerOverlay"

    required property QtObject detector
    required property int finger

    // Guarded: while the Loader goes inactive the finger may briefly read -1.
    readonly property bool valid: finger >= 0 && finger < 5
    readonly property color tint: valid ? detector.fingerColors[finger] : "transparent"
    readonly property string icon: valid ? detector.fingerIcons[finger] : ""
    readonly property string caption: valid ? " " + detector.fingerNames[finger] + " -> " + detector.mappings[finger] : ""

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
            implicitWidth: labelRow.implicitWidth + 24
            implicitHeight: labelRow.implicitHeight + 8
            radius: 8
            antialiasing: true
            color: Qt.rgba(overlay.tint.r, overlay.tint.g, overlay.tint.b, 0.8)

            Row {
                id: labelRow
                anchors.centerIn: parent
                Text {
                    objectName: "fingerLabelIcon"
                    text: overlay.icon
                    textFormat: Text.PlainText
                    font.family: Theme.emojiFamily
                    font.pixelSize: 13
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    objectName: "fingerLabelText"
                    text: overlay.caption
                    textFormat: Text.PlainText
                    font.pixelSize: 13
                    font.bold: true
                    color: "white"
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }
    }
}
