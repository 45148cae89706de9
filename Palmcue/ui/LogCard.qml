// The recent launches, newest first.
import QtQuick
import QtQuick.Layouts

Card {
    id: card
    objectName: "logCard"

    required property QtObject detector
    // The detector keeps at most ten, oldest first.
    readonly property var rows: detector.launchLog.slice(-10).reverse()

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
            delegate: RowLayout {
                required property var modelData
                required property int index
                objectName: "logRow_" + index
                readonly property var entryId: modelData.id
                Layout.fillWidth: true
                Layout.topMargin: 3
                Layout.bottomMargin: 3
                spacing: 8

                Text {
                    objectName: "logTime"
                    text: modelData.time
                    textFormat: Text.PlainText
                    font.family: Theme.monoFamily
                    font.pixelSize: 10
                    color: Theme.secondary
                }
                Text {
                    objectName: "logFinger"
                    text: modelData.fingerName
                    textFormat: Text.PlainText
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.primary
                }
                Item {
                    Layout.fillWidth: true
                }
                // At the right edge, as wide as its text while the row has room; a long
                // name is cut at the end instead of widening the card.
                Text {
                    objectName: "logApp"
                    Layout.fillWidth: true
                    Layout.maximumWidth: implicitWidth
                    elide: Text.ElideRight
                    text: modelData.appName
                    textFormat: Text.PlainText
                    font.pixelSize: 11
                    color: Theme.blue
                }
            }
        }
    }
}
