// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QUrl>

class QQmlEngine;

namespace palmcue::ui {

// Makes the Palmcue.Ui module importable in `engine` and returns the URL of its root view, to
// load with its initial properties. Taking it from here also links the module's C++ type
// registration into the program: the module is a static library without a plugin, so nothing
// else would pull that code in.
QUrl mainViewSource(QQmlEngine& engine);

} // namespace palmcue::ui
