// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/device/AdbFailure.h"

#include "core/server/AdbServerAddress.h"
#include "core/text/VisibleText.h"

#include <QRegularExpression>
#include <QStringList>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// "NAME=VALUE" for each variable that decides adb's server, as adb weighs
// them: the socket alone when it is set.
QStringList serverVariables(const QProcessEnvironment& environment) {
    QStringList named;
    for (const QString& name :
         {u"ADB_SERVER_SOCKET"_s, u"ANDROID_ADB_SERVER_ADDRESS"_s, u"ANDROID_ADB_SERVER_PORT"_s}) {
        const QString value = environment.value(name);
        if (value.isEmpty())
            continue;
        named.append(name + u'=' + visibleText(value));
        if (name == u"ADB_SERVER_SOCKET"_s)
            break;
    }
    return named;
}

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

QString adbSetupToCheck(const QString& adbPath, const QProcessEnvironment& environment) {
    const QString variables = serverVariables(environment).join(u", "_s);
    const std::optional<AdbServerAddress> address = AdbServerAddress::fromEnvironment(environment);
    QString server;
    if (!address)
        server = u"the environment gives it: "_s + variables;
    else
        server = u"it tried: %1 (%2)"_s.arg(visibleText(address->text()),
                                            variables.isEmpty() ? u"adb's default"_s : variables);
    return u"Check the adb in effect (%1) and the server address %2.\r\n"_s.arg(
        visibleText(adbPath), server);
}

} // namespace ostrel
