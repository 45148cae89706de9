// SPDX-License-Identifier: Apache-2.0
// The picker's title: "Select app for " and the finger's name, then the finger's emoji in
// the colour-emoji font.
import QtQuick

Item {
    id: header

    required property string fingerName
    required property string fingerIcon
    // The whole title, as the two runs draw it.
    readonly property string text: "Select app for " + fingerName + " " + fingerIcon

    implicitWidth: runs.implicitWidth + 24
    implicitHeight: runs.implicitHeight + 24

    Row {
        id: runs
        anchors.centerIn: parent
        Text {
            text: "Select app for " + header.fingerName + " "
            textFormat: Text.PlainText
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.primary
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: header.fingerIcon
            textFormat: Text.PlainText
            font.family: Theme.emojiFamily
            font.pixelSize: 13
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}
