#include "apps/AppCatalogue.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace palmcue::apps {

namespace {

constexpr std::string_view kSuffix = ".desktop";

bool isDesktopFileName(const std::string& name) {
    return name.size() > kSuffix.size() && name.ends_with(kSuffix);
}

// Appends the .desktop files of one folder; an unreadable or missing folder adds nothing.
void listFolder(const std::string& folder, const NamingRule& nameOf, std::vector<AppInfo>& out) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string fileName = it->path().filename().string();
        std::error_code typeError;
        if (!isDesktopFileName(fileName) || it->is_directory(typeError))
            continue;
        const std::string path = (fs::path(folder) / fileName).string();
        if (std::optional<QString> name = nameOf(path))
            out.push_back({std::move(*name), QFile::decodeName(path.c_str())});
    }
}

} // namespace

std::string sortKey(const QString& name) {
    return name.toLower().normalized(QString::NormalizationForm_C).toStdString();
}

QString nameFromFileName(const QString& fileName) {
    const QLatin1String suffix(kSuffix.data(), qsizetype(kSuffix.size()));
    return fileName.endsWith(suffix) ? fileName.chopped(suffix.size()) : fileName;
}

std::vector<AppInfo> listApps(const std::vector<std::string>& folders, const NamingRule& nameOf) {
    std::vector<AppInfo> found;
    for (const std::string& folder : folders)
        listFolder(folder, nameOf, found);

    // Keys are computed once; the sort moves indices so that records are not copied around.
    std::vector<std::string> keys;
    keys.reserve(found.size());
    for (const AppInfo& app : found)
        keys.push_back(sortKey(app.name));
    std::vector<std::size_t> order(found.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    std::vector<AppInfo> sorted;
    sorted.reserve(found.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(found[i]));
    return sorted;
}

} // namespace palmcue::apps
