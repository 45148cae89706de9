// SPDX-License-Identifier: Apache-2.0
// The command line: --camera, --camera-file with a readable file, --list-cameras, --quit, --help
// and --version, in the forms Qt programs take them.
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
    EXPECT_FALSE(withFile.camera());
    EXPECT_EQ(CommandLine::parse(args({QStringLiteral("--camera-file=") + relative})).cameraFile(),
              withFile.cameraFile());

    // A camera by id or by name, in both forms; whether it exists is the program's business.
    for (const QStringList& arguments :
         {args({QStringLiteral("--camera"), QStringLiteral("USB Webcam")}),
          args({QStringLiteral("--camera=USB Webcam")})}) {
        const CommandLine line = CommandLine::parse(arguments);
        ASSERT_TRUE(line.isValid()) << line.error().toStdString();
        EXPECT_EQ(line.action(), CommandLine::Action::Run);
        EXPECT_EQ(line.camera(), QStringLiteral("USB Webcam"));
        EXPECT_FALSE(line.cameraFile());
    }
}

TEST(CommandLineTest, RefusesEverythingElseWithTheUsageLine) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.jpg"));
    const QString folder = dir.path();
    const std::vector<QStringList> refused = {
        args({QStringLiteral("--bogus")}),
        args({QStringLiteral("-x")}),
        args({QStringLiteral("--bogus"), QStringLiteral("--help")}),
        args({QStringLiteral("--quit"), QStringLiteral("--quit")}),
        args({QStringLiteral("--quit"), QStringLiteral("extra")}),
        args({QStringLiteral("photo.jpg")}),
        args({QStringLiteral("--camera-file")}),
        args({QStringLiteral("--camera-file"), missing}),
        args({QStringLiteral("--camera-file"), folder}),
        args({QStringLiteral("--camera-file=") + missing}),
        args({QStringLiteral("-platform"), QStringLiteral("offscreen")}),
        args({QStringLiteral("--camera")}),
        args({QStringLiteral("--camera="), QStringLiteral("1")}),
        args({QStringLiteral("--camera"), QStringLiteral("1"), QStringLiteral("--camera"),
              QStringLiteral("2")}),
        args({QStringLiteral("--camera"), QStringLiteral("1"), QStringLiteral("--camera-file"),
              folder}),
        args({QStringLiteral("--list-cameras"), QStringLiteral("--camera"), QStringLiteral("1")}),
        args({QStringLiteral("--list-cameras"), QStringLiteral("--quit")}),
    };
    for (const QStringList& arguments : refused) {
        const CommandLine line = CommandLine::parse(arguments);
        EXPECT_FALSE(line.isValid()) << arguments.join(u' ').toStdString();
        EXPECT_EQ(line.action(), CommandLine::Action::Run);
        EXPECT_FALSE(line.cameraFile());
        EXPECT_FALSE(line.camera());
        EXPECT_TRUE(line.error().endsWith(CommandLine::usage())) << line.error().toStdString();
    }
    EXPECT_TRUE(CommandLine::parse(args({QStringLiteral("--bogus")}))
                    .error()
                    .startsWith(QStringLiteral("palmcue: unknown option '--bogus'\n")));
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

TEST(CommandLineTest, HelpVersionAndQuit) {
    QTemporaryDir dir;
    QFile photo(dir.filePath(QStringLiteral("hand.jpg")));
    ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
    photo.close();

    EXPECT_EQ(CommandLine::parse(args({})).action(), CommandLine::Action::Run);
    EXPECT_EQ(CommandLine::parse(args({QStringLiteral("--quit")})).action(),
              CommandLine::Action::Quit);
    EXPECT_EQ(CommandLine::parse(args({QStringLiteral("--list-cameras")})).action(),
              CommandLine::Action::ListCameras);
    // --help and --version win over what follows, as in GNU programs.
    for (const QStringList& arguments :
         {args({QStringLiteral("--help")}), args({QStringLiteral("-h")}),
          args({QStringLiteral("--camera-file"), photo.fileName(), QStringLiteral("--help"),
                QStringLiteral("--bogus")}),
          args({QStringLiteral("--quit"), QStringLiteral("--help")})}) {
        const CommandLine line = CommandLine::parse(arguments);
        EXPECT_TRUE(line.isValid()) << arguments.join(u' ').toStdString();
        EXPECT_EQ(line.action(), CommandLine::Action::Help) << arguments.join(u' ').toStdString();
        EXPECT_FALSE(line.cameraFile());
    }
    for (const char* version : {"--version", "-v"})
        EXPECT_EQ(CommandLine::parse(args({QLatin1String(version)})).action(),
                  CommandLine::Action::Version);

    // Quitting takes no camera.
    const CommandLine both = CommandLine::parse(
        args({QStringLiteral("--quit"), QStringLiteral("--camera-file"), photo.fileName()}));
    EXPECT_FALSE(both.isValid());
    EXPECT_EQ(both.action(), CommandLine::Action::Run);

    EXPECT_TRUE(CommandLine::help().startsWith(CommandLine::usage()));
    for (const char* option : {"--camera-file PATH", "--camera ID", "--list-cameras", "--quit",
                               "-h, --help", "-v, --version", "Exit status"})
        EXPECT_TRUE(CommandLine::help().contains(QLatin1String(option))) << option;
    EXPECT_EQ(CommandLine::version(), QStringLiteral("palmcue " PALMCUE_VERSION));
}
