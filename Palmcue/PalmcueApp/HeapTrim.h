// SPDX-License-Identifier: Apache-2.0
// Hands memory that malloc keeps back to the system: once a minute, and shortly after each
// Stop. The camera's streaming and decoding threads (GStreamer, libav) and GL drivers free
// their frame buffers into glibc's per-thread arenas, which keep the free pages; over Stops
// and Starts, new threads take other arenas and resident memory climbed in steps while the
// memory in use stayed flat. malloc_trim() returns the free pages of every arena.
#pragma once

#include <QObject>
#include <QTimer>

namespace palmcue::shell {

class HeapTrim : public QObject {
    Q_OBJECT

public:
    static constexpr int kEveryMs = 60'000;
    static constexpr int kAfterStopMs = 2'000; // the session's threads have ended by then

    explicit HeapTrim(QObject* parent = nullptr);

    // Trims after `kAfterStopMs`; a later call moves the trim on.
    void afterStop();
    // How many trims have run.
    int trims() const { return trims_; }

private:
    void trim();

    QTimer every_;
    QTimer afterStop_;
    int trims_ = 0;
};

} // namespace palmcue::shell
