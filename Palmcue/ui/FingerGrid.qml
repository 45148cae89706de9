// The five finger rows with their mapped applications; raised fingers are highlighted. The
// application picker hangs off the whole card.
import QtQuick
import QtQuick.Layouts

Card {
    id: grid
    objectName: "fingerGrid"

    required property QtObject detector
    // The main view: showPicker, pickerFinger and apps live there.
    required property Item view

    contentItem: ColumnLayout {
        spacing: 8

        Text {
            text: "Finger -> App Mappings"
            font.pixelSize: 12
            font.bold: true
            color: Theme.secondary
        }

        Repeater {
            model: 5
            delegate: FingerRow {
                required property int index
                Layout.fillWidth: true
                finger: index
                detector: grid.detector
                onChooseRequested: {
                    grid.view.pickerFinger = index;
                    grid.view.showPicker = true;
                }
            }
        }
    }

    AppPicker {
        detector: grid.detector
        view: grid.view
    }
}
