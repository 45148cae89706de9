// SPDX-License-Identifier: Apache-2.0
// The shared card frame: padding 14 and a translucent rounded background of radius 12.
import QtQuick
import QtQuick.Controls.Basic

Control {
    padding: 14
    background: Rectangle {
        radius: 12
        color: Theme.ultraThin
    }
}
