// SPDX-License-Identifier: Apache-2.0
#include "PalmcueApp/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace palmcue::shell {
namespace {

// The options; the texts people read are those of help().
struct Options {
    QCommandLineOption camera{QStringLiteral("camera"), {}, QStringLiteral("ID")};
    QCommandLineOption cameraFile{QStringLiteral("camera-file"), {}, QStringLiteral("PATH")};
    QCommandLineOption listCameras{QStringLiteral("list-cameras")};
    QCommandLineOption quit{QStringLiteral("quit")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}};

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions({camera, cameraFile, listCameras, quit, help, version});
    }
};

bool informational(const QString& argument) {
    return argument == QLatin1String("-h") || argument == QLatin1String("--help") ||
           argument == QLatin1String("-v") || argument == QLatin1String("--version");
}

// Why the parser refused the arguments, in the program's words.
QString parseError(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString& name = unknown.front();
        return QStringLiteral("unknown option '%1%2'")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    QString text = parser.errorText(); // "Missing value after '--camera-file'."
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace

QString CommandLine::usage() {
    return QStringLiteral("usage: palmcue [--camera-file PATH | --camera ID]\n"
                          "       palmcue --list-cameras | --quit | --help | --version");
}

QString CommandLine::help() {
    static const char* const kDetails[] = {
        "",
        "Palm&Cue opens the application mapped to a finger held up to the camera.",
        "Starting it again while it runs shows its window.",
        "",
        "  --camera ID          use this camera for this run (nothing is saved): its id or",
        "                       a part of its name that no other camera's name has, as",
        "                       --list-cameras shows them; --camera=ID works too",
        "  --camera-file PATH   use a picture or video file as the camera",
        "  --list-cameras       list the cameras and their modes, marking the camera used",
        "                       without --camera and the mode Palm&Cue asks it for",
        "  --quit               ask the running Palm&Cue to quit, and wait for its end",
        "  -h, --help           show this help",
        "  -v, --version        show the version",
        "",
        "Without --camera, Palm&Cue uses the system's default camera; when that one is an",
        "infrared camera (greyscale only, for face login), the first colour camera instead.",
        "",
        "Exit status: 0 on success; 1 when the window cannot be shown, when --list-cameras",
        "finds no camera, or when --quit finds no running Palm&Cue or it does not end;",
        "2 for a wrong command line or a camera that --camera does not find.",
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
    const Options options;
    CommandLine line;
    const auto refuse = [&line](const QString& reason) {
        line = CommandLine();
        line.error_ = QStringLiteral("palmcue: ") + reason + QLatin1Char('\n') + usage();
        return line;
    };

    // --help and --version win over what follows them, as in GNU programs, but not over a
    // mistake before them.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!informational(arguments.at(i)))
            continue;
        QCommandLineParser before;
        options.addTo(before);
        if (before.parse(arguments.mid(0, i + 1)) &&
            (before.isSet(options.help) || before.isSet(options.version))) {
            line.action_ = before.isSet(options.help) ? Action::Help : Action::Version;
            return line;
        }
        break;
    }

    QCommandLineParser parser;
    options.addTo(parser);
    if (!parser.parse(arguments))
        return refuse(parseError(parser));
    if (!parser.positionalArguments().isEmpty())
        return refuse(
            QStringLiteral("unknown argument '%1'").arg(parser.positionalArguments().front()));
    const QStringList given = parser.optionNames();
    for (const QString& name : {QStringLiteral("camera"), QStringLiteral("camera-file"),
                                QStringLiteral("list-cameras"), QStringLiteral("quit")}) {
        if (given.count(name) > 1)
            return refuse(QStringLiteral("--%1 given twice").arg(name));
    }
    for (const QCommandLineOption* alone : {&options.quit, &options.listCameras}) {
        if (parser.isSet(*alone) && given.size() > 1)
            return refuse(QStringLiteral("--%1 takes no other option").arg(alone->names().front()));
    }
    if (parser.isSet(options.camera) && parser.isSet(options.cameraFile))
        return refuse(QStringLiteral("--camera and --camera-file cannot be used together"));

    if (parser.isSet(options.quit))
        line.action_ = Action::Quit;
    if (parser.isSet(options.listCameras))
        line.action_ = Action::ListCameras;
    if (parser.isSet(options.camera)) {
        const QString camera = parser.value(options.camera).trimmed();
        if (camera.isEmpty())
            return refuse(QStringLiteral("--camera needs a camera id or name"));
        line.camera_ = camera;
    }
    if (parser.isSet(options.cameraFile)) {
        const QString path = parser.value(options.cameraFile);
        // Checked here so that a typo is reported at once rather than as a camera error
        // after Start.
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable())
            return refuse(QStringLiteral("cannot read the camera file '%1'").arg(path));
        line.cameraFile_ = file.absoluteFilePath();
    }
    return line;
}

} // namespace palmcue::shell
