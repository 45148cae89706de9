// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/SceneGraphChoice.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>

namespace palmcue::shell {
namespace {

// GL_RENDERER of the default OpenGL context, or nothing when there is none.
std::optional<QString> glRenderer() {
    QOpenGLContext context;
    if (!context.create())
        return std::nullopt;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return std::nullopt;
    const auto* name = context.functions()->glGetString(GL_RENDERER);
    QString renderer = name ? QString::fromLatin1(reinterpret_cast<const char*>(name)) : QString();
    context.doneCurrent();
    return renderer;
}

// On X11, whether GL can reach a GPU, from the X server's extensions alone: Mesa's hardware
// drivers need DRI3 or DRI2, NVIDIA's own GLX brings NV-GLX. Without them (Xvfb, most VNC
// servers) Mesa draws with llvmpipe. Asking the server loads no GL driver, where a probe
// context would keep Mesa and LLVM in memory (~60 MiB) for nothing.
std::optional<bool> x11GpuGl() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    for (const char* name : {"DRI3", "DRI2", "NV-GLX"}) {
        const xcb_query_extension_cookie_t cookie =
            xcb_query_extension(connection, static_cast<std::uint16_t>(std::strlen(name)), name);
        xcb_query_extension_reply_t* reply = xcb_query_extension_reply(connection, cookie, nullptr);
        const bool present = reply && reply->present;
        std::free(reply);
        if (present)
            return true;
    }
    return false;
}

// The software scene graph draws an update 5 ms after it is asked for (Qt's default). The
// camera's frame and, 7 ms later, the hand-pose result for it (the hold bar) then make two
// draws, a full cycle each (the X server's round trip, hover re-delivery); 16 ms makes them
// one: one draw per camera frame instead of 1.3, 0.3 points of a core less with the preview
// live (measured side by side under Xvfb), for 11 ms more delay, still under 60 Hz for
// scrolling. Read by Qt at the first update; a value set outside is kept.
void paceUpdates() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_UPDATE_IDLE_TIME"))
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "16");
}

} // namespace

bool SceneGraphChoice::isSoftwareRenderer(const QString& glRenderer) {
    for (const char* cpu : {"llvmpipe", "softpipe", "software rasterizer", "swr", "lavapipe"})
        if (glRenderer.contains(QLatin1String(cpu), Qt::CaseInsensitive))
            return true;
    return false;
}

SceneGraphChoice SceneGraphChoice::choose() {
    SceneGraphChoice choice;
    for (const char* variable : {"QT_QUICK_BACKEND", "QSG_RHI_BACKEND"}) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            choice.description_ = QStringLiteral("set outside (%1)").arg(QLatin1String(variable));
            return choice;
        }
    }
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        choice.description_ = QStringLiteral("default (%1 platform)").arg(platform);
        return choice;
    }
    if (const std::optional<bool> gpu = x11GpuGl()) {
        choice.software_ = !*gpu;
        choice.description_ =
            *gpu ? QStringLiteral("default (X server with DRI3, DRI2 or NV-GLX)")
                 : QStringLiteral("software (X server without DRI3, DRI2 or NV-GLX: GL would "
                                  "run on the CPU)");
    } else {
        const std::optional<QString> renderer = glRenderer();
        // Without OpenGL Qt Quick has nothing else to draw with on Linux.
        choice.software_ = !renderer || isSoftwareRenderer(*renderer);
        choice.description_ =
            QStringLiteral("%1 (GL: %2)")
                .arg(choice.software_ ? QStringLiteral("software") : QStringLiteral("default"),
                     renderer.value_or(QStringLiteral("none")));
    }
    if (choice.software_) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        paceUpdates();
    }
    return choice;
}

} // namespace palmcue::shell
