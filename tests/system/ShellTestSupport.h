// SPDX-License-Identifier: Apache-2.0
// Helpers for tests that run the whole program's window: finding and clicking its items, and
// a folder of desktop entries that stands in for the installed applications.
#pragma once

#include "support/QuickItems.h"

#include <QQuickItem>
#include <QString>
#include <QTemporaryDir>
#include <optional>

class QQuickWindow;

namespace palmcue::test {

// The first item below `root` (or `root` itself) with this objectName, walking the visual
// tree: findChild misses list delegates and popups.

// A left click in the middle of `item`, through the window as a user's click arrives.
void clickItem(QQuickWindow* window, QQuickItem* item);

// A key press and release on `window`, shortcuts included. Compiled apart from the tests that
// link Qt Widgets: QtTest would then take the test's QGuiApplication for a QApplication.
void typeKey(QQuickWindow* window, Qt::Key key, Qt::KeyboardModifiers modifiers);

// Whether the hand models are where the program looks for them.
bool handModelsPresent();

// Number of lines in a text file; 0 when it does not exist.
int lineCount(const QString& path);

// Points XDG_DATA_HOME and XDG_DATA_DIRS at a temporary folder whose only application is
// "Messages", a shell command that appends a line to markerPath(). Must be made before any
// GIO call of the process (GLib reads those variables once).
class MessagesApplication {
public:
    MessagesApplication();
    bool isValid() const { return valid_; }
    QString markerPath() const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
};

} // namespace palmcue::test
