// SPDX-License-Identifier: Apache-2.0
// The shell's desktop helper as the permission screen sees it.
#pragma once

#include "ui/CameraSettingsPage.h"

#include <QString>

namespace palmcue::test {

class FakeDesktop : public ui::CameraSettingsPage {
    Q_OBJECT
    Q_PROPERTY(bool canOpenCameraSettings MEMBER canOpen CONSTANT)

public:
    // False, as when no settings program exists, unless canOpen.
    bool openCameraSettings() override {
        ++openCount;
        return canOpen;
    }
    QString cameraAccessHelp() const override { return help; }

    bool canOpen = true;
    int openCount = 0;
    QString help = QStringLiteral("sudo usermod -aG video someone");
};

} // namespace palmcue::test
