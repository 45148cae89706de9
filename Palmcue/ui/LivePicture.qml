// The live camera picture: a mirrored, aspect-filling VideoOutput clipped to radius 12. The
// camera session's preview layer pushes its frames into our video sink once attached.
import QtQuick
import QtMultimedia
import Qt5Compat.GraphicalEffects

Item {
    id: live
    objectName: "livePicture"

    required property QtObject detector
    // The layer our sink was handed to: each layer is attached once.
    property QtObject attachedLayer: null
    readonly property QtObject previewLayer: detector.previewLayer

    // The software scene graph cannot run the mask shader (and draws no video either).
    layer.enabled: GraphicsInfo.api !== GraphicsInfo.Software
    layer.effect: OpacityMask {
        maskSource: mask
    }

    Rectangle {
        id: mask
        anchors.fill: parent
        radius: 12
        visible: false
    }

    VideoOutput {
        id: video
        objectName: "videoOutput"
        anchors.fill: parent
        fillMode: (live.previewLayer && live.previewLayer.aspectFill === false) ? VideoOutput.PreserveAspectFit : VideoOutput.PreserveAspectCrop
        transform: Scale {
            origin.x: video.width / 2
            origin.y: video.height / 2
            xScale: (live.previewLayer && live.previewLayer.mirrored === false) ? 1 : -1
        }
    }

    // Queued, so that it runs after the current update; the VideoOutput follows the item's
    // size by itself, so there is nothing to re-frame.
    function attachLayer() {
        const layer = detector.previewLayer;
        if (layer && layer !== attachedLayer) {
            attachedLayer = layer;
            layer.attach(video.videoSink);
        }
    }

    onPreviewLayerChanged: Qt.callLater(attachLayer)
    Component.onCompleted: Qt.callLater(attachLayer)
}
