// SPDX-License-Identifier: Apache-2.0
// The detector's one-line diagnostic, at most two lines, cut at the end.
import QtQuick
import Palmcue.Ui

Rectangle {
    id: card
    objectName: "debugCard"

    required property HandDetector detector

    radius: 8
    color: Theme.alpha(Theme.orange, 0.05)
    border.width: 1
    border.color: Theme.alpha(Theme.orange, 0.2)
    implicitHeight: Math.max(icon.height, text.implicitHeight) + 20

    SymbolIcon {
        id: icon
        x: 10
        anchors.verticalCenter: parent.verticalCenter
        name: "ladybug"
        size: 10
    }
    // Anchored rather than laid out: a layout would fix the text's height, and a wrapped,
    // elided text then shortens itself to that height instead of two lines.
    Text {
        id: text
        objectName: "debugText"
        anchors.left: icon.right
        anchors.leftMargin: 6
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        text: card.detector.debugInfo
        textFormat: Text.PlainText
        font.family: Theme.monoFamily
        font.pixelSize: 9
        color: Theme.secondary
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
    }
}
