#include "engine/SerialQueue.h"

#include <QMetaObject>

namespace palmcue {

SerialQueue::SerialQueue(const QString& label) : context_(new QObject) {
    thread_.setObjectName(label);
    context_->moveToThread(&thread_);
    thread_.start(QThread::HighestPriority);
}

SerialQueue::~SerialQueue() {
    // Frames still waiting are skipped; the context is deleted on its own thread after the
    // task that is running now, and the thread ends with it.
    closing_.store(true, std::memory_order_release);
    QObject* context = context_;
    QThread* thread = &thread_;
    QMetaObject::invokeMethod(
        context,
        [context, thread] {
            context->deleteLater(); // runs as the thread finishes
            thread->quit();
        },
        Qt::QueuedConnection);
    thread_.wait();
}

void SerialQueue::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
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
