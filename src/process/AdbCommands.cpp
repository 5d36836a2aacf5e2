// Running adb for the window controller, and feeding its output to the console
// and the classifier.
#include "app/AppDelegate.h"
#include "app/ProgramSettings.h"
#include "process/AdbLocator.h"

#include <QCoreApplication>

namespace ostrel {

namespace {

QString commandLine(const QString& program, const QStringList& arguments) {
    QStringList parts{program};
    parts += arguments;
    return parts.join(QLatin1Char(' '));
}

// Names every place that was tried, so the user knows where adb may go.
QString adbNotFoundMessage() {
    const QStringList tried = adbCandidatesBeforePath(QCoreApplication::applicationDirPath(),
                                                      QProcessEnvironment::systemEnvironment());
    return QStringLiteral("Error: adb was not found: no adb chosen, none at %1, none on PATH. "
                          "Click the adb button to choose it.\r\n")
        .arg(tried.join(QStringLiteral(", ")));
}

} // namespace

QString AppDelegate::getAdbPath() const {
    const QVariant chosen = programSettings().value(AdbSettingKey);
    std::optional<QString> chosenPath;
    if (chosen.isValid() && !chosen.toString().isEmpty())
        chosenPath = chosen.toString();
    return locateAdb(chosenPath, QCoreApplication::applicationDirPath(),
                     QProcessEnvironment::systemEnvironment());
}

AdbRun AppDelegate::launchAdbProcess(const QStringList& arguments, bool wait) {
    const QString program = getAdbPath();
    if (program.isEmpty()) {
        appendStringToTextView(adbNotFoundMessage());
        return {};
    }
    if (!wait) {
        AdbRun run;
        run.errorText = startDetached(program, arguments);
        run.status =
            run.errorText.isEmpty() ? AdbRun::Status::Finished : AdbRun::Status::FailedToStart;
        reportIfNotFinished(run);
        return run;
    }
    AdbRun run = runAndWait(program, arguments, waits_.commandTimeout);
    if (!run.standardOutput.isEmpty())
        writeStdOut(QString::fromUtf8(run.standardOutput));
    if (!reportIfNotFinished(run))
        qInfo("adb command failed: %s", qUtf8Printable(commandLine(program, arguments)));
    return run;
}

bool AppDelegate::reportIfNotFinished(const AdbRun& run) {
    switch (run.status) {
    case AdbRun::Status::Finished:
        return true;
    case AdbRun::Status::NoExecutable:
    case AdbRun::Status::FailedToStart:
        appendStringToTextView(QStringLiteral("Error: adb could not be run: %1. Click the adb "
                                              "button to choose the adb executable.\r\n")
                                   .arg(run.errorText));
        return false;
    case AdbRun::Status::TimedOut:
    case AdbRun::Status::Crashed:
        appendStringToTextView(QStringLiteral("Error: %1.\r\n").arg(run.errorText));
        return false;
    }
    return false;
}

void AppDelegate::writeStdOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (isEchoed(bridge_.CommandMode))
        appendStringToTextView(text);
    lineBuffer_.assemble(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        [this](char* line) { processOneLineFromOutputMessage(line); });
}

} // namespace ostrel
