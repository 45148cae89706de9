// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/CommandLine.h"

#include <QFileInfo>

namespace palmcue::shell {

QString CommandLine::usage() {
    return QStringLiteral("usage: palmcue [--camera-file PATH]\n"
                          "       palmcue --quit | --help | --version");
}

QString CommandLine::help() {
    static const char* const kDetails[] = {
        "",
        "Palm&Cue opens the application mapped to a finger held up to the camera.",
        "Starting it again while it runs shows its window.",
        "",
        "  --camera-file PATH  use a picture or video file as the camera",
        "  --quit              ask the running Palm&Cue to quit, and wait for its end",
        "  --help              show this help",
        "  --version           show the version",
        "",
        "Exit status: 0 on success; 1 when the window cannot be shown, or when --quit",
        "finds no running Palm&Cue or it does not end; 2 for a wrong command line.",
    };
    QString text = usage();
    for (const char* line : kDetails)
        text += QLatin1Char('\n') + QLatin1String(line);
    return text;
}

QString CommandLine::version() {
    return QStringLiteral("palmcue " PALMCUE_VERSION);
}

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine line;
    const auto refuse = [&line](const QString& reason) {
        line.action_ = Action::Run;
        line.cameraFile_.reset();
        line.error_ = QStringLiteral("palmcue: ") + reason + QLatin1Char('\n') + usage();
        return line;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("--version")) {
            CommandLine information;
            information.action_ =
                argument == QLatin1String("--help") ? Action::Help : Action::Version;
            return information;
        }
        if (argument == QLatin1String("--quit")) {
            if (line.action_ == Action::Quit)
                return refuse(QStringLiteral("--quit given twice"));
            line.action_ = Action::Quit;
            continue;
        }
        if (argument != QLatin1String("--camera-file"))
            return refuse(QStringLiteral("unknown argument '%1'").arg(argument));
        if (line.cameraFile_)
            return refuse(QStringLiteral("--camera-file given twice"));
        if (i + 1 >= arguments.size())
            return refuse(QStringLiteral("--camera-file needs a file"));
        const QString path = arguments.at(++i);
        // Checked here so that a typo is reported at once rather than as a camera error
        // after Start.
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable())
            return refuse(QStringLiteral("cannot read the camera file '%1'").arg(path));
        line.cameraFile_ = file.absoluteFilePath();
    }
    if (line.action_ == Action::Quit && line.cameraFile_)
        return refuse(QStringLiteral("--quit takes no other option"));
    return line;
}

} // namespace palmcue::shell
