// SPDX-License-Identifier: Apache-2.0
// Hold time and cooldown, each picked from a fixed list.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Card {
    id: card
    objectName: "settingsCard"

    required property HandDetector detector

    contentItem: RowLayout {
        spacing: 20

        ColumnLayout {
            spacing: 4
            Text {
                text: "Hold Time"
                font.pixelSize: 10
                font.bold: true
                color: Theme.secondary
            }
            SegmentedControl {
                objectName: "holdTimeControl"
                Layout.preferredWidth: 200
                namePrefix: "holdSegment_"
                captions: ["0.5s", "0.8s", "1.0s", "1.5s", "2.0s"]
                values: [0.5, 0.8, 1.0, 1.5, 2.0]
                value: card.detector.holdTime
                onPicked: v => card.detector.holdTime = v
            }
        }

        ColumnLayout {
            spacing: 4
            Text {
                text: "Cooldown"
                font.pixelSize: 10
                font.bold: true
                color: Theme.secondary
            }
            SegmentedControl {
                objectName: "cooldownControl"
                Layout.preferredWidth: 160
                namePrefix: "cooldownSegment_"
                captions: ["2s", "5s", "10s", "15s"]
                values: [2, 5, 10, 15]
                value: card.detector.cooldown
                onPicked: v => card.detector.cooldown = v
            }
        }
    }
}
