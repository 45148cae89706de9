// SPDX-License-Identifier: Apache-2.0
// Shown instead of the cards while camera access is missing.
import QtQuick
import QtQuick.Controls.Basic
import Palmcue.Ui

Item {
    id: permission
    objectName: "permissionView"

    required property HandDetector detector
    property CameraSettingsPage desktop: null
    // Shown below the buttons once "Open System Settings" found no settings page to open.
    property string accessHelp: ""

    function openSettings(): void {
        if (permission.desktop === null)
            permission.accessHelp = "Ask the administrator of this computer for access to the camera, then click Grant Camera Access.";
        else if (!permission.desktop.openCameraSettings())
            permission.accessHelp = permission.desktop.cameraAccessHelp();
    }

    Column {
        anchors.centerIn: parent
        spacing: 24

        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "video.slash-orange"
            size: 44
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Camera Access Required"
            font.pixelSize: 20
            font.bold: true
            color: Theme.primary
        }
        Text {
            objectName: "permissionExplanation"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Palm&Cue needs your FaceTime camera\nto detect hand gestures and finger positions."
            textFormat: Text.PlainText
            horizontalAlignment: Text.AlignHCenter
            leftPadding: 40
            rightPadding: 40
            font.pixelSize: 13
            color: Theme.secondary
        }
        // Prominent (accent-filled), large control size.
        Button {
            id: grant
            objectName: "grantButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Grant Camera Access"
            leftPadding: 16
            rightPadding: 16
            topPadding: 7
            bottomPadding: 7
            font.pixelSize: 13
            contentItem: Text {
                text: grant.text
                font: grant.font
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 7
                color: grant.down ? Qt.darker(Theme.blue, 1.15) : Theme.blue
            }
            onClicked: permission.detector.requestPermission()
        }
        // Bordered, regular size. Where the desktop has no settings page to open, it shows how
        // to get access instead: it never does nothing.
        Button {
            id: openSettings
            objectName: "openSettingsButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Open System Settings"
            leftPadding: 10
            rightPadding: 10
            topPadding: 3
            bottomPadding: 3
            font.pixelSize: 13
            contentItem: Text {
                text: openSettings.text
                font: openSettings.font
                color: Theme.primary
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 5
                color: openSettings.down ? Qt.darker(Theme.controlFill, 1.3) : Theme.controlFill
                border.width: 1
                border.color: Theme.separator
            }
            onClicked: permission.openSettings()
        }
        // Selectable, so that the command in it can be copied.
        TextEdit {
            objectName: "cameraAccessHelp"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: text.length > 0
            width: 380
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            textFormat: TextEdit.PlainText
            horizontalAlignment: TextEdit.AlignHCenter
            text: permission.accessHelp
            font.pixelSize: 12
            color: Theme.secondary
        }
    }
}
