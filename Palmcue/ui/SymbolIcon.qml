// SPDX-License-Identifier: Apache-2.0
// A symbol icon drawn from the SVGs shipped with the module. `name` is the file's base name,
// the colour is baked into the file.
import QtQuick

Image {
    property string name
    property real size: 16

    width: size
    height: size
    sourceSize.width: size
    sourceSize.height: size
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: name.length > 0 ? Qt.resolvedUrl("icons/" + name + ".svg") : ""
}
