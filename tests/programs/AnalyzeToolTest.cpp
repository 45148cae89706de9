// SPDX-License-Identifier: Apache-2.0
// palmcue-analyze given paths it cannot use: a clear message and exit status 2, never an
// uncaught exception and never a hang.
#include "handpose/MediaPipeHandPose.h"
#include "support/FifoWatch.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class AnalyzeTool : public ::testing::Test {
protected:
    AnalyzeTool() {
        photo = dir.filePath(QStringLiteral("photo.png"));
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        picture.save(photo);
    }

    // The tool with these arguments; `modelDir` replaces the models' folder when given.
    ToolRun run(const QStringList& arguments, const QString& modelDir = {}) {
        QProcess tool;
        if (!modelDir.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PALMCUE_MODEL_DIR"), modelDir);
            tool.setProcessEnvironment(environment);
        }
        tool.start(QStringLiteral(PALMCUE_ANALYZE), arguments);
        // Not a time limit on the tool: only a stop for a test that would otherwise hang.
        if (!tool.waitForFinished(120'000)) {
            tool.kill();
            tool.waitForFinished();
            ADD_FAILURE() << "palmcue-analyze did not finish";
        }
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromUtf8(tool.readAllStandardOutput()),
                QString::fromUtf8(tool.readAllStandardError())};
    }

    static bool modelsPresent() {
        const QString models =
            QString::fromStdString(palmcue::handpose::MediaPipeHandPose::defaultModelDir());
        return QFile::exists(models + QLatin1Char('/') +
                             QLatin1String(palmcue::handpose::MediaPipeHandPose::kPalmModelFile));
    }

    QTemporaryDir dir;
    QString photo;
};

} // namespace

TEST_F(AnalyzeTool, DrawPathThatCannotTakeAPictureIsRefusedBeforeAnyWork) {
    const QString missingFolder = dir.filePath(QStringLiteral("no-such-folder/out.png"));
    const std::pair<QString, QString> cases[] = {
        {dir.filePath(QStringLiteral("out.txt")),
         QStringLiteral("cannot write pictures of this type")},
        {dir.path(), QStringLiteral("is a folder")},
        {missingFolder, QStringLiteral("there is no folder")},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.toStdString());
        const ToolRun result = run({QStringLiteral("--draw"), path, photo});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("palmcue-analyze: --draw ") + path))
            << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(reason)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.txt"))));
}

TEST_F(AnalyzeTool, PictureThatCannotBeWrittenEndsTheRunWithStatus2) {
    if (!modelsPresent())
        GTEST_SKIP() << "the hand models are not installed (scripts/fetch-models.sh)";
    // Refused by the folder check for a user, by the write itself for root.
    const QString unwritable = QStringLiteral("/proc/palmcue-analyze-test.png");
    const ToolRun refused = run({QStringLiteral("--draw"), unwritable, photo, photo});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("palmcue-analyze: ")))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QStringLiteral("/proc"))) << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains(QStringLiteral("terminate"))) << refused.err.toStdString();

    const QString out = dir.filePath(QStringLiteral("hand.png"));
    const ToolRun drawn = run({QStringLiteral("--draw"), out, photo});
    EXPECT_EQ(drawn.exitCode, 0) << drawn.err.toStdString();
    EXPECT_EQ(QImage(out).size(), QSize(64, 48));
}

TEST_F(AnalyzeTool, SaysWhatStandsWhereAModelShouldBe) {
    const QString models = dir.filePath(QStringLiteral("models"));
    ASSERT_TRUE(QDir().mkpath(models));
    const std::string palm = (models + QLatin1Char('/') +
                              QLatin1String(palmcue::handpose::MediaPipeHandPose::kPalmModelFile))
                                 .toStdString();
    {
        palmcue::test::FifoWatch fifo(palm);
        const ToolRun result = run({photo}, models);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err.toStdString(),
                  "palmcue-analyze: " + palm +
                      ": is a FIFO (named pipe) where the hand model file should be\n");
        EXPECT_FALSE(fifo.opened());
    }
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(palm)));
    const ToolRun result = run({photo}, models);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err.toStdString(),
              "palmcue-analyze: " + palm + ": is a folder where the hand model file should be\n");
}
