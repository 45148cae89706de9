// SPDX-License-Identifier: Apache-2.0
// The program's command line, read by Qt's QCommandLineParser (so that --camera=ID, -h and -v
// work as in other Qt programs): the camera to use for this run or a picture or video file as
// the camera, listing the cameras, asking the running instance to quit, and the usual --help
// and --version. Which cameras exist is looked up later, by the program; this only reads.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace palmcue::shell {

class CommandLine {
public:
    enum class Action {
        Run,         // start, or show the running instance's window
        ListCameras, // print the cameras and their modes, and end
        Quit,        // ask the running instance to quit
        Help,        // print help() and end
        Version,     // print version() and end
    };

    // `arguments` starts with the program name, as argv does.
    static CommandLine parse(const QStringList& arguments);

    bool isValid() const { return error_.isEmpty(); }
    // Why the arguments were refused, followed by the usage lines. Empty when valid.
    QString error() const { return error_; }
    Action action() const { return action_; }
    std::optional<QString> cameraFile() const { return cameraFile_; }
    // The camera named by --camera: an id, or a part of a camera's name.
    std::optional<QString> camera() const { return camera_; }

    static QString usage();
    // The usage, the options and the exit statuses.
    static QString help();
    // "palmcue " and the version number.
    static QString version();

private:
    QString error_;
    Action action_ = Action::Run;
    std::optional<QString> cameraFile_;
    std::optional<QString> camera_;
};

} // namespace palmcue::shell
