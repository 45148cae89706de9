#include "desktop/GioNaming.h"

#include "apps/AppCatalogue.h"
#include "apps/ApplicationFolders.h"

#include <QFileInfo>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace palmcue::desktop {

std::optional<QString> gioDisplayName(const std::string& desktopFilePath) {
    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(desktopFilePath.c_str());
    // should_show() covers NoDisplay and OnlyShowIn/NotShowIn but not Hidden, which means
    // "deleted" (an entry that masks one of the same id in a lower-priority folder).
    if (!info || g_desktop_app_info_get_is_hidden(info) ||
        !g_app_info_should_show(G_APP_INFO(info)))
        return std::nullopt;
    // Without a Name key GIO answers "Unnamed"; the file name tells entries apart better.
    g_autofree char* declaredName = g_desktop_app_info_get_string(info, "Name");
    if (!declaredName || !*declaredName)
        return apps::nameFromFileName(
            QFileInfo(QFile::decodeName(desktopFilePath.c_str())).fileName());
    return QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info)));
}

std::vector<apps::AppInfo> installedApps() {
    return apps::listApps(apps::applicationFolders(), gioDisplayName);
}

} // namespace palmcue::desktop
