// SPDX-License-Identifier: Apache-2.0
// Which scene graph draws the window. Where OpenGL would be drawn by the CPU (Mesa's llvmpipe
// or softpipe: no GPU driver, Xvfb, a virtual machine, a remote desktop), Qt Quick's software
// scene graph is used: it repaints only what changed, the live picture 30 times a second,
// where GL would redraw and blend the whole window for every frame, on the same CPU. With a
// GPU, Qt's default stays. A choice made from outside (QT_QUICK_BACKEND, QSG_RHI_BACKEND) is
// kept. On X11 the server's extensions tell; elsewhere the GL renderer's name. With the
// software scene graph, updates are paced so that a camera frame and what it shows are drawn
// together.
#pragma once

#include <QString>

namespace palmcue::shell {

class SceneGraphChoice {
public:
    // Before the first Qt Quick window is made. Returns what was chosen, for reports.
    static SceneGraphChoice choose();

    // Whether OpenGL with this GL_RENDERER string runs on the CPU.
    static bool isSoftwareRenderer(const QString& glRenderer);

    bool software() const { return software_; }
    // What was chosen and why, e.g. "software (GL: llvmpipe (LLVM 15.0.6, 256 bits))".
    QString describe() const { return description_; }

private:
    bool software_ = false;
    QString description_;
};

} // namespace palmcue::shell
