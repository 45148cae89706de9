#include "PalmcueApp/CommandLine.h"

#include <QFileInfo>

namespace palmcue::shell {

QString CommandLine::usage() {
    return QStringLiteral("usage: palmcue [--camera-file PATH]");
}

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine line;
    const auto refuse = [&line](const QString& reason) {
        line.cameraFile_.reset();
        line.error_ = QStringLiteral("palmcue: ") + reason + QLatin1Char('\n') + usage();
        return line;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
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
    return line;
}

} // namespace palmcue::shell
