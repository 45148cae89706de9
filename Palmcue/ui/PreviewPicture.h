// SPDX-License-Identifier: Apache-2.0
// The live camera picture of the preview panel. The session's preview hands its frames to
// `videoSink`; each frame that is drawn is cropped to fill the item, scaled to its size in
// device pixels, mirrored and given round corners on the CPU, once, and shown as one small
// texture. Only this item is redrawn per frame, and nothing is done while the window is not
// on screen. It works the same on every scene graph, the software one included.
#pragma once

#include <QColor>
#include <QImage>
#include <QQuickItem>
#include <QVideoFrame>
#include <QtQml/qqmlregistration.h>
#include <memory>

class QVideoSink;

namespace palmcue::camera {
struct PreviewBuffers;
}

namespace palmcue::ui {

class PreviewPicture : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    // A QVideoSink, for LivePreview.attach().
    Q_PROPERTY(QObject* videoSink READ videoSink CONSTANT)
    Q_PROPERTY(bool mirrored READ mirrored WRITE setMirrored NOTIFY mirroredChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)
    // The colour behind the item, which its round corners show. An opaque one makes the picture
    // opaque: drawn without blending, and what lies under it is not drawn at all.
    Q_PROPERTY(QColor backdrop READ backdrop WRITE setBackdrop NOTIFY backdropChanged)

public:
    explicit PreviewPicture(QQuickItem* parent = nullptr);
    ~PreviewPicture() override;

    QObject* videoSink() const;
    bool mirrored() const { return mirrored_; }
    void setMirrored(bool mirrored);
    qreal radius() const { return radius_; }
    void setRadius(qreal radius);
    QColor backdrop() const { return backdrop_; }
    void setBackdrop(const QColor& backdrop);

    // How many pictures were made from frames: one per frame drawn.
    int picturesMade() const { return picturesMade_; }

Q_SIGNALS:
    void mirroredChanged();
    void radiusChanged();
    void backdropChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

private:
    void onFrame(const QVideoFrame& frame);
    void redraw();

    QVideoSink* sink_;  // child
    QVideoFrame frame_; // the latest; an invalid one clears the picture
    bool mirrored_ = true;
    qreal radius_ = 0;
    QColor backdrop_;
    bool stale_ = false; // the picture no longer shows frame_ as it should look
    int picturesMade_ = 0;
    // Used while the scene graph is synchronised only.
    std::unique_ptr<camera::PreviewBuffers> buffers_;
};

} // namespace palmcue::ui
