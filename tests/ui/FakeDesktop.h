// The shell's desktop helper as the permission screen sees it.
#pragma once

#include <QObject>
#include <QString>

namespace palmcue::test {

class FakeDesktop : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canOpenCameraSettings MEMBER canOpen CONSTANT)

public:
    // False, as when no settings program exists, unless canOpen.
    Q_INVOKABLE bool openCameraSettings() {
        ++openCount;
        return canOpen;
    }
    Q_INVOKABLE QString cameraAccessHelp() const { return help; }

    bool canOpen = true;
    int openCount = 0;
    QString help = QStringLiteral("sudo usermod -aG video someone");
};

} // namespace palmcue::test
