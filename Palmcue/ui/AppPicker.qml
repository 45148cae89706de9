// SPDX-License-Identifier: Apache-2.0
// The application picker: a popup over the finger grid card listing the installed
// applications; a click maps the chosen one to the picker's finger.
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Basic
import Palmcue.Ui

Popup {
    id: popup
    objectName: "appPicker"

    required property HandDetector detector
    required property PickerState picker
    readonly property int finger: picker.finger

    // Centred over the card it belongs to; margins keep it inside the window.
    x: Math.round((parent.width - width) / 2)
    y: Math.round((parent.height - height) / 2)
    margins: 8
    width: 300
    padding: 0
    modal: false
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    visible: picker.shown
    // Any dismissal (Escape, a click outside, a chosen row) ends up here.
    onClosed: popup.picker.shown = false

    function choose(name: string): void {
        popup.detector.setMapping(popup.finger, name);
        popup.picker.shown = false;
    }

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

        PickerHeader {
            objectName: "pickerHeader"
            Layout.alignment: Qt.AlignHCenter
            fingerName: popup.detector.fingerNames[popup.finger]
            fingerIcon: popup.detector.fingerIcons[popup.finger]
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Theme.separator
        }

        AppList {
            objectName: "pickerList"
            Layout.preferredWidth: 300
            Layout.preferredHeight: 400
            model: popup.picker.apps
            mapping: popup.detector.mappings[popup.finger]
            iconsShown: popup.visible
            onChosen: name => popup.choose(name)
        }
    }
}
