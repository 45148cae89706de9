// SPDX-License-Identifier: Apache-2.0
#include "camera/CameraPipelineErrors.h"

#include "camera/GstTracerHook.h"
#include "engine/Mailbox.h"

#include <QCoreApplication>
#include <QThread>
#include <gst/gst.h>

namespace palmcue::camera {
namespace {

CameraPipelineErrors* watch = nullptr; // set once on the main thread, before the hook exists

bool insideCameraBin(GstObject* object) {
    for (; object; object = GST_OBJECT_PARENT(object)) {
        const gchar* name = GST_OBJECT_NAME(object);
        if (g_strcmp0(name, "camerabin") == 0 || g_strcmp0(name, "camerasrc") == 0)
            return true;
    }
    return false;
}

// Any thread: every element's message passes here before it is posted.
void onMessagePosted(GObject*, GstClockTime, GstElement* element, GstMessage* message) {
    // Each bin re-posts its children's messages: only the original post counts.
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR ||
        GST_MESSAGE_SRC(message) != GST_OBJECT_CAST(element) ||
        !insideCameraBin(GST_MESSAGE_SRC(message)))
        return;
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    QString text = error && error->message ? QString::fromUtf8(error->message)
                                           : QStringLiteral("camera pipeline error");
    g_clear_error(&error);
    mainThreadMailbox().post([text = std::move(text)] { Q_EMIT watch->errorOccurred(text); });
}

} // namespace

CameraPipelineErrors& CameraPipelineErrors::instance() {
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    if (!watch) {
        mainThreadMailbox();
        watch = new CameraPipelineErrors; // lives as long as the process, as the hook does
        addGstTracerHook("element-post-message-pre", G_CALLBACK(onMessagePosted));
    }
    return *watch;
}

} // namespace palmcue::camera
