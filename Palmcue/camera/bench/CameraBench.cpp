// SPDX-License-Identifier: Apache-2.0
// Costs of the camera frame path at 1280x720: what every delivered frame costs on its way to the
// detection thread (all a frame that is not analysed costs), and the mapping and conversion to
// BGRA done there for analysed frames; and the preview's picture made from each frame drawn.
#include "camera/FrameConversion.h"
#include "camera/FramePixelBuffer.h"
#include "camera/PreviewImage.h"

#include <QGuiApplication>
#include <QVideoFrame>
#include <benchmark/benchmark.h>
#include <cstring>

namespace {

using palmcue::camera::FramePixelBuffer;
using Format = QVideoFrameFormat::PixelFormat;

constexpr QSize kSize(1280, 720);

QVideoFrame makeFrame(Format format) {
    QVideoFrame frame(QVideoFrameFormat(kSize, format));
    frame.map(QVideoFrame::WriteOnly);
    for (int i = 0; i < frame.planeCount(); ++i) {
        // Mid-grey with some variation, so nothing is trivially constant.
        for (int b = 0; b < frame.mappedBytes(i); ++b)
            frame.bits(i)[b] = static_cast<uchar>(100 + (b * 7) % 50);
    }
    frame.unmap();
    return frame;
}

void setName(benchmark::State& state, Format format) {
    state.SetLabel(palmcue::camera::describeFrame(format, kSize.width(), kSize.height()));
}

// Delivered but not analysed: the frame is held, then dropped.
void captureOnly(benchmark::State& state, Format format) {
    const QVideoFrame frame = makeFrame(format);
    for (auto _ : state) {
        auto buffer = FramePixelBuffer::capture(frame);
        benchmark::DoNotOptimize(buffer.get());
    }
    setName(state, format);
}

// Analysed: the whole path from delivery to a BGRA picture, with the reused scratch buffer.
void captureAndConvert(benchmark::State& state, Format format) {
    const QVideoFrame frame = makeFrame(format);
    std::vector<std::uint8_t> scratch;
    for (auto _ : state) {
        auto buffer = FramePixelBuffer::capture(frame);
        auto view = buffer->bgra(scratch);
        if (!view) {
            state.SkipWithError(view.error().c_str());
            break;
        }
        benchmark::DoNotOptimize(view->data);
    }
    setName(state, format);
}

// Drawn: the preview panel's picture (588x240, as the window shows it), cropped, scaled,
// mirrored and rounded over the window's colour. From eight frames in turn, so that each is read
// from memory afresh, as a camera's frames are.
void preview(benchmark::State& state, Format format) {
    std::vector<QVideoFrame> frames;
    for (int i = 0; i < 8; ++i)
        frames.push_back(makeFrame(format));
    palmcue::camera::PreviewBuffers buffers;
    std::size_t next = 0;
    for (auto _ : state) {
        const QImage picture = palmcue::camera::previewImage(
            frames[next++ % frames.size()], {{588, 240}, true, 12, QColor(242, 242, 247)}, buffers);
        if (picture.isNull()) {
            state.SkipWithError("no picture");
            break;
        }
        benchmark::DoNotOptimize(picture.constBits());
    }
    setName(state, format);
}

const Format kFormats[] = {
    QVideoFrameFormat::Format_YUV420P,  QVideoFrameFormat::Format_NV12,
    QVideoFrameFormat::Format_NV21,     QVideoFrameFormat::Format_YV12,
    QVideoFrameFormat::Format_YUYV,     QVideoFrameFormat::Format_UYVY,
    QVideoFrameFormat::Format_BGRA8888, QVideoFrameFormat::Format_RGBA8888,
    QVideoFrameFormat::Format_ARGB8888, QVideoFrameFormat::Format_XBGR8888,
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const Format format : kFormats) {
        const std::string name = palmcue::camera::describeFrame(format, 0, 0);
        const std::string tag = name.substr(0, name.find(' '));
        benchmark::RegisterBenchmark(("NotAnalysed/" + tag).c_str(), captureOnly, format)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Analysed/" + tag).c_str(), captureAndConvert, format)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Preview/" + tag).c_str(), preview, format)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
