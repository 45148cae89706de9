// SPDX-License-Identifier: Apache-2.0
// Finding items of a Qt Quick scene by objectName. findChild misses list delegates and popup
// items; walking childItems() reaches them.
#pragma once

#include <QQuickItem>

namespace palmcue::test {

inline QQuickItem* findItem(QQuickItem* root, const QString& objectName) {
    if (!root)
        return nullptr;
    if (root->objectName() == objectName)
        return root;
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, objectName))
            return found;
    }
    return nullptr;
}

} // namespace palmcue::test
