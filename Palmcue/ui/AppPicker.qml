// The application picker: a popup over the finger grid card listing the installed
// applications; a click maps the chosen one to the picker's finger.
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Basic

Popup {
    id: picker
    objectName: "appPicker"

    required property QtObject detector
    required property Item view
    readonly property int finger: view.pickerFinger

    // Centred over the card it belongs to; margins keep it inside the window.
    x: Math.round((parent.width - width) / 2)
    y: Math.round((parent.height - height) / 2)
    margins: 8
    width: 300
    padding: 0
    modal: false
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    visible: view.showPicker
    // Any dismissal (Escape, a click outside, a chosen row) ends up here.
    onClosed: view.showPicker = false

    background: Item {
        // A soft edge instead of a blurred shadow, which the software renderer cannot draw.
        Rectangle {
            anchors.fill: parent
            anchors.margins: -2
            anchors.topMargin: 0
            anchors.bottomMargin: -4
            radius: 12
            color: Qt.rgba(0, 0, 0, 0.08)
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: Theme.popover
            border.width: 1
            border.color: Theme.separator
        }
    }

    contentItem: ColumnLayout {
        spacing: 0

        Item {
            objectName: "pickerHeader"
            readonly property string text: "Select app for " + picker.detector.fingerNames[picker.finger] + " " + picker.detector.fingerIcons[picker.finger]
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: headerRow.implicitWidth + 24
            implicitHeight: headerRow.implicitHeight + 24
            Row {
                id: headerRow
                anchors.centerIn: parent
                Text {
                    text: "Select app for " + picker.detector.fingerNames[picker.finger] + " "
                    textFormat: Text.PlainText
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    color: Theme.primary
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    text: picker.detector.fingerIcons[picker.finger]
                    textFormat: Text.PlainText
                    font.family: Theme.emojiFamily
                    font.pixelSize: 13
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Theme.separator
        }

        ListView {
            objectName: "pickerList"
            Layout.preferredWidth: 300
            Layout.preferredHeight: 400
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: picker.view.apps
            delegate: AbstractButton {
                id: appRow
                required property var modelData
                required property int index
                objectName: "pickerRow_" + index
                width: ListView.view.width
                leftPadding: 12
                rightPadding: 12
                topPadding: 4
                bottomPadding: 4
                background: Rectangle {
                    color: appRow.down ? Theme.controlFill : "transparent"
                }
                contentItem: RowLayout {
                    spacing: 8
                    // From the shell's icon provider, looked up only while the picker is
                    // open; a missing icon leaves the box empty.
                    Image {
                        objectName: "pickerIcon_" + appRow.index
                        Layout.preferredWidth: 28
                        Layout.preferredHeight: 28
                        sourceSize: Qt.size(56, 56)
                        fillMode: Image.Stretch
                        asynchronous: true
                        source: picker.visible ? "image://appicon/" + encodeURIComponent(appRow.modelData.path) : ""
                    }
                    Text {
                        objectName: "pickerName_" + appRow.index
                        Layout.fillWidth: true
                        text: appRow.modelData.name
                        textFormat: Text.PlainText
                        font.pixelSize: 12
                        color: Theme.primary
                        elide: Text.ElideRight
                    }
                    SymbolIcon {
                        objectName: "pickerCheck_" + appRow.index
                        visible: picker.detector.mappings[picker.finger] === appRow.modelData.name
                        name: "checkmark"
                        size: 14
                    }
                }
                onClicked: {
                    picker.detector.setMapping(picker.finger, appRow.modelData.name);
                    picker.view.showPicker = false;
                }
            }
        }
    }
}
