// SPDX-License-Identifier: Apache-2.0
// The root view of the main window: header bar, divider, then either the camera permission
// screen or the scrolling column of cards. Everything is a binding on the detector's state
// and on showPicker / pickerFinger, redrawn at once on each change (no transitions).
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Item {
    id: root
    objectName: "mainView"

    required property HandDetector detector
    // In the order the picker lists them; computed once by the shell.
    required property AppListModel apps
    // Optional: without it, the permission screen says whom to ask for access instead.
    property CameraSettingsPage desktop: null

    property alias showPicker: picker.shown
    property alias pickerFinger: picker.finger

    implicitWidth: 620
    implicitHeight: 760

    PickerState {
        id: picker
        apps: root.apps
    }

    Rectangle {
        anchors.fill: parent
        color: Theme.window
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        HeaderBar {
            Layout.fillWidth: true
            detector: root.detector
        }

        Rectangle {
            objectName: "headerDivider"
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Theme.separator
        }

        // The permission screen or the cards: Loaders, so that the hidden one does not exist
        // at all. Each is made from its file with its required properties, because qmllint
        // (Qt 6.4) cannot check a component declared here that uses this file's ids.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            Loader {
                anchors.fill: parent
                active: !root.detector.cameraAuthorized
                Component.onCompleted: setSource("PermissionView.qml", {
                    "detector": root.detector,
                    "desktop": root.desktop
                })
            }
            Loader {
                anchors.fill: parent
                active: root.detector.cameraAuthorized
                Component.onCompleted: setSource("MainContent.qml", {
                    "detector": root.detector,
                    "picker": picker
                })
            }
        }
    }

    Component.onCompleted: detector.checkPermission()
}
