// SPDX-License-Identifier: Apache-2.0
// File-backed capture sessions on their own: delivery to the delegate's queue and its detach,
// the preview layer, start failures, failures while running, and a real video file.
#include "StartOnPool.h"
#include "camera/FileCameraService.h"
#include "camera/PreviewLayer.h"
#include "camera/SourceSession.h"
#include "engine/SerialQueue.h"
#include "support/SharedData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVideoSink>
#include <atomic>
#include <gtest/gtest.h>

namespace palmcue::camera {
namespace {

using palmcue::camera::test::startOnPool;
using palmcue::test::waitUntil;

class CountingDelegate : public SampleBufferDelegate {
public:
    void captureOutput(const SampleBuffer& sample) override {
        if (QThread::currentThread()->objectName() != QStringLiteral("test.detect"))
            offQueue = true;
        if (sample.imageBuffer) {
            if (const auto view = sample.imageBuffer->bgra(scratch_)) {
                width = view->width;
                height = view->height;
            }
        }
        ++frames;
    }
    std::atomic<int> frames{0};
    std::atomic<bool> offQueue{false};
    std::atomic<int> width{0};
    std::atomic<int> height{0};

private:
    std::vector<std::uint8_t> scratch_;
};

// Lets the event loop and the queue run for a while: nothing that is awaited.
void settle(SerialQueue& queue) {
    std::atomic<bool> drained{false};
    queue.post([&drained] { drained = true; });
    waitUntil([&] { return drained.load(); });
    waitUntil([] { return false; }, 300);
}

class FileSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        imagePath_ = dir_.filePath(QStringLiteral("still.png"));
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(imagePath_));
    }
    std::unique_ptr<CaptureSession> session(const QString& path) {
        SessionBuild build = FileCameraService(path).makeSession();
        EXPECT_TRUE(build) << build.error();
        return build ? std::move(*build) : nullptr;
    }

    QTemporaryDir dir_;
    QString imagePath_;
    // The queue is declared last so that it is joined before the delegate goes.
    std::unique_ptr<CountingDelegate> delegateOwner_ = std::make_unique<CountingDelegate>();
    CountingDelegate& delegate_ = *delegateOwner_;
    SerialQueue queue_{QStringLiteral("test.detect")};
};

TEST_F(FileSessionTest, FramesReachTheDelegateOnItsQueueUntilDetached) {
    auto camera = session(imagePath_);
    ASSERT_TRUE(camera);
    camera->setSampleBufferDelegate(&delegate_, &queue_);
    EXPECT_FALSE(camera->isRunning());
    std::string error;
    ASSERT_TRUE(startOnPool(*camera, error)) << error;
    EXPECT_TRUE(camera->isRunning());
    ASSERT_TRUE(waitUntil([&] { return delegate_.frames >= 3; }));
    EXPECT_FALSE(delegate_.offQueue);
    EXPECT_EQ(delegate_.width, 40);
    EXPECT_EQ(delegate_.height, 30);

    camera->setSampleBufferDelegate(nullptr, nullptr);
    settle(queue_);
    const int afterDetach = delegate_.frames;
    settle(queue_);
    EXPECT_EQ(delegate_.frames, afterDetach);
    EXPECT_TRUE(camera->isRunning()); // detaching stops deliveries, not the camera

    camera->stopRunning();
    EXPECT_FALSE(camera->isRunning());
}

TEST_F(FileSessionTest, PreviewLayerShowsFramesAndOutlivesItsSink) {
    auto camera = session(imagePath_);
    ASSERT_TRUE(camera);
    QObject* layer = camera->previewLayer();
    ASSERT_TRUE(layer);

    auto* sink = new QVideoSink;
    int shown = 0;
    QObject::connect(sink, &QVideoSink::videoFrameChanged, sink, [&shown](const QVideoFrame& f) {
        if (f.isValid())
            ++shown;
    });
    ASSERT_TRUE(QMetaObject::invokeMethod(layer, "attach", Q_ARG(QObject*, sink)));
    std::string error;
    ASSERT_TRUE(startOnPool(*camera, error)) << error;
    // A still image is one frame: the sink shows it once, not once per tick.
    ASSERT_TRUE(waitUntil([&] { return shown >= 1; }));
    EXPECT_EQ(sink->videoFrame().size(), QSize(40, 30));

    delete sink; // QML dropped its live picture
    waitUntil([] { return false; }, 200);
    QObject notASink;
    QMetaObject::invokeMethod(layer, "attach", Q_ARG(QObject*, &notASink));
    QMetaObject::invokeMethod(layer, "attach", Q_ARG(QObject*, nullptr));
    waitUntil([] { return false; }, 100);
    camera->stopRunning();
}

TEST_F(FileSessionTest, FailureWhileRunningReachesTheHandlerLaterOnTheMainThread) {
    auto camera = session(imagePath_);
    ASSERT_TRUE(camera);
    std::vector<std::string> reasons;
    bool onMain = true;
    CaptureSession* raw = camera.get();
    camera->setFailureHandler([&, raw](const std::string& reason) {
        onMain = onMain && QThread::currentThread() == QCoreApplication::instance()->thread();
        reasons.push_back(reason);
        raw->stopRunning(); // what the engine does; must be safe from the handler
    });
    camera->setSampleBufferDelegate(&delegate_, &queue_);
    std::string error;
    ASSERT_TRUE(startOnPool(*camera, error)) << error;

    ASSERT_TRUE(QFile::remove(imagePath_));
    ASSERT_TRUE(waitUntil([&] { return !reasons.empty(); }));
    waitUntil([] { return false; }, 200);
    ASSERT_EQ(reasons.size(), 1u); // reported once
    EXPECT_TRUE(onMain);
    EXPECT_NE(reasons[0].find("removed"), std::string::npos) << reasons[0];
    EXPECT_NE(reasons[0].find(imagePath_.toStdString()), std::string::npos);
    EXPECT_FALSE(camera->isRunning());
}

TEST_F(FileSessionTest, FilesThatCannotBeShownFailClearly) {
    const QString missing = dir_.filePath(QStringLiteral("missing.png"));
    const SessionBuild none = FileCameraService(missing).makeSession();
    ASSERT_FALSE(none);
    EXPECT_EQ(none.fault(), CameraFault::CameraError) << "shown after \"Camera error: \"";
    EXPECT_EQ(none.error(), "cannot open " + missing.toStdString() + ": No such file or directory");

    // Neither a picture nor a video: the session builds (it could be a video) and the start
    // fails with the reason.
    const QString garbage = dir_.filePath(QStringLiteral("garbage.bin"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    auto camera = session(garbage);
    ASSERT_TRUE(camera);
    std::string error;
    EXPECT_FALSE(startOnPool(*camera, error));
    EXPECT_NE(error.find("cannot open " + garbage.toStdString()), std::string::npos) << error;
    EXPECT_FALSE(camera->isRunning());
}

class VideoFileTest : public FileSessionTest {
protected:
    // A one-second 64x48 MJPEG clip made by ffmpeg, or empty when ffmpeg is not installed.
    QString makeClip() {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (ffmpeg.isEmpty())
            return {};
        const QString path = dir_.filePath(QStringLiteral("clip.avi"));
        QProcess process;
        process.start(ffmpeg,
                      {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=size=64x48:rate=30"), QStringLiteral("-t"),
                       QStringLiteral("1"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"), path});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return {};
        return path;
    }
};

TEST_F(VideoFileTest, VideoFramesFlowAndLoop) {
    const QString clip = makeClip();
    if (clip.isEmpty())
        GTEST_SKIP() << "ffmpeg is not available to make a clip";
    auto camera = session(clip);
    ASSERT_TRUE(camera);
    camera->setSampleBufferDelegate(&delegate_, &queue_);
    std::string error;
    ASSERT_TRUE(startOnPool(*camera, error)) << error;
    // More frames than the clip has: it loops.
    ASSERT_TRUE(waitUntil([&] { return delegate_.frames > 45; }, 20000)) << delegate_.frames;
    EXPECT_EQ(delegate_.width, 64);
    EXPECT_EQ(delegate_.height, 48);
    camera->stopRunning();
    settle(queue_);
    const int afterStop = delegate_.frames;
    settle(queue_);
    EXPECT_EQ(delegate_.frames, afterStop);
}

TEST_F(VideoFileTest, StopWhileStartingEndsTheStart) {
    const QString clip = makeClip();
    if (clip.isEmpty())
        GTEST_SKIP() << "ffmpeg is not available to make a clip";
    auto camera = session(clip);
    ASSERT_TRUE(camera);
    std::atomic<int> result{-1};
    std::string error;
    runInBackground([&] {
        const Result<void> started = camera->startRunning();
        error = started.error();
        result = started.ok();
    });
    // The start cannot complete before this thread runs events: a video runs from its
    // first frame, and the start itself is queued here.
    auto* session = static_cast<SourceSession*>(camera.get());
    while (!session->startRequested())
        QThread::yieldCurrentThread();
    camera->stopRunning();
    ASSERT_TRUE(waitUntil([&] { return result.load() >= 0; }, 20000));
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(error, "stopped while starting");
    EXPECT_FALSE(camera->isRunning());
}

// Stop can come before the worker has even begun the start (the engine queues it on the pool
// and the user presses Stop at once): the camera must not start afterwards, and the worker
// must not wait for an answer that only the main thread could give (at quit it never would).
TEST_F(FileSessionTest, AStopBeforeTheStartHasBegunEndsIt) {
    auto camera = session(imagePath_);
    ASSERT_TRUE(camera);
    camera->setSampleBufferDelegate(&delegate_, &queue_);
    camera->stopRunning();
    std::string error;
    EXPECT_FALSE(startOnPool(*camera, error));
    EXPECT_EQ(error, "stopped while starting");
    settle(queue_);
    EXPECT_FALSE(camera->isRunning());
    EXPECT_EQ(delegate_.frames, 0);
}

} // namespace
} // namespace palmcue::camera
