// SPDX-License-Identifier: Apache-2.0
// The live camera picture: a mirrored, aspect-filling VideoOutput clipped to radius 12. The
// camera session's preview pushes its frames into our video sink once attached.
import QtQuick
import QtMultimedia
import Qt5Compat.GraphicalEffects
import Palmcue.Ui

Item {
    id: live
    objectName: "livePicture"

    required property HandDetector detector
    // The preview our sink was handed to: each one is attached once.
    property LivePreview attachedLayer: null
    readonly property LivePreview previewLayer: detector.previewLayer

    // The software scene graph cannot run the mask shader (and draws no video either).
    layer.enabled: GraphicsInfo.api !== GraphicsInfo.Software
    layer.effect: OpacityMask {
        maskSource: clipShape

        Rectangle {
            id: clipShape
            anchors.fill: parent
            radius: 12
            visible: false
        }
    }

    // Mirrored, and cropped to fill the area, as the camera session presents its picture.
    VideoOutput {
        id: video
        objectName: "videoOutput"
        anchors.fill: parent
        fillMode: VideoOutput.PreserveAspectCrop
        transform: Scale {
            origin.x: video.width / 2
            origin.y: video.height / 2
            xScale: -1
        }
    }

    // Queued, so that it runs after the current update; the VideoOutput follows the item's
    // size by itself, so there is nothing to re-frame.
    function attachLater(): void {
        // Qt 6.4 declares Qt.callLater as a property, which qmllint takes for a bad call.
        Qt.callLater(live.attachLayer); // qmllint disable type
    }
    function attachLayer(): void {
        if (live.previewLayer !== null && live.previewLayer !== live.attachedLayer) {
            live.attachedLayer = live.previewLayer;
            live.previewLayer.attach(video.videoSink);
        }
    }

    onPreviewLayerChanged: attachLater()
    Component.onCompleted: attachLater()
}
