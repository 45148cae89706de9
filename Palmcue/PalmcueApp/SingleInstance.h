// SPDX-License-Identifier: Apache-2.0
// One running Palm&Cue per user. Starting the program again while it runs asks the running
// one to show its window (the Linux form of reopening an application from the dock) and ends
// the new process; `palmcue --quit` asks it to quit.
//
// The primary instance holds an exclusive lock on a file next to the socket for its whole
// life, so two starts at the same moment cannot both become primary, and a socket left by a
// crashed instance (whose lock the kernel released) is simply replaced. Requests are one short
// line on a Unix socket, accepted only from this user's processes.
#pragma once

#include "PalmcueApp/InstanceFolder.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <memory>

namespace palmcue::shell {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        Primary,   // this process listens; showRequested() and quitRequested() report requests
        Secondary, // another instance runs and has been asked to show its window
        Failed,    // neither listening nor reaching a running instance worked; see error()
    };
    enum class QuitAnswer {
        Ended,      // the running instance quit
        NotRunning, // nobody listens in the folder
        Failed,     // see the error text
    };

    explicit SingleInstance(InstanceFolder folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance, or hands "show" to the one that runs.
    Role claim();
    QString error() const { return error_; }

    // Asks the instance running in `folder` to quit and waits until it has ended, at most
    // `waitMs` milliseconds. Blocking; needs no event loop.
    static QuitAnswer requestQuit(const InstanceFolder& folder, QString& error, int waitMs = 10000);

Q_SIGNALS:
    void showRequested();
    void quitRequested();

private:
    class Connection;

    bool listen();
    void acceptConnections();

    InstanceFolder folder_;
    QString error_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    int openConnections_ = 0; // connections still reading their line
};

} // namespace palmcue::shell
