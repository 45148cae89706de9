// SPDX-License-Identifier: Apache-2.0
// The 240-high picture area (live video or "Camera off") with the finger overlay, and the
// status row below it.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

ColumnLayout {
    id: preview
    objectName: "cameraPreview"

    required property HandDetector detector

    spacing: 8

    Item {
        id: area
        objectName: "previewArea"
        Layout.fillWidth: true
        Layout.preferredHeight: 240

        Rectangle {
            anchors.fill: parent
            radius: 12
            color: "black"
        }

        // The live picture and the overlay are made from their files with the detector,
        // because qmllint (Qt 6.4) cannot check a component declared here that uses this
        // file's ids.
        Loader {
            anchors.fill: parent
            active: preview.detector.isDetecting
            Component.onCompleted: setSource("LivePicture.qml", {
                "detector": preview.detector
            })
        }

        Column {
            objectName: "cameraOffPlaceholder"
            anchors.centerIn: parent
            visible: !preview.detector.isDetecting
            spacing: 6
            opacity: 0.2
            SymbolIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                name: "video.slash-white"
                size: 28
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Camera off"
                font.pixelSize: 11
                color: "white"
            }
        }

        // Both conditions are checked: a finger left over from before Stop shows nothing.
        Loader {
            anchors.fill: parent
            active: preview.detector.isDetecting && preview.detector.detectedFinger >= 0
            Component.onCompleted: setSource("FingerOverlay.qml", {
                "detector": preview.detector
            })
        }
    }

    // Centred under the picture, never wider than it: a long status is cut at the end. Not
    // a layout item of its own, so that the text's full width cannot widen the column.
    Item {
        id: statusBox
        Layout.fillWidth: true
        implicitHeight: statusRow.implicitHeight

        Row {
            id: statusRow
            objectName: "statusRow"
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 4
            Rectangle {
                id: statusDot
                objectName: "statusDot"
                anchors.verticalCenter: parent.verticalCenter
                width: 6
                height: 6
                radius: 3
                color: preview.detector.isDetecting ? Theme.green : Theme.gray
            }
            Text {
                objectName: "statusText"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, statusBox.width - statusDot.width - statusRow.spacing)
                text: preview.detector.statusText
                textFormat: Text.PlainText
                font.pixelSize: 10
                color: Theme.secondary
                elide: Text.ElideRight
            }
        }
    }
}
