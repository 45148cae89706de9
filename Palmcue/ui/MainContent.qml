// SPDX-License-Identifier: Apache-2.0
// The scrolling column of cards that the main view shows once the camera may be used.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Flickable {
    id: scroll
    objectName: "mainScroll"

    required property HandDetector detector
    required property PickerState picker

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
            detector: scroll.detector
        }
        DebugCard {
            Layout.fillWidth: true
            detector: scroll.detector
        }
        FingerGrid {
            Layout.fillWidth: true
            detector: scroll.detector
            picker: scroll.picker
        }
        // As wide as its content and centred, like every child of the column that does not
        // stretch.
        SettingsCard {
            Layout.alignment: Qt.AlignHCenter
            detector: scroll.detector
        }
        // An invisible item takes no room in the layout: no gap while the log is empty.
        LogCard {
            Layout.fillWidth: true
            visible: scroll.detector.launchLog.length > 0
            detector: scroll.detector
        }
    }
}
