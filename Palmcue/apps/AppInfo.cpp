// SPDX-License-Identifier: Apache-2.0
#include "apps/AppInfo.h"

#include <QFile>

namespace palmcue::apps {

namespace {
QString nfc(const QString& text) {
    return text.normalized(QString::NormalizationForm_C);
}
} // namespace

bool operator==(const AppInfo& a, const AppInfo& b) {
    return nfc(a.name) == nfc(b.name) && nfc(a.path) == nfc(b.path);
}

std::string AppInfo::location() const {
    return nativePath.empty() ? QFile::encodeName(path).toStdString() : nativePath;
}

size_t qHash(const AppInfo& app, size_t seed) noexcept {
    // Hash the same forms that equality compares, name first.
    return qHashMulti(seed, nfc(app.name), nfc(app.path));
}

} // namespace palmcue::apps
