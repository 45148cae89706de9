// The root view of the main window: header bar, divider, then either the camera permission
// screen or the scrolling column of cards. Everything is a binding on the detector's state
// and on showPicker / pickerFinger, redrawn at once on each change (no transitions).
import QtQuick
import QtQuick.Layouts

Item {
    id: root
    objectName: "mainView"

    required property QtObject detector
    // [{name, path}], in the order the picker lists them; computed once by the shell.
    required property var apps
    // Optional desktop helper: bool canOpenCameraSettings, openCameraSettings().
    property QtObject desktop: null

    property bool showPicker: false
    property int pickerFinger: 0

    implicitWidth: 620
    implicitHeight: 760

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

        // A Loader, so that the hidden branch does not exist at all.
        Loader {
            Layout.fillWidth: true
            Layout.fillHeight: true
            sourceComponent: root.detector.cameraAuthorized ? mainContent : permissionScreen
        }
    }

    Component {
        id: permissionScreen
        PermissionView {
            detector: root.detector
            desktop: root.desktop
        }
    }

    Component {
        id: mainContent
        Flickable {
            id: scroll
            objectName: "mainScroll"
            clip: true
            contentWidth: width
            contentHeight: column.implicitHeight + 32
            boundsBehavior: Flickable.StopAtBounds

            ColumnLayout {
                id: column
                objectName: "mainColumn"
                x: 16
                y: 16
                width: scroll.width - 32
                spacing: 14

                CameraPreview {
                    Layout.fillWidth: true
                    detector: root.detector
                }
                DebugCard {
                    Layout.fillWidth: true
                    detector: root.detector
                }
                FingerGrid {
                    Layout.fillWidth: true
                    detector: root.detector
                    view: root
                }
                // As wide as its content and centred, like every child of the column that
                // does not stretch.
                SettingsCard {
                    Layout.alignment: Qt.AlignHCenter
                    detector: root.detector
                }
                // An invisible item takes no room in the layout: no gap while the log is empty.
                LogCard {
                    Layout.fillWidth: true
                    visible: root.detector.launchLog.length > 0
                    detector: root.detector
                }
            }
        }
    }

    Component.onCompleted: detector.checkPermission()
}
