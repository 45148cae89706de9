// SPDX-License-Identifier: Apache-2.0
// Colours shared by the views: the system palette plus the fixed named colours and the
// translucent fills that stand in for the bar and card materials.
pragma Singleton
import QtQuick

QtObject {
    readonly property SystemPalette palette: SystemPalette {
        colorGroup: SystemPalette.Active
    }
    readonly property color window: palette.window
    readonly property bool dark: window.hslLightness < 0.5

    readonly property color primary: palette.windowText
    readonly property color secondary: alpha(primary, 0.55)
    readonly property color separator: alpha(primary, 0.14)

    // Translucent fills over the window colour; a light card on a light window, a lifted
    // one on a dark window.
    readonly property color ultraThin: dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(1, 1, 1, 0.6)
    readonly property color bar: dark ? Qt.rgba(1, 1, 1, 0.04) : Qt.rgba(1, 1, 1, 0.4)
    readonly property color popover: dark ? Qt.lighter(window, 1.25) : palette.base
    readonly property color controlFill: dark ? Qt.rgba(1, 1, 1, 0.1) : Qt.rgba(0, 0, 0, 0.06)
    readonly property color selectedSegment: dark ? Qt.rgba(1, 1, 1, 0.28) : "#ffffff"

    readonly property color red: "#ff3b30"
    readonly property color green: "#34c759"
    readonly property color blue: "#007aff"
    readonly property color orange: "#ff9500"
    readonly property color purple: "#af52de"
    readonly property color gray: "#8e8e93"

    readonly property string emojiFamily: "Noto Color Emoji"
    readonly property string monoFamily: "monospace"

    // `c` may be a colour or a "#rrggbb" text (the detector's finger colours).
    function alpha(c, a) {
        const k = Qt.tint(c, "transparent");
        return Qt.rgba(k.r, k.g, k.b, a);
    }
}
