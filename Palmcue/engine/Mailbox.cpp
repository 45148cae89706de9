// SPDX-License-Identifier: Apache-2.0
#include "engine/Mailbox.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QRunnable>
#include <QThreadPool>

namespace palmcue {

Mailbox::~Mailbox() {
    destroyList(head_.exchange(nullptr, std::memory_order_acquire));
}

void Mailbox::destroyList(Node* list) {
    while (list) {
        Node* next = list->next;
        delete list;
        list = next;
    }
}

void Mailbox::post(std::function<void()> task) {
    Node* node = new Node{std::move(task), head_.load(std::memory_order_relaxed)};
    while (!head_.compare_exchange_weak(node->next, node, std::memory_order_release,
                                        std::memory_order_relaxed)) {
    }
    QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void Mailbox::drain() {
    Node* newestFirst = head_.exchange(nullptr, std::memory_order_acquire);
    Node* oldestFirst = nullptr;
    while (newestFirst) {
        Node* next = newestFirst->next;
        newestFirst->next = oldestFirst;
        oldestFirst = newestFirst;
        newestFirst = next;
    }
    while (oldestFirst) {
        Node* next = oldestFirst->next;
        oldestFirst->task();
        delete oldestFirst;
        oldestFirst = next;
    }
}

Mailbox& mainThreadMailbox() {
    static Mailbox* const mailbox = [] {
        Q_ASSERT(QCoreApplication::instance() &&
                 QThread::currentThread() == QCoreApplication::instance()->thread());
        return new Mailbox; // lives as long as the process
    }();
    return *mailbox;
}

namespace {

// The task is stored before the release and read after the acquire, so the hand-over through
// the pool's own (uninstrumented) queue is visible to ThreadSanitizer too.
class BackgroundTask : public QRunnable {
public:
    explicit BackgroundTask(std::function<void()> task) : task_(std::move(task)) {
        ready_.store(true, std::memory_order_release);
    }
    void run() override {
        if (ready_.load(std::memory_order_acquire))
            task_();
    }

private:
    std::function<void()> task_;
    std::atomic<bool> ready_{false};
};

} // namespace

void runInBackground(std::function<void()> task) {
    QThreadPool::globalInstance()->start(new BackgroundTask(std::move(task)));
}

} // namespace palmcue
