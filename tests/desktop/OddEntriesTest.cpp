// SPDX-License-Identifier: Apache-2.0
// Odd and hostile things in the real XDG folders, through GIO: a FIFO named like an entry,
// the user's copies and deletions of system entries, a file name that is not UTF-8, and
// icon files that are no icons.
#include "GioFixture.h"
#include "apps/AppLauncher.h"
#include "desktop/AppIconProvider.h"
#include "desktop/GioNaming.h"
#include "desktop/GioWorkspace.h"
#include "support/FifoWatch.h"
#include "support/LaunchAttempt.h"
#include "support/SharedData.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

using palmcue::ApplicationLauncher;
using palmcue::apps::AppInfo;
using palmcue::desktop::AppIconProvider;
using palmcue::desktop::GioWorkspace;
using palmcue::desktop::installedApps;
using palmcue::test::FifoWatch;
using palmcue::test::gioFixture;
using palmcue::test::waitUntil;
using Result = palmcue::test::LaunchOutcome;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// A file that exists for one test.
class TestFile {
public:
    TestFile(std::string path, const std::string& contents) : path_(std::move(path)) {
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~TestFile() { std::remove(path_.c_str()); }
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string entry(const std::string& name, const std::string& exec, const std::string& extra = {}) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
}

std::vector<QString> names(const std::vector<AppInfo>& apps) {
    std::vector<QString> out;
    for (const AppInfo& app : apps)
        out.push_back(app.name);
    return out;
}

bool listed(const QString& name) {
    const auto apps = names(installedApps());
    return std::find(apps.begin(), apps.end(), name) != apps.end();
}

class OddEntriesTest : public ::testing::Test {
protected:
    palmcue::test::LaunchAttempt open(const std::string& name) {
        return palmcue::test::launchAttempt(launcher.open(name, [](const std::string&) {}));
    }
    std::string writeMarker(const std::string& marker) const {
        return "/bin/sh -c \"echo launched > '" + gioFixture().marker(marker) + "'\"";
    }

    GioWorkspace workspace;
    palmcue::apps::AppLauncher launcher{workspace, installedApps};
};

// `data` as a gzip file that stores it uncompressed: what zlib's inflate reads as any other.
std::string gzipStored(const std::string& data) {
    std::uint32_t crc = 0xffffffffu;
    for (const unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    const auto le = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += char((value >> (8 * i)) & 0xff);
        return out;
    };
    const auto size = std::uint32_t(data.size()); // below 64 KiB: one stored block
    return std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\x01", 11) + le(size, 2) +
           le(~size & 0xffff, 2) + data + le(crc, 4) + le(size, 4);
}

QImage iconFor(const std::string& desktopFile) {
    AppIconProvider provider;
    QSize size;
    const QImage image =
        provider.requestPixmap(AppIconProvider::imageId(qs(desktopFile)), &size, QSize(28, 28))
            .toImage();
    EXPECT_EQ(size, QSize(28, 28));
    return image;
}

} // namespace

TEST_F(OddEntriesTest, FifoNamedLikeAnEntryIsNeverOpened) {
    const auto& f = gioFixture();
    const auto before = installedApps();
    // One with an id of its own, one over a system entry's id, one as an icon.
    FifoWatch own(f.userApps + "/palmcue-test-fifo.desktop");
    FifoWatch over(f.userApps + "/palmcue-test-fails.desktop");
    FifoWatch icon(f.file("fifo-icon.png"));
    const TestFile withIcon(f.userApps + "/palmcue-test-fifo-icon.desktop",
                            entry("Fifo Icon", "/bin/true", "Icon=" + icon.path() + "\n"));

    // The system entry under the FIFO is still the one of its id.
    auto expected = names(before);
    expected.insert(expected.begin() + 2, QStringLiteral("Fifo Icon"));
    EXPECT_EQ(names(installedApps()), expected);
    EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-fails"),
              f.systemApps + "/palmcue-test-fails.desktop");
    EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-fifo"), std::nullopt);
    EXPECT_EQ(open("palmcue-test-fifo").result, Result::NotFound);
    EXPECT_FALSE(workspace.open(own.path(), {}).ok());
    EXPECT_FALSE(iconFor(own.path()).isNull());
    EXPECT_EQ(iconFor(withIcon.path()), iconFor(f.systemApps + "/palmcue-test-fails.desktop"));

    EXPECT_FALSE(own.opened());
    EXPECT_FALSE(over.opened());
    EXPECT_FALSE(icon.opened());
}

TEST_F(OddEntriesTest, UsersHiddenEntryDeletesTheSystemEntry) {
    const auto& f = gioFixture();
    ASSERT_TRUE(listed("Failing Tool"));
    {
        // Often all there is in such a file: no Type, no Exec.
        const TestFile deletion(f.userApps + "/palmcue-test-fails.desktop",
                                "[Desktop Entry]\nHidden=true\n");
        EXPECT_FALSE(listed("Failing Tool"));
        EXPECT_EQ(workspace.applicationForIdentifier("palmcue-test-fails"), std::nullopt);
        EXPECT_EQ(open("Failing Tool").result, Result::NotFound);
        EXPECT_EQ(open("palmcue-test-fails").result, Result::NotFound);
    }
    // Removing the user's file brings the system entry back at the next look.
    EXPECT_TRUE(listed("Failing Tool"));
}

TEST_F(OddEntriesTest, UsersCopyOfAnEntryIsTheOneListedAndRun) {
    const auto& f = gioFixture();
    QFile::remove(qs(f.marker("bad-user")));
    // The user's copy of an entry whose system copy fails: choosing it runs the user's.
    const TestFile copy(f.userApps + "/palmcue-test-bad-interpreter.desktop",
                        entry("Bad Interpreter", writeMarker("bad-user")));
    const auto apps = installedApps();
    const auto it = std::find_if(apps.begin(), apps.end(),
                                 [](const AppInfo& app) { return app.name == "Bad Interpreter"; });
    ASSERT_NE(it, apps.end());
    EXPECT_EQ(it->path, qs(copy.path()));
    EXPECT_EQ(std::count_if(apps.begin(), apps.end(),
                            [](const AppInfo& app) { return app.name == "Bad Interpreter"; }),
              1);
    ASSERT_EQ(open("Bad Interpreter").result, Result::Opened);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(qs(f.marker("bad-user"))); }));
}

TEST_F(OddEntriesTest, FileNameThatIsNotUtf8IsListedAndLaunched) {
    const auto& f = gioFixture();
    QFile::remove(qs(f.marker("latin1")));
    const TestFile latin1(f.systemApps + "/palmcue-test-caf\xe9.desktop",
                          entry("Caf\xc3\xa9 Latin", writeMarker("latin1")));
    const auto apps = installedApps();
    const auto it = std::find_if(apps.begin(), apps.end(), [](const AppInfo& app) {
        return app.name == QStringLiteral("Caf\u00e9 Latin");
    });
    ASSERT_NE(it, apps.end());
    EXPECT_EQ(it->location(), latin1.path());

    ASSERT_EQ(open("Caf\xc3\xa9 Latin").result, Result::Opened);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(qs(f.marker("latin1"))); }));
}

TEST(OddIcons, OnlySaneIconFilesAreDrawnElseTheGenericIcon) {
    const auto& f = gioFixture();
    const QImage generic = iconFor(f.systemApps + "/palmcue-test-fails.desktop");
    ASSERT_FALSE(generic.isNull());
    const auto entryWithIcon = [&f](const std::string& name, const std::string& icon) {
        return std::make_unique<TestFile>(f.userApps + "/palmcue-test-icon-" + name + ".desktop",
                                          entry(name, "/bin/true", "Icon=" + icon + "\n"));
    };

    // Over 2 MiB: not read at all.
    const TestFile bigSvg(f.file("big.svg"),
                          "<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'>" +
                              std::string(3 << 20, ' ') +
                              "<rect width='8' height='8' fill='#00ff00'/></svg>");
    // A small file that would decode to 200 million pixels.
    QImage wide(20000, 10000, QImage::Format_Mono);
    wide.fill(0);
    QByteArray png;
    QBuffer pngBuffer(&png);
    ASSERT_TRUE(pngBuffer.open(QIODevice::WriteOnly) && wide.save(&pngBuffer, "PNG"));
    ASSERT_LT(png.size(), 2 << 20);
    const TestFile widePng(f.file("wide.png"), png.toStdString());
    // A bitmap under a vector image's name is still held to the bitmap's bound.
    const TestFile widePngAsSvg(f.file("wide-png.svg"), png.toStdString());
    for (const auto& [name, icon] :
         {std::pair{"big-svg", bigSvg.path()}, std::pair{"wide-png", widePng.path()},
          std::pair{"wide-png-as-svg", widePngAsSvg.path()}, std::pair{"folder", f.root},
          std::pair{"device", std::string("/dev/zero")}}) {
        const auto file = entryWithIcon(name, icon);
        EXPECT_EQ(iconFor(file->path()), generic) << name;
    }

    // A small vector icon is drawn at the requested size, whatever size it declares.
    if (!QImageReader::supportedImageFormats().contains("svg"))
        GTEST_SKIP() << "Qt's SVG image plugin (libqt6svg6) is not installed";
    const std::string green =
        "<svg xmlns='http://www.w3.org/2000/svg' width='100000' height='100000'>"
        "<rect width='100000' height='100000' fill='#00ff00'/></svg>";
    const TestFile svg(f.file("green.svg"), green);
    const auto file = entryWithIcon("svg", svg.path());
    const QImage drawn = iconFor(file->path());
    ASSERT_EQ(drawn.size(), QSize(28, 28));
    EXPECT_EQ(drawn.pixelColor(14, 14), QColor(0, 255, 0));

    // The same compressed, under a plain .svg name: refused, as there is no telling how big it
    // is before it is inflated.
    const TestFile svgz(f.file("green-gzip.svg"), gzipStored(green));
    const auto compressed = entryWithIcon("svgz", svgz.path());
    EXPECT_EQ(iconFor(compressed->path()), generic);
}
