// The command line accepts only --camera-file with a readable file.
#include "PalmcueApp/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using palmcue::shell::CommandLine;

namespace {

QStringList args(std::initializer_list<QString> rest) {
    QStringList list{QStringLiteral("palmcue")};
    list.append(QStringList(rest));
    return list;
}

} // namespace

TEST(CommandLineTest, AcceptsNoArgumentsAndAReadableCameraFile) {
    const CommandLine plain = CommandLine::parse(args({}));
    EXPECT_TRUE(plain.isValid());
    EXPECT_FALSE(plain.cameraFile());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile photo(dir.filePath(QStringLiteral("hand.jpg")));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.close();
    // A relative path is made absolute against the working folder.
    const QString relative = QDir::current().relativeFilePath(photo.fileName());
    const CommandLine withFile =
        CommandLine::parse(args({QStringLiteral("--camera-file"), relative}));
    ASSERT_TRUE(withFile.isValid()) << withFile.error().toStdString();
    EXPECT_EQ(withFile.cameraFile(), QFileInfo(photo.fileName()).absoluteFilePath());
}

TEST(CommandLineTest, RefusesEverythingElseWithTheUsageLine) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.jpg"));
    const QString folder = dir.path();
    const std::vector<QStringList> refused = {
        args({QStringLiteral("--bogus")}),
        args({QStringLiteral("--help")}),
        args({QStringLiteral("photo.jpg")}),
        args({QStringLiteral("--camera-file")}),
        args({QStringLiteral("--camera-file"), missing}),
        args({QStringLiteral("--camera-file"), folder}),
        args({QStringLiteral("--camera-file=") + missing}),
        args({QStringLiteral("-platform"), QStringLiteral("offscreen")}),
    };
    for (const QStringList& arguments : refused) {
        const CommandLine line = CommandLine::parse(arguments);
        EXPECT_FALSE(line.isValid()) << arguments.join(u' ').toStdString();
        EXPECT_FALSE(line.cameraFile());
        EXPECT_TRUE(line.error().endsWith(CommandLine::usage())) << line.error().toStdString();
    }
}

TEST(CommandLineTest, RefusesTheCameraFileTwice) {
    QTemporaryDir dir;
    QFile photo(dir.filePath(QStringLiteral("hand.jpg")));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.close();
    const CommandLine line =
        CommandLine::parse(args({QStringLiteral("--camera-file"), photo.fileName(),
                                 QStringLiteral("--camera-file"), photo.fileName()}));
    EXPECT_FALSE(line.isValid());
}
