// SPDX-License-Identifier: Apache-2.0
#include "support/SharedData.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <functional>

namespace palmcue::test {

std::optional<QString> sharedHandsDir() {
    const QString root = qEnvironmentVariable("PALMCUE_SHARED_DIR");
    if (root.isEmpty())
        return std::nullopt;
    const QDir dir(root + QStringLiteral("/hands"));
    if (!dir.exists(QStringLiteral("LABELS.tsv")))
        return std::nullopt;
    return dir.absolutePath();
}

std::vector<LabelledPhoto> labelledPhotos() {
    std::vector<LabelledPhoto> photos;
    const auto dir = sharedHandsDir();
    if (!dir)
        return photos;
    QFile file(*dir + QStringLiteral("/LABELS.tsv"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return photos;
    QTextStream in(&file);
    bool header = true;
    while (!in.atEnd()) {
        const QStringList cols = in.readLine().split(QLatin1Char('\t'));
        if (header) {
            header = false;
            continue;
        }
        if (cols.size() < 4)
            continue;
        photos.push_back({*dir + QLatin1Char('/') + cols[0], cols[1], cols[2], cols[3]});
    }
    return photos;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace palmcue::test
