#include "desktop/AppIconProvider.h"

#include "apps/ApplicationFolders.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QUrl>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace palmcue::desktop {

namespace {

constexpr int kDefaultSide = 64;

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

// The icon drawn at exactly `target`, centred and scaled up when the icon has only smaller
// sizes; null when the icon yields nothing.
QPixmap render(const QIcon& icon, const QSize& target) {
    if (icon.isNull())
        return {};
    const QPixmap source = icon.pixmap(target, 1.0);
    if (source.isNull())
        return {};
    if (source.size() == target)
        return source;
    QPixmap canvas(target);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize fitted = source.size().scaled(target, Qt::KeepAspectRatio);
    painter.drawPixmap(QRect(QPoint((target.width() - fitted.width()) / 2,
                                    (target.height() - fitted.height()) / 2),
                             fitted),
                       source);
    return canvas;
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
    std::vector<std::string> data = apps::dataFolders();
    std::reverse(data.begin(), data.end());

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

QIcon AppIconProvider::entryIcon(const QString& desktopFilePath) {
    g_autoptr(GDesktopAppInfo) info =
        g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFilePath).constData());
    if (!info)
        return {};
    GIcon* icon = g_app_info_get_icon(G_APP_INFO(info)); // owned by info
    if (!icon)
        return {};

    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        for (; names && *names; ++names) {
            const QString name = QString::fromUtf8(*names);
            if (QIcon::hasThemeIcon(name))
                return QIcon::fromTheme(name);
        }
        return {};
    }
    if (G_IS_FILE_ICON(icon)) {
        g_autofree char* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        if (path && QFile::exists(QFile::decodeName(path)))
            return QIcon(QFile::decodeName(path));
    }
    return {};
}

QPixmap AppIconProvider::requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) {
    const QSize target = targetSize(requestedSize);
    if (size)
        *size = target;

    // Qt hands over the id only partly decoded; the path itself was fully encoded.
    const QString path = QUrl::fromPercentEncoding(id.toUtf8());
    QPixmap pixmap = render(entryIcon(path), target);
    if (pixmap.isNull())
        pixmap = render(QIcon::fromTheme(QStringLiteral("application-x-executable")), target);
    if (pixmap.isNull())
        pixmap = drawnApplicationIcon(target);
    return pixmap;
}

} // namespace palmcue::desktop
