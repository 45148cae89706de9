// One running Palm&Cue per user. Starting the program again while it runs asks the running
// one to show its window (the Linux form of reopening an application from the dock) and
// ends the new process.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace palmcue::shell {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        Primary,   // this process listens; showRequested() reports later starts
        Secondary, // another instance runs and has been asked to show its window
        Failed,    // neither listening nor reaching a running instance worked; see error()
    };

    // `socketPath` is the full path of the local socket; see defaultSocketPath().
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the primary instance, or hands "show" to the one that runs. A socket file left
    // by a crashed instance (nobody answers on it) is removed and taken over.
    Role claim();
    QString error() const { return error_; }

    // "palmcue-<uid>" in XDG_RUNTIME_DIR, or in the temporary folder when that is not set.
    static QString defaultSocketPath();

Q_SIGNALS:
    void showRequested();

private:
    bool notifyRunningInstance();
    void readMessages();

    QString socketPath_;
    QLocalServer server_;
    QString error_;
};

} // namespace palmcue::shell
