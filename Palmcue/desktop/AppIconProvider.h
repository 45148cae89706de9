// SPDX-License-Identifier: Apache-2.0
// Serves the icon of a desktop entry to QML: image://appicon/<percent-encoded .desktop path>.
#pragma once

#include <QIcon>
#include <QQuickImageProvider>

namespace palmcue::desktop {

class AppIconProvider : public QQuickImageProvider {
public:
    // Also makes the system icon themes reachable (see prepareIconLookup()).
    AppIconProvider();

    // Always an image of the requested size (64×64 when none is requested): the entry's icon,
    // else the generic application icon, else a drawn one.
    QPixmap requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The image id for a .desktop file path (append to "image://appicon/").
    static QString imageId(const QString& desktopFilePath);

    // The entry's own icon drawn at `target`, or a null pixmap when it has none that can be
    // found or used. An icon file is used only when it is a regular file of at most 2 MiB,
    // and either a bitmap of at most 4096×4096 pixels or an uncompressed SVG (drawn at
    // `target`): a FIFO would block Qt's image thread (and with it the program's exit), and a
    // huge image would take memory and time.
    static QPixmap entryIcon(const QString& desktopFilePath, const QSize& target);

    // Qt looks for theme icons only in its own resources on some platforms (offscreen among
    // them): adds the XDG icon folders and pixmaps folders and a fallback theme. Idempotent;
    // main thread.
    static void prepareIconLookup();
};

} // namespace palmcue::desktop
