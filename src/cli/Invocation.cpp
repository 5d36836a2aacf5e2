#include "cli/Invocation.h"

#include <QCommandLineParser>

#include <array>

namespace ostrel::cli {

namespace {

const QString DevicesName = QStringLiteral("devices");
const QString StartName = QStringLiteral("start");
const QString StopName = QStringLiteral("stop");
const QString ForwardName = QStringLiteral("forward");
const QString SerialName = QStringLiteral("serial");
const QString AdbName = QStringLiteral("adb");
const QString HelpName = QStringLiteral("help");
const QString VersionName = QStringLiteral("version");

ParsedArguments usage(const QString& error) {
    ParsedArguments parsed;
    parsed.outcome = ParsedArguments::Outcome::Usage;
    parsed.text = QStringLiteral("Error: %1\nRun \"ostrel-dravik --help\" for the verbs and "
                                 "options.\n")
                      .arg(error);
    return parsed;
}

} // namespace

bool namesVerb(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        // What follows "--" is never an option.
        if (argument == QLatin1String("--"))
            return false;
        for (const QString& verb :
             {DevicesName, StartName, StopName, HelpName, VersionName, ForwardName}) {
            if (argument == QLatin1String("--") + verb)
                return true;
        }
        if (argument == QLatin1String("-h") || argument.startsWith(QLatin1String("--forward=")))
            return true;
    }
    return false;
}

bool parsePort(const QString& text, int* port) {
    if (text.isEmpty() || text.size() > 5)
        return false;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

ParsedArguments parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Starts and stops the Ostrel VNC Server on an Android device attached by "
        "USB, and forwards its ports.\nWithout a verb the window opens.\n\nExit status: 0 "
        "when the state asked for was reached, 1 when it was not, 2 for wrong "
        "arguments, 130 when interrupted."));
    const QCommandLineOption devices(
        DevicesName, QStringLiteral("Print the serial of each usable device, one a line."));
    const QCommandLineOption start(StartName,
                                   QStringLiteral("Start the server unless it runs already."));
    const QCommandLineOption stop(StopName, QStringLiteral("Stop the server if it runs."));
    const QCommandLineOption forward(
        ForwardName,
        QStringLiteral("Forward localhost:PORT to the device's VNC port and localhost:PORT-100 "
                       "to its web port."),
        QStringLiteral("PORT"));
    const QCommandLineOption serial(SerialName,
                                    QStringLiteral("The device to use when several are attached."),
                                    QStringLiteral("SERIAL"));
    const QCommandLineOption adb(
        AdbName, QStringLiteral("Run this adb for this command only; the setting is kept."),
        QStringLiteral("PATH"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), HelpName},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(VersionName, QStringLiteral("Show the version."));
    parser.addOptions({devices, start, stop, forward, serial, adb, help, version});

    if (!parser.parse(arguments))
        return usage(parser.errorText());
    ParsedArguments parsed;
    if (parser.isSet(help)) {
        parsed.outcome = ParsedArguments::Outcome::Help;
        parsed.text = parser.helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.outcome = ParsedArguments::Outcome::Version;
        parsed.text = QStringLiteral("Ostrel Dravik %1\n").arg(QStringLiteral(OSTREL_VERSION));
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("Unexpected argument '%1'.")
                         .arg(parser.positionalArguments().constFirst()));

    const std::array<std::pair<const QCommandLineOption*, Invocation::Verb>, 4> verbs{{
        {&devices, Invocation::Verb::Devices},
        {&start, Invocation::Verb::Start},
        {&stop, Invocation::Verb::Stop},
        {&forward, Invocation::Verb::Forward},
    }};
    int named = 0;
    for (const auto& [option, verb] : verbs) {
        if (parser.isSet(*option)) {
            ++named;
            parsed.invocation.verb = verb;
        }
    }
    if (named != 1)
        return usage(named == 0
                         ? QStringLiteral("Name one of --devices, --start, --stop, --forward.")
                         : QStringLiteral("Name only one of --devices, --start, --stop, "
                                          "--forward."));
    if (parsed.invocation.verb == Invocation::Verb::Forward &&
        !parsePort(parser.value(forward), &parsed.invocation.port))
        return usage(QStringLiteral("'%1' is not a port: give a number from 1 to 65535.")
                         .arg(parser.value(forward)));
    if (parser.isSet(serial)) {
        parsed.invocation.serial = parser.value(serial);
        if (parsed.invocation.serial.isEmpty())
            return usage(QStringLiteral("--serial needs a device's serial."));
    }
    if (parser.isSet(adb)) {
        parsed.invocation.adbPath = parser.value(adb);
        if (parsed.invocation.adbPath.isEmpty())
            return usage(QStringLiteral("--adb needs the path of an adb executable."));
    }
    parsed.outcome = ParsedArguments::Outcome::Run;
    return parsed;
}

} // namespace ostrel::cli
