// SPDX-License-Identifier: Apache-2.0
// The engine's types as the views use them, registered in Palmcue.Ui so that qmlcachegen and
// qmllint know every property a binding reads. Declared here rather than in the engine's
// headers: the engine needs Qt Core only and knows nothing of QML.
#pragma once

#include "engine/HandDetector.h"
#include "engine/LaunchLogEntry.h"
#include "engine/LivePreview.h"

#include <QList>
#include <QtQml/qqml.h>

namespace palmcue::ui {

struct HandDetectorForeign {
    Q_GADGET
    QML_FOREIGN(palmcue::HandDetector)
    QML_NAMED_ELEMENT(HandDetector)
    QML_UNCREATABLE("The shell makes the one detector and hands it to the view.")
};

struct LivePreviewForeign {
    Q_GADGET
    QML_FOREIGN(palmcue::LivePreview)
    QML_NAMED_ELEMENT(LivePreview)
    QML_UNCREATABLE("Each camera session makes its own preview.")
};

struct LaunchLogEntryForeign {
    Q_GADGET
    QML_FOREIGN(palmcue::LaunchLogEntry)
    QML_VALUE_TYPE(launchLogEntry)
};

// HandDetector.launchLog, as a list that JavaScript can slice.
struct LaunchLogForeign {
    Q_GADGET
    QML_FOREIGN(QList<palmcue::LaunchLogEntry>)
    QML_ANONYMOUS
    QML_SEQUENTIAL_CONTAINER(palmcue::LaunchLogEntry)
};

} // namespace palmcue::ui
