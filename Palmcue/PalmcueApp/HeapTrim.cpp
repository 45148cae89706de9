// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/HeapTrim.h"

#include <malloc.h>

namespace palmcue::shell {

HeapTrim::HeapTrim(QObject* parent) : QObject(parent) {
    every_.setInterval(kEveryMs);
    connect(&every_, &QTimer::timeout, this, &HeapTrim::trim);
    every_.start();
    afterStop_.setSingleShot(true);
    afterStop_.setInterval(kAfterStopMs);
    connect(&afterStop_, &QTimer::timeout, this, &HeapTrim::trim);
}

void HeapTrim::afterStop() {
    afterStop_.start();
}

void HeapTrim::trim() {
    ::malloc_trim(0);
    ++trims_;
}

} // namespace palmcue::shell
