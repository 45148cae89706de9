// SPDX-License-Identifier: Apache-2.0
#include "desktop/GioNaming.h"

#include "apps/ApplicationFolders.h"

#include <QFileInfo>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace palmcue::desktop {

namespace {

using Kind = apps::EntryVerdict::Kind;

bool isSet(GKeyFile* keyFile, const char* key) {
    return g_key_file_get_boolean(keyFile, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
}

bool hasValue(GKeyFile* keyFile, const char* key) {
    g_autofree char* value = g_key_file_get_string(keyFile, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
    return value && *value;
}

} // namespace

apps::EntryVerdict gioVerdict(const std::string& desktopFilePath, const std::string& contents) {
    // GIO is handed the contents, never the file: it would open whatever the path names.
    g_autoptr(GKeyFile) keyFile = g_key_file_new();
    if (!g_key_file_load_from_data(keyFile, contents.data(), contents.size(), G_KEY_FILE_NONE,
                                   nullptr) ||
        !g_key_file_has_group(keyFile, G_KEY_FILE_DESKTOP_GROUP))
        return {};
    // Checked before GIO's own reading: a user deletes an entry with a file that may say
    // little more than Hidden=true, which GIO would refuse as incomplete.
    if (isSet(keyFile, G_KEY_FILE_DESKTOP_KEY_HIDDEN))
        return {Kind::Hidden, {}, false};

    g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_keyfile(keyFile);
    if (!info) {
        // GIO also refuses an application whose TryExec or Exec program is not installed;
        // installing it changes nothing in this file, so such an entry is looked at again.
        g_autofree char* type = g_key_file_get_string(keyFile, G_KEY_FILE_DESKTOP_GROUP,
                                                      G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr);
        const bool application = type && g_strcmp0(type, G_KEY_FILE_DESKTOP_TYPE_APPLICATION) == 0;
        return {Kind::Unusable,
                {},
                application && (hasValue(keyFile, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC) ||
                                hasValue(keyFile, G_KEY_FILE_DESKTOP_KEY_EXEC))};
    }
    if (!g_app_info_should_show(G_APP_INFO(info)))
        return {Kind::Unlisted, {}, false};
    // Without a Name key GIO answers "Unnamed"; the file name tells entries apart better.
    if (!hasValue(keyFile, G_KEY_FILE_DESKTOP_KEY_NAME))
        return {Kind::Listed,
                apps::nameFromFileName(
                    QFileInfo(QFile::decodeName(desktopFilePath.c_str())).fileName()),
                false};
    return {Kind::Listed, QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info))), false};
}

apps::AppCatalogue& desktopCatalogue() {
    static apps::AppCatalogue catalogue(gioVerdict);
    return catalogue;
}

std::vector<apps::AppInfo> installedApps() {
    return desktopCatalogue().list(apps::applicationFolders());
}

} // namespace palmcue::desktop
