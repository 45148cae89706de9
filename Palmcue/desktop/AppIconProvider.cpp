// SPDX-License-Identifier: Apache-2.0
#include "desktop/AppIconProvider.h"

#include "apps/AppCatalogue.h"
#include "apps/ApplicationFolders.h"
#include "apps/RegularFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QUrl>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace palmcue::desktop {

namespace {

constexpr int kDefaultSide = 64;
// An icon file is read whole, on Qt's image thread: a bigger file is not an icon.
constexpr std::size_t kMaxIconFileBytes = 2 << 20;
// Pixels decoded from a bitmap before it is scaled down; vector images are drawn at the
// requested size directly.
constexpr qint64 kMaxDecodedPixels = 4096 * 4096;

void appendMissing(QStringList& list, const QString& item) {
    if (!list.contains(item))
        list.append(item);
}

QSize targetSize(const QSize& requested) {
    int width = requested.width() > 0 ? requested.width() : requested.height();
    int height = requested.height() > 0 ? requested.height() : requested.width();
    if (width <= 0 || height <= 0)
        width = height = kDefaultSide;
    return {width, height};
}

// `source` on a transparent canvas of exactly `target`, centred and scaled to fit.
QPixmap fitted(const QPixmap& source, const QSize& target) {
    if (source.isNull() || source.size() == target)
        return source;
    QPixmap canvas(target);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize size = source.size().scaled(target, Qt::KeepAspectRatio);
    painter.drawPixmap(
        QRect(QPoint((target.width() - size.width()) / 2, (target.height() - size.height()) / 2),
              size),
        source);
    return canvas;
}

// The icon drawn at exactly `target` (scaled up when the icon has only smaller sizes); null
// when the icon yields nothing.
QPixmap render(const QIcon& icon, const QSize& target) {
    if (icon.isNull())
        return {};
    return fitted(icon.pixmap(target, 1.0), target);
}

// An icon file named by a desktop entry: read only when it is a regular file of sane size,
// and decoded at most at kMaxDecodedPixels, or drawn at `target` when it is a vector image.
QPixmap iconFile(const std::string& path, const QSize& target) {
    std::optional<std::string> contents = apps::readRegularFile(path, kMaxIconFileBytes);
    if (!contents)
        return {};
    QByteArray bytes = QByteArray::fromRawData(contents->data(), qsizetype(contents->size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The format by the contents, whatever the name says.
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // A compressed SVG is inflated whole before anything else: a small file can be huge.
    const QByteArray format = reader.format();
    if (format == "svgz")
        return {};
    const bool vector = format == "svg";
    const QSize natural = reader.size();
    if (!natural.isValid() || natural.isEmpty() ||
        (!vector && qint64(natural.width()) * natural.height() > kMaxDecodedPixels))
        return {};
    if (vector)
        reader.setScaledSize(natural.scaled(target, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return fitted(QPixmap::fromImage(image), target);
}

// A plain window shape, for when not even the theme's generic icon is there.
QPixmap drawnApplicationIcon(const QSize& target) {
    QPixmap canvas(target);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(canvas.rect()).adjusted(1, 1, -1, -1);
    const qreal radius = frame.width() / 6.0;
    painter.setPen(QPen(QColor(0x5e, 0x5c, 0x64), 1.0));
    painter.setBrush(QColor(0xde, 0xdd, 0xda));
    painter.drawRoundedRect(frame, radius, radius);
    painter.setBrush(QColor(0x35, 0x84, 0xe4));
    painter.drawRect(QRectF(frame.left(), frame.top() + radius, frame.width(), frame.height() / 5));
    return canvas;
}

} // namespace

AppIconProvider::AppIconProvider() : QQuickImageProvider(QQuickImageProvider::Pixmap) {
    prepareIconLookup();
}

void AppIconProvider::prepareIconLookup() {
    // Icon folders by the XDG icon theme rules: the user's first, then the system's.
    const std::vector<std::string> data = apps::dataFolders();

    QStringList themePaths = QIcon::themeSearchPaths();
    appendMissing(themePaths, QDir::homePath() + QStringLiteral("/.icons"));
    QStringList pixmapPaths = QIcon::fallbackSearchPaths();
    for (const std::string& folder : data) {
        const QString base = QFile::decodeName(folder.c_str());
        appendMissing(themePaths, base + QStringLiteral("/icons"));
        appendMissing(pixmapPaths, base + QStringLiteral("/pixmaps"));
    }
    // The stock folders last, so that the generic icon is found even when XDG_DATA_DIRS
    // leaves them out (sandboxes, test setups).
    appendMissing(themePaths, QStringLiteral("/usr/share/icons"));
    appendMissing(pixmapPaths, QStringLiteral("/usr/share/pixmaps"));
    QIcon::setThemeSearchPaths(themePaths);
    QIcon::setFallbackSearchPaths(pixmapPaths);

    // A desktop platform sets the user's theme; without one, use the stock themes.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    if (QIcon::fallbackThemeName().isEmpty())
        QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QString AppIconProvider::imageId(const QString& desktopFilePath) {
    return QString::fromLatin1(QUrl::toPercentEncoding(desktopFilePath));
}

QPixmap AppIconProvider::entryIcon(const QString& desktopFilePath, const QSize& target) {
    // The entry itself is read like the catalogue reads it: GIO never opens the file.
    const std::optional<std::string> contents = apps::readRegularFile(
        QFile::encodeName(desktopFilePath).toStdString(), apps::kMaxDesktopFileBytes);
    if (!contents)
        return {};
    g_autoptr(GKeyFile) keyFile = g_key_file_new();
    if (!g_key_file_load_from_data(keyFile, contents->data(), contents->size(), G_KEY_FILE_NONE,
                                   nullptr))
        return {};
    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_keyfile(keyFile);
    if (!info)
        return {};
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(info)); // owned by info
    if (!icon)
        return {};

    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        for (; names && *names; ++names) {
            const QString name = QString::fromUtf8(*names);
            // A theme icon is a name, not a path: "../x" would lead the lookup out of the
            // theme folders.
            if (!name.contains(QLatin1Char('/')) && QIcon::hasThemeIcon(name))
                return render(QIcon::fromTheme(name), target);
        }
        return {};
    }
    if (G_IS_FILE_ICON(icon)) {
        g_autofree char* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        if (path)
            return iconFile(path, target);
    }
    return {};
}

QPixmap AppIconProvider::requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) {
    const QSize target = targetSize(requestedSize);
    if (size)
        *size = target;

    // Qt hands over the id only partly decoded; the path itself was fully encoded.
    const QString path = QUrl::fromPercentEncoding(id.toUtf8());
    QPixmap pixmap = entryIcon(path, target);
    if (pixmap.isNull())
        pixmap = render(QIcon::fromTheme(QStringLiteral("application-x-executable")), target);
    if (pixmap.isNull())
        pixmap = drawnApplicationIcon(target);
    return pixmap;
}

} // namespace palmcue::desktop
