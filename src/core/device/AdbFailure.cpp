#include "core/device/AdbFailure.h"

#include <QRegularExpression>

namespace ostrel {

namespace {

// adb's client prefixes its own complaints about the transport with "error:";
// commands such as forward say "adb: error:" for those and for their own
// refusals, so only the device-related ones count there.
bool isTransportError(const QByteArray& line) {
    if (line.startsWith("error:"))
        return true;
    static const QByteArray adbPrefix = "adb: error: ";
    if (!line.startsWith(adbPrefix))
        return false;
    const QByteArray rest = line.mid(adbPrefix.size());
    for (const char* reason :
         {"device ", "no devices", "more than one device", "insufficient permissions", "closed"}) {
        if (rest.startsWith(reason))
            return true;
    }
    return false;
}

} // namespace

bool deviceIsGone(const AdbRun& run) {
    if (!run.finished() || run.exitCode == 0)
        return false;
    const QList<QByteArray> lines = run.standardError.split('\n');
    for (const QByteArray& line : lines) {
        if (isTransportError(line))
            return true;
    }
    return false;
}

QString standardErrorForConsole(const AdbRun& run) {
    QString text = QString::fromUtf8(run.standardError).trimmed();
    if (text.isEmpty())
        return {};
    text.replace(QRegularExpression(QStringLiteral("\\r?\\n")), QStringLiteral("\r\n"));
    return text + QStringLiteral("\r\n");
}

} // namespace ostrel
