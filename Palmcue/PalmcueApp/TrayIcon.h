// SPDX-License-Identifier: Apache-2.0
// The icon in the desktop's system tray: the way back to a closed window, and the way to end
// the program, which keeps running (and detecting) while its window is closed.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace palmcue::shell {

class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(const QIcon& icon, QObject* parent = nullptr);

Q_SIGNALS:
    void showRequested();
    void quitRequested();

private:
    QMenu menu_;
    QSystemTrayIcon icon_;
};

} // namespace palmcue::shell
