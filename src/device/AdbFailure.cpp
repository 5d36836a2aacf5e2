#include "device/AdbFailure.h"

#include <QRegularExpression>

namespace ostrel {

bool deviceIsGone(const AdbRun& run) {
    if (!run.finished() || run.exitCode == 0)
        return false;
    const QList<QByteArray> lines = run.standardError.split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("error:"))
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
