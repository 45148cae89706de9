// SPDX-License-Identifier: Apache-2.0
// Logo, title, the hint and the Start/Stop pill.
import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Basic
import Palmcue.Ui

Rectangle {
    id: bar
    objectName: "headerBar"

    required property HandDetector detector

    color: Theme.bar
    implicitHeight: row.implicitHeight + 20

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        spacing: 12

        Item {
            objectName: "logoBadge"
            Layout.preferredWidth: 28
            Layout.preferredHeight: 28
            Image {
                anchors.fill: parent
                sourceSize.width: 28
                sourceSize.height: 28
                source: Qt.resolvedUrl("icons/logo-badge.svg")
            }
            SymbolIcon {
                anchors.centerIn: parent
                name: "hand.raised.fill"
                size: 13
            }
        }

        ColumnLayout {
            spacing: 1
            Text {
                objectName: "titleText"
                text: "Palm&Cue"
                textFormat: Text.PlainText
                font.pixelSize: 14
                font.bold: true
                color: Theme.primary
            }
            Text {
                objectName: "hintText"
                text: bar.detector.isDetecting ? "Show one finger to launch an app" : "Tap Start to begin"
                textFormat: Text.PlainText
                font.pixelSize: 9
                color: Theme.secondary
            }
        }

        Item {
            Layout.fillWidth: true
        }

        // Plain button: the pill is the whole visible control. Never disabled.
        AbstractButton {
            id: startStop
            objectName: "startStopButton"
            readonly property bool detecting: bar.detector.isDetecting
            leftPadding: 16
            rightPadding: 16
            topPadding: 6
            bottomPadding: 6
            background: Rectangle {
                objectName: "startStopBackground"
                radius: 7
                color: startStop.detecting ? Theme.red : Theme.green
            }
            contentItem: Row {
                spacing: 5
                SymbolIcon {
                    objectName: "startStopIcon"
                    anchors.verticalCenter: parent.verticalCenter
                    name: startStop.detecting ? "stop.fill" : "play.fill"
                    size: 12
                }
                Text {
                    objectName: "startStopText"
                    anchors.verticalCenter: parent.verticalCenter
                    text: startStop.detecting ? "Stop" : "Start"
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: "white"
                }
            }
            onClicked: {
                if (bar.detector.isDetecting)
                    bar.detector.stop();
                else
                    bar.detector.start();
            }
        }
    }
}
