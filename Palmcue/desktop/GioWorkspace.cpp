// SPDX-License-Identifier: Apache-2.0
#include "desktop/GioWorkspace.h"

#include "apps/ApplicationFolders.h"
#include "apps/RegularFile.h"
#include "desktop/GioNaming.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/wait.h>
#include <vector>

namespace palmcue::desktop {

namespace {

std::string withDesktopSuffix(const std::string& id) {
    return id.ends_with(".desktop") ? id : id + ".desktop";
}

// One launched process, watched until it exits: the watch also reaps it.
struct ChildWatch {
    std::function<void(const std::string& reason)> failedLater;
    gint64 deadlineMicroseconds = 0; // g_get_monotonic_time() scale
};

std::optional<std::string> failureReason(gint waitStatus) {
    if (WIFEXITED(waitStatus)) {
        const int code = WEXITSTATUS(waitStatus);
        if (code == 0)
            return std::nullopt;
        // gio-launch-desktop exits with 255 when it cannot exec the program.
        if (code == 255)
            return "its program could not be started (exit status 255)";
        return "its program quit at once with exit status " + std::to_string(code);
    }
    if (WIFSIGNALED(waitStatus)) {
        const int signal = WTERMSIG(waitStatus);
        return "its program was ended at once by signal " + std::to_string(signal) + " (" +
               g_strsignal(signal) + ")";
    }
    return std::nullopt;
}

void childExited(GPid pid, gint waitStatus, gpointer data) {
    g_spawn_close_pid(pid);
    const auto* watch = static_cast<const ChildWatch*>(data);
    if (g_get_monotonic_time() > watch->deadlineMicroseconds || !watch->failedLater)
        return;
    if (std::optional<std::string> reason = failureReason(waitStatus))
        watch->failedLater(*reason);
}

void collectPid(GDesktopAppInfo*, GPid pid, gpointer data) {
    static_cast<std::vector<GPid>*>(data)->push_back(pid);
}

} // namespace

GioWorkspace::GioWorkspace(std::chrono::milliseconds earlyExitWindow)
    : earlyExitWindow_(earlyExitWindow) {}

std::optional<std::string> GioWorkspace::applicationForIdentifier(const std::string& id) {
    if (id.empty())
        return std::nullopt;
    // Resolved by the catalogue rather than by GIO, which would open a FIFO of that name.
    return desktopCatalogue().find(apps::applicationFolders(), withDesktopSuffix(id));
}

Result<void> GioWorkspace::open(const std::string& location,
                                std::function<void(const std::string& reason)> failedLater) {
    const std::optional<std::string> file = location.starts_with('/')
                                                ? std::optional<std::string>(location)
                                                : applicationForIdentifier(location);
    // Only a regular file is handed to GIO, which opens it blocking. GIO refuses entries
    // that are broken, hidden, or whose program is not installed.
    g_autoptr(GDesktopAppInfo) info = file && apps::regularFileIdentity(*file)
                                          ? g_desktop_app_info_new_from_filename(file->c_str())
                                          : nullptr;
    if (!info)
        return failure("its desktop entry " + location +
                       " cannot be used (missing, broken, or its program is not installed)");

    // A plain launch reports success even when the program then fails to exec, so the
    // spawned processes are watched for an early unsuccessful exit.
    std::vector<GPid> pids;
    g_autoptr(GError) error = nullptr;
    const gboolean launched = g_desktop_app_info_launch_uris_as_manager(
        info, nullptr, nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
        collectPid, &pids, &error);

    const gint64 deadline =
        g_get_monotonic_time() +
        std::chrono::duration_cast<std::chrono::microseconds>(earlyExitWindow_).count();
    // Every spawned process is watched, if only to be reaped; a launch already reported as
    // failed is not reported a second time.
    for (GPid pid : pids) {
        g_child_watch_add_full(G_PRIORITY_DEFAULT, pid, childExited,
                               new ChildWatch{launched ? failedLater : nullptr, deadline},
                               [](gpointer data) { delete static_cast<ChildWatch*>(data); });
    }

    if (!launched)
        return failure(error ? error->message : "the launch failed");
    return {};
}

} // namespace palmcue::desktop
