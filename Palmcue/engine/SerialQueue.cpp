// SPDX-License-Identifier: Apache-2.0
#include "engine/SerialQueue.h"

namespace palmcue {

SerialQueue::SerialQueue(const QString& label) : mailbox_(new Mailbox) {
    thread_.setObjectName(label);
    mailbox_->moveToThread(&thread_);
    thread_.start(QThread::HighestPriority);
}

SerialQueue::~SerialQueue() {
    // Frames still waiting are skipped; the mailbox is deleted on its own thread after the
    // task that is running now, and the thread ends with it.
    closing_.store(true, std::memory_order_release);
    Mailbox* mailbox = mailbox_;
    QThread* thread = &thread_;
    mailbox_->post([mailbox, thread] {
        mailbox->deleteLater(); // deleted as the thread finishes
        thread->quit();
    });
    thread_.wait();
}

void SerialQueue::post(std::function<void()> task) {
    mailbox_->post(std::move(task));
}

bool SerialQueue::postFrame(std::function<void()> task) {
    // One frame running plus one waiting is the most we keep.
    if (framesPending_.fetch_add(1, std::memory_order_acq_rel) >= 2) {
        framesPending_.fetch_sub(1, std::memory_order_acq_rel);
        return false;
    }
    post([this, task = std::move(task)] {
        if (!closing_.load(std::memory_order_acquire))
            task();
        framesPending_.fetch_sub(1, std::memory_order_acq_rel);
    });
    return true;
}

} // namespace palmcue
