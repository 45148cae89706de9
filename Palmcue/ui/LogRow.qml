// SPDX-License-Identifier: Apache-2.0
// One launch in the log card: its time, the finger, and the application at the right edge.
import QtQuick
import QtQuick.Layouts
import Palmcue.Ui

RowLayout {
    id: row

    required property launchLogEntry modelData
    required property int index

    objectName: "logRow_" + index
    Layout.fillWidth: true
    Layout.topMargin: 3
    Layout.bottomMargin: 3
    spacing: 8

    Text {
        objectName: "logTime"
        text: row.modelData.time
        textFormat: Text.PlainText
        font.family: Theme.monoFamily
        font.pixelSize: 10
        color: Theme.secondary
    }
    Text {
        objectName: "logFinger"
        text: row.modelData.fingerName
        textFormat: Text.PlainText
        font.pixelSize: 11
        font.weight: Font.Medium
        color: Theme.primary
    }
    Item {
        Layout.fillWidth: true
    }
    // At the right edge, as wide as its text while the row has room; a long name is cut at
    // the end instead of widening the card.
    Text {
        objectName: "logApp"
        Layout.fillWidth: true
        Layout.maximumWidth: implicitWidth
        elide: Text.ElideRight
        text: row.modelData.appName
        textFormat: Text.PlainText
        font.pixelSize: 11
        color: Theme.blue
    }
}
