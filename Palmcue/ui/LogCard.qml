// SPDX-License-Identifier: Apache-2.0
// The recent launches, newest first.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Card {
    id: card
    objectName: "logCard"

    required property HandDetector detector
    // The detector keeps at most ten, oldest first.
    readonly property var rows: Array.from(detector.launchLog).slice(-10).reverse()

    contentItem: ColumnLayout {
        spacing: 8

        Text {
            text: "Launch Log"
            font.pixelSize: 12
            font.bold: true
            color: Theme.secondary
        }

        Repeater {
            model: card.rows
            delegate: LogRow {}
        }
    }
}
