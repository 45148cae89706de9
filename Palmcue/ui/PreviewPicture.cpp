// SPDX-License-Identifier: Apache-2.0
#include "ui/PreviewPicture.h"

#include "camera/PreviewImage.h"

#include <QQuickWindow>
#include <QSGImageNode>
#include <QVideoSink>

namespace palmcue::ui {

PreviewPicture::PreviewPicture(QQuickItem* parent)
    : QQuickItem(parent), sink_(new QVideoSink(this)),
      buffers_(std::make_unique<camera::PreviewBuffers>()) {
    setFlag(ItemHasContents);
    connect(sink_, &QVideoSink::videoFrameChanged, this, &PreviewPicture::onFrame);
}

PreviewPicture::~PreviewPicture() = default;

QObject* PreviewPicture::videoSink() const {
    return sink_;
}

void PreviewPicture::setMirrored(bool mirrored) {
    if (mirrored_ == mirrored)
        return;
    mirrored_ = mirrored;
    redraw();
    Q_EMIT mirroredChanged();
}

void PreviewPicture::setRadius(qreal radius) {
    if (qFuzzyCompare(radius_, radius))
        return;
    radius_ = radius;
    redraw();
    Q_EMIT radiusChanged();
}

void PreviewPicture::setBackdrop(const QColor& backdrop) {
    if (backdrop_ == backdrop)
        return;
    backdrop_ = backdrop;
    redraw();
    Q_EMIT backdropChanged();
}

void PreviewPicture::onFrame(const QVideoFrame& frame) {
    // Held, not converted: the conversion happens when the window draws, so a window that is
    // closed or minimised converts nothing, and shows the latest frame when it comes back.
    frame_ = frame;
    redraw();
}

void PreviewPicture::redraw() {
    stale_ = true;
    update();
}

void PreviewPicture::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        redraw();
}

QSGNode* PreviewPicture::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    auto* node = static_cast<QSGImageNode*>(old);
    if (!stale_ && node) {
        node->setRect(boundingRect());
        return node;
    }
    stale_ = false;
    const qreal ratio = window()->effectiveDevicePixelRatio();
    const QSize pixels = (size() * ratio).toSize();
    const QImage picture =
        camera::previewImage(frame_, {pixels, mirrored_, radius_ * ratio, backdrop_}, *buffers_);
    if (picture.isNull()) {
        delete node; // nothing to show: the black backdrop shows through
        return nullptr;
    }
    ++picturesMade_;
    if (!node) {
        node = window()->createImageNode();
        node->setOwnsTexture(true);
        node->setFiltering(QSGTexture::Linear);
    }
    // The old texture goes with the node's setTexture(): it owns its textures.
    node->setTexture(window()->createTextureFromImage(picture));
    node->setRect(boundingRect());
    return node;
}

} // namespace palmcue::ui
