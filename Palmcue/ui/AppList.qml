// SPDX-License-Identifier: Apache-2.0
// The picker's list of applications: icon, name, and a checkmark on each one that carries
// the mapped name. A click reports the row's name; the picker does the rest.
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Basic

ListView {
    // The name the finger is mapped to.
    property string mapping
    // Icons are looked up only while this holds (the picker is open).
    property bool iconsShown
    signal chosen(string name)

    clip: true
    boundsBehavior: Flickable.StopAtBounds

    delegate: AbstractButton {
        id: appRow
        required property int index
        required property string name
        required property string path
        // This list, reached through the attached property: qmllint (Qt 6.4) cannot check a
        // delegate that uses this file's ids.
        readonly property AppList list: ListView.view as AppList
        objectName: "pickerRow_" + index
        width: appRow.list.width
        leftPadding: 12
        rightPadding: 12
        topPadding: 4
        bottomPadding: 4
        background: Rectangle {
            color: appRow.down ? Theme.controlFill : "transparent"
        }
        contentItem: RowLayout {
            spacing: 8
            // From the shell's icon provider; a missing icon leaves the box empty.
            Image {
                objectName: "pickerIcon_" + appRow.index
                Layout.preferredWidth: 28
                Layout.preferredHeight: 28
                sourceSize.width: 56
                sourceSize.height: 56
                fillMode: Image.Stretch
                asynchronous: true
                source: appRow.list.iconsShown ? "image://appicon/" + encodeURIComponent(appRow.path) : ""
            }
            Text {
                objectName: "pickerName_" + appRow.index
                Layout.fillWidth: true
                text: appRow.name
                textFormat: Text.PlainText
                font.pixelSize: 12
                color: Theme.primary
                elide: Text.ElideRight
            }
            SymbolIcon {
                objectName: "pickerCheck_" + appRow.index
                visible: appRow.list.mapping === appRow.name
                name: "checkmark"
                size: 14
            }
        }
        onClicked: appRow.list.chosen(appRow.name)
    }
}
