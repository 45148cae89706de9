// The program's command line. Its one option picks a picture or video file as the camera,
// for demonstrations and for running without a camera.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace palmcue::shell {

class CommandLine {
public:
    // `arguments` starts with the program name, as argv does.
    static CommandLine parse(const QStringList& arguments);

    bool isValid() const { return error_.isEmpty(); }
    // Why the arguments were refused, followed by the usage line. Empty when valid.
    QString error() const { return error_; }
    std::optional<QString> cameraFile() const { return cameraFile_; }

    static QString usage();

private:
    QString error_;
    std::optional<QString> cameraFile_;
};

} // namespace palmcue::shell
