// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/TrayIcon.h"

namespace palmcue::shell {

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent) : QObject(parent), icon_(icon) {
    connect(menu_.addAction(QStringLiteral("Show Palm&&Cue")), &QAction::triggered, this,
            &TrayIcon::showRequested);
    menu_.addSeparator();
    connect(menu_.addAction(QStringLiteral("Quit")), &QAction::triggered, this,
            &TrayIcon::quitRequested);
    icon_.setContextMenu(&menu_);
    icon_.setToolTip(QStringLiteral("Palm&Cue"));
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    Q_EMIT showRequested();
            });
    icon_.show();
}

} // namespace palmcue::shell
