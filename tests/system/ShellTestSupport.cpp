// SPDX-License-Identifier: Apache-2.0
#include "ShellTestSupport.h"

#include "handpose/MediaPipeHandPose.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQuickWindow>
#include <QTest>

namespace palmcue::test {

void clickItem(QQuickWindow* window, QQuickItem* item) {
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

void typeKey(QQuickWindow* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(window, key, modifiers);
}

bool handModelsPresent() {
    const QDir dir(QString::fromStdString(handpose::MediaPipeHandPose::defaultModelDir()));
    return dir.exists(QLatin1String(handpose::MediaPipeHandPose::kPalmModelFile)) &&
           dir.exists(QLatin1String(handpose::MediaPipeHandPose::kLandmarkModelFile));
}

int lineCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count('\n'));
}

MessagesApplication::MessagesApplication() {
    if (!dir_.isValid())
        return;
    const QDir root(dir_.path());
    if (!root.mkpath(QStringLiteral("data/applications")) || !root.mkpath(QStringLiteral("home")))
        return;
    QFile entry(root.filePath(QStringLiteral("data/applications/messages.desktop")));
    if (!entry.open(QIODevice::WriteOnly))
        return;
    entry.write("[Desktop Entry]\nType=Application\nName=Messages\n"
                "Exec=/bin/sh -c \"echo launched >> " +
                QFile::encodeName(markerPath()) + "\"\n");
    entry.close();
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    valid_ = true;
}

QString MessagesApplication::markerPath() const {
    return QDir(dir_.path()).filePath(QStringLiteral("launched.txt"));
}

} // namespace palmcue::test
