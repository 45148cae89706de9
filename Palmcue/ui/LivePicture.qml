// SPDX-License-Identifier: Apache-2.0
// The live camera picture: mirrored, cropped to fill the area and clipped to radius 12, all
// made by PreviewPicture from each frame; opaque, its corners blended over the window's colour.
// The camera session's preview pushes its frames into the picture's video sink once attached.
import QtQuick
import Palmcue.Ui

Item {
    id: live
    objectName: "livePicture"

    required property HandDetector detector
    // The preview our sink was handed to: each one is attached once.
    property LivePreview attachedLayer: null
    readonly property LivePreview previewLayer: detector.previewLayer

    PreviewPicture {
        id: picture
        objectName: "previewPicture"
        anchors.fill: parent
        mirrored: true
        radius: 12
        // The window's colour, which lies behind the preview area.
        backdrop: Theme.window
    }

    // Queued, so that it runs after the current update; the picture follows the item's size
    // by itself, so there is nothing to re-frame.
    function attachLater(): void {
        // Qt 6.4 declares Qt.callLater as a property, which qmllint takes for a bad call.
        Qt.callLater(live.attachLayer); // qmllint disable type
    }
    function attachLayer(): void {
        if (live.previewLayer !== null && live.previewLayer !== live.attachedLayer) {
            live.attachedLayer = live.previewLayer;
            live.previewLayer.attach(picture.videoSink);
        }
    }

    onPreviewLayerChanged: attachLater()
    Component.onCompleted: attachLater()
}
