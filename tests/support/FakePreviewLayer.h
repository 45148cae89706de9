// SPDX-License-Identifier: Apache-2.0
// Stands in for the camera layer's preview object: records the sinks it was attached to.
#pragma once

#include "engine/LivePreview.h"

#include <QPointer>
#include <vector>

namespace palmcue::test {

class FakePreviewLayer : public LivePreview {
    Q_OBJECT

public:
    void attach(QObject* sink) override { sinks.emplace_back(sink); }

    std::vector<QPointer<QObject>> sinks;
};

} // namespace palmcue::test
