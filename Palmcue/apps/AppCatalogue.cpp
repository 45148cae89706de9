// SPDX-License-Identifier: Apache-2.0
#include "apps/AppCatalogue.h"

#include <QFile>
#include <algorithm>
#include <dirent.h>
#include <unordered_set>

namespace palmcue::apps {

namespace {

constexpr std::string_view kSuffix = ".desktop";

bool isDesktopFileName(std::string_view name) {
    return name.size() > kSuffix.size() && name.ends_with(kSuffix);
}

std::string inFolder(const std::string& folder, std::string_view fileName) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path.append(fileName);
}

// The .desktop file names of one folder in listing order; nothing for a folder that cannot
// be read. Only names are read here: the kind of each entry is judged later, by stat.
std::vector<std::string> desktopFileNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (isDesktopFileName(entry->d_name))
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

bool hidesLowerEntries(const EntryVerdict& verdict) {
    return verdict.kind != EntryVerdict::Kind::Unusable;
}

} // namespace

AppCatalogue::AppCatalogue(NamingRule rule) : rule_(std::move(rule)) {}

EntryVerdict AppCatalogue::judge(const std::string& path) {
    const std::optional<FileIdentity> identity = regularFileIdentity(path);
    if (!identity) {
        judged_.erase(path);
        return {};
    }
    auto cached = judged_.find(path);
    if (cached != judged_.end() && cached->second.identity == *identity &&
        !cached->second.verdict.recheck) {
        cached->second.seen = true;
        return cached->second.verdict;
    }

    FileIdentity read;
    const std::optional<std::string> contents = readRegularFile(path, kMaxDesktopFileBytes, &read);
    if (!contents) {
        judged_.erase(path);
        return {};
    }
    EntryVerdict verdict = rule_(path, *contents);
    judged_[path] = Judged{read, verdict, true};
    return verdict;
}

std::vector<AppInfo> AppCatalogue::list(const std::vector<std::string>& folders) {
    for (auto& [path, judged] : judged_)
        judged.seen = false;

    std::vector<AppInfo> found;
    std::unordered_set<std::string> taken; // ids decided by a higher-precedence folder
    for (const std::string& folder : folders) {
        for (std::string& id : desktopFileNames(folder)) {
            if (taken.contains(id))
                continue;
            const std::string path = inFolder(folder, id);
            const EntryVerdict verdict = judge(path);
            if (hidesLowerEntries(verdict))
                taken.insert(std::move(id));
            if (verdict.kind == EntryVerdict::Kind::Listed)
                found.push_back({verdict.name, QFile::decodeName(path.c_str()), path});
        }
    }
    // Files that are gone (or hidden by another folder now) are forgotten.
    std::erase_if(judged_, [](const auto& item) { return !item.second.seen; });

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

std::optional<std::string> AppCatalogue::find(const std::vector<std::string>& folders,
                                              const std::string& id) {
    // An id is a file name: ids of entries in subfolders are not listed, so not found either.
    if (!isDesktopFileName(id) || id.find('/') != std::string::npos)
        return std::nullopt;
    for (const std::string& folder : folders) {
        const std::string path = inFolder(folder, id);
        const EntryVerdict verdict = judge(path);
        if (verdict.kind == EntryVerdict::Kind::Hidden)
            return std::nullopt;
        if (hidesLowerEntries(verdict))
            return path;
    }
    return std::nullopt;
}

std::vector<AppInfo> listApps(const std::vector<std::string>& folders, const NamingRule& rule) {
    return AppCatalogue(rule).list(folders);
}

std::string sortKey(const QString& name) {
    return name.toLower().normalized(QString::NormalizationForm_C).toStdString();
}

QString nameFromFileName(const QString& fileName) {
    const QLatin1String suffix(kSuffix.data(), qsizetype(kSuffix.size()));
    return fileName.endsWith(suffix) ? fileName.chopped(suffix.size()) : fileName;
}

} // namespace palmcue::apps
