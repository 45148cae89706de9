// The picture of one camera or video frame, copied out of the QVideoFrame on the thread that
// received it and converted to BGRA only if the detection thread asks for it.
#pragma once

#include "camera/BufferPool.h"
#include "engine/Services.h"

#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <array>
#include <span>

namespace palmcue::camera {

class FramePixelBuffer : public PixelBuffer {
public:
    // Copies the planes of `frame` into a buffer from `pool`: about a tenth of a millisecond for
    // 1280x720, so frames that are never analysed cost little. Formats without a direct
    // conversion are converted by Qt here instead. Never fails: a frame that cannot be used
    // gives a buffer whose bgra() reports why.
    static std::shared_ptr<const PixelBuffer> capture(const QVideoFrame& frame, BufferPool& pool);

    // One plane of a mapped frame.
    struct PlaneView {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        int stride = 0;
    };
    struct Layout {
        QVideoFrameFormat::PixelFormat format = QVideoFrameFormat::Format_Invalid;
        int width = 0;
        int height = 0;
        QVideoFrameFormat::ColorSpace colorSpace = QVideoFrameFormat::ColorSpace_Undefined;
        QVideoFrameFormat::ColorRange colorRange = QVideoFrameFormat::ColorRange_Unknown;
    };
    // Copies planes as they are laid out in memory (any stride) for the formats that
    // convertsDirectly() accepts; what capture() does after mapping the frame.
    static std::shared_ptr<const PixelBuffer>
    copyPlanes(const Layout& layout, std::span<const PlaneView> planes, BufferPool& pool);

    Result<ImageView> bgra(std::vector<std::uint8_t>& scratch) const override;

    // Whether frames of this format are converted on the detection thread (rather than by Qt
    // when captured).
    static bool convertsDirectly(QVideoFrameFormat::PixelFormat format);

    // "NV12 (1280x720)", as error messages name a frame.
    static std::string describe(QVideoFrameFormat::PixelFormat format, int width, int height);

private:
    struct Plane {
        std::size_t offset = 0;
        std::size_t size = 0;
        int stride = 0;
    };

    FramePixelBuffer() = default;
    explicit FramePixelBuffer(std::string error) : error_(std::move(error)) {}

    const std::uint8_t* planeData(int plane) const { return bytes_.data() + planes_[plane].offset; }
    // Whether `plane` holds `rows` rows of `rowBytes` bytes at its stride.
    bool planeHolds(int plane, int rowBytes, int rows) const;
    Result<ImageView> convert(std::vector<std::uint8_t>& scratch) const;
    Result<ImageView> decodeJpeg(std::vector<std::uint8_t>& scratch) const;

    QVideoFrameFormat::PixelFormat format_ = QVideoFrameFormat::Format_Invalid;
    QVideoFrameFormat::ColorSpace colorSpace_ = QVideoFrameFormat::ColorSpace_Undefined;
    QVideoFrameFormat::ColorRange colorRange_ = QVideoFrameFormat::ColorRange_Unknown;
    int width_ = 0;
    int height_ = 0;
    BufferPool::Lease bytes_;
    std::array<Plane, 3> planes_{};
    int planeCount_ = 0;
    std::string error_; // the frame could not be captured
};

} // namespace palmcue::camera
