#include "cli/WindowLauncher.h"

#include "cli/Invocation.h"
#include "core/ProgramLayout.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace ostrel::cli {

namespace {

using namespace Qt::Literals::StringLiterals;

// On Linux the window needs an X or Wayland display, or a platform named by
// hand; without one Qt would abort with a message about plugins.
bool hasDisplay(bool platformNamed) {
#ifdef Q_OS_LINUX
    return platformNamed || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(platformNamed)
    return true;
#endif
}

void printLine(const QString& line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int openWindow(char* argv[], bool platformNamed) {
    if (!hasDisplay(platformNamed)) {
        printLine(u"Error: there is no display to open the window on; the verbs (--devices, "
                  "--start, --stop, --forward) work without one."_s);
        return StateNotReached;
    }
    const QString folder = launcherFolder(QCoreApplication::applicationDirPath());
    QString tried;
    int failure = ENOENT;
    for (const QString& candidate : windowProgramCandidates(folder)) {
        ::execv(QFile::encodeName(candidate).constData(), argv);
        // Only a missing file sends us on to the next place.
        failure = errno;
        tried = candidate;
        if (failure != ENOENT)
            break;
    }
    printLine(u"Error: the window could not be opened: %1: %2."_s.arg(
        tried, QString::fromLocal8Bit(std::strerror(failure))));
    return StateNotReached;
}

} // namespace ostrel::cli
