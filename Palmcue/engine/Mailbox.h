// SPDX-License-Identifier: Apache-2.0
// Hands tasks to the thread a mailbox lives on, without locks: tasks go onto a lock-free
// list and Qt's event queue only carries a wake-up with no payload. Keeping the payload out of
// Qt's internally synchronised queue lets ThreadSanitizer see every hand-over.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>

namespace palmcue {

class Mailbox : public QObject {
    Q_OBJECT

public:
    Mailbox() = default;
    ~Mailbox() override; // tasks not yet run are dropped

    // Runs `task` on the mailbox's thread after every task posted before it. Any thread; the
    // mailbox must outlive the call.
    void post(std::function<void()> task);

private Q_SLOTS:
    void drain();

private:
    struct Node {
        std::function<void()> task;
        Node* next = nullptr;
    };
    static void destroyList(Node* list);
    std::atomic<Node*> head_{nullptr}; // newest first
};

// The process-wide mailbox of the main thread. Create it on the main thread (the first call
// must come from there) before any other thread posts to it.
Mailbox& mainThreadMailbox();

// Runs a blocking `task` on Qt's shared background thread pool.
void runInBackground(std::function<void()> task);

} // namespace palmcue
