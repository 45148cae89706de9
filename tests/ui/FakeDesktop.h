// The shell's desktop helper as the permission screen sees it.
#pragma once

#include <QObject>

namespace palmcue::test {

class FakeDesktop : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canOpenCameraSettings MEMBER canOpen CONSTANT)

public:
    Q_INVOKABLE void openCameraSettings() { ++openCount; }

    bool canOpen = true;
    int openCount = 0;
};

} // namespace palmcue::test
