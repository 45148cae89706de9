// SPDX-License-Identifier: Apache-2.0
// A serial work queue on a thread of its own: the detection queue "hand.detect".
#pragma once

#include "engine/Mailbox.h"

#include <QThread>
#include <atomic>
#include <functional>

namespace palmcue {

class SerialQueue {
public:
    explicit SerialQueue(const QString& label);
    ~SerialQueue(); // finishes the running task, drops the waiting ones, joins the thread

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    // Runs `task` on the queue's thread after every task posted before it. Any thread.
    void post(std::function<void()> task);

    // Like post, for camera frames: a frame that arrives while another frame is still waiting
    // to run is dropped, so at most one frame waits while one is analysed and a slow analysis
    // never builds a backlog. Returns false when the frame was dropped. Any thread.
    bool postFrame(std::function<void()> task);

    QThread* thread() { return &thread_; }

private:
    QThread thread_;
    Mailbox* mailbox_;                  // lives on thread_ and is deleted there
    std::atomic<int> framesPending_{0}; // waiting or running
    std::atomic<bool> closing_{false};
};

} // namespace palmcue
