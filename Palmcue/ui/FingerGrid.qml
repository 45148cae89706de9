// SPDX-License-Identifier: Apache-2.0
// The five finger rows with their mapped applications; raised fingers are highlighted. The
// application picker hangs off the whole card.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

Card {
    id: grid
    objectName: "fingerGrid"

    required property HandDetector detector
    // Opened from a row's chevron for that row's finger.
    required property PickerState picker

    function choose(finger: int): void {
        grid.picker.finger = finger;
        grid.picker.shown = true;
    }

    contentItem: ColumnLayout {
        spacing: 8

        Text {
            text: "Finger -> App Mappings"
            font.pixelSize: 12
            font.bold: true
            color: Theme.secondary
        }

        // In finger order. Written out rather than repeated, so that the rows can be handed
        // the detector in a way qmllint checks.
        FingerRow { finger: 0; detector: grid.detector; Layout.fillWidth: true; onChooseRequested: grid.choose(finger) }
        FingerRow { finger: 1; detector: grid.detector; Layout.fillWidth: true; onChooseRequested: grid.choose(finger) }
        FingerRow { finger: 2; detector: grid.detector; Layout.fillWidth: true; onChooseRequested: grid.choose(finger) }
        FingerRow { finger: 3; detector: grid.detector; Layout.fillWidth: true; onChooseRequested: grid.choose(finger) }
        FingerRow { finger: 4; detector: grid.detector; Layout.fillWidth: true; onChooseRequested: grid.choose(finger) }
    }

    AppPicker {
        detector: grid.detector
        picker: grid.picker
    }
}
