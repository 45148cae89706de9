// SPDX-License-Identifier: Apache-2.0
// Readable gtest output for Qt values.
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
