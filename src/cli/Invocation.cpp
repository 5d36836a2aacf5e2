// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Invocation.h"

#include "cli/VerbRegistry.h"

#include "core/ProgramIdentity.h"
#include "core/device/PortText.h"
#include "core/device/SerialArgument.h"
#include "core/text/VisibleText.h"

#include <QCommandLineParser>

#include <optional>

namespace ostrel::cli {

namespace {

using namespace Qt::Literals::StringLiterals;

const QString SerialName = u"serial"_s;
const QString AdbName = u"adb"_s;
const QString PlatformName = u"platform"_s;
const QString PortName = u"port"_s;

// `error` may repeat what was given: its controls show as visibleText()
// makes them, and a line feed, which visibleText() keeps, as its symbol too.
ParsedArguments usage(const QString& error) {
    ParsedArguments parsed;
    parsed.outcome = ParsedArguments::Outcome::Usage;
    // One line, so that a script's log shows the whole of it.
    const QString oneLine = visibleText(error).replace(u'\n', QChar(0x240A));
    parsed.text =
        u"Error: %1 See \"ostrel-dravik --help\" for the verbs and options.\n"_s.arg(oneLine);
    return parsed;
}

// The options Qt's window reads itself. They open the window, so they are
// known here only to tell them from mistakes, and stay out of the help.
QList<QCommandLineOption> windowOptions() {
    QList<QCommandLineOption> options;
    for (const QString& name :
         {PlatformName, u"platformpluginpath"_s, u"platformtheme"_s, u"plugin"_s,
          u"qwindowgeometry"_s, u"qwindowicon"_s, u"qwindowtitle"_s, u"session"_s, u"style"_s,
          u"stylesheet"_s, u"qmljsdebugger"_s, u"display"_s, u"geometry"_s, u"title"_s, u"icon"_s,
          u"name"_s, u"visual"_s}) {
        QCommandLineOption option(name, QString(), u"value"_s);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        options.append(option);
    }
    for (const QString& name :
         {u"reverse"_s, u"widgetcount"_s, u"nograb"_s, u"dograb"_s, u"testability"_s}) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        options.append(option);
    }
    return options;
}

// macOS adds a process serial number when the program is started from the
// Finder; it belongs to the window.
QStringList withoutLaunchServicesArguments(QStringList arguments) {
#ifdef Q_OS_MACOS
    arguments.removeIf([](const QString& argument) { return argument.startsWith(u"-psn_"); });
#endif
    return arguments;
}

QString fromSpelling(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One option for each verb, in the registry's order.
QList<QCommandLineOption> verbOptions() {
    QList<QCommandLineOption> options;
    for (const VerbSpelling& verb : VerbSpellings) {
        if (verb.value == VerbValue::Port)
            options.append(QCommandLineOption(fromSpelling(verb.name),
                                              fromSpelling(verb.description), u"PORT"_s));
        else
            options.append(
                QCommandLineOption(fromSpelling(verb.name), fromSpelling(verb.description)));
    }
    return options;
}

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        u"Starts and stops the Ostrel VNC Server on an Android device attached by USB, and "
        "forwards its ports.\nWithout a verb the window opens.\n\nExit status: 0 when the state "
        "asked for was reached, 1 when it was not (or when standard output could not be written), "
        "2 for wrong arguments, 128 + the signal's number when ended by one (130 for Ctrl+C, 129 "
        "for a hang-up, 143 for SIGTERM)."_s);
}

// The verb named, or why not exactly one was.
ParsedArguments readVerb(const QCommandLineParser& parser) {
    ParsedArguments parsed;
    int named = 0;
    QStringList names;
    for (const VerbSpelling& verb : VerbSpellings) {
        const QString name = fromSpelling(verb.name);
        if (parser.isSet(name)) {
            ++named;
            parsed.invocation.verb = name;
        }
        names << u"--"_s + name;
    }
    if (named > 1)
        return usage(u"Name only one of %1."_s.arg(names.join(u", "_s)));
    if (named == 0) {
        // --serial, --adb and --port say which device, adb and port a verb is to use.
        if (parser.isSet(SerialName) || parser.isSet(AdbName) || parser.isSet(PortName))
            return usage(u"Name one of %1."_s.arg(names.join(u", "_s)));
        parsed.outcome = ParsedArguments::Outcome::Window;
        parsed.platformNamed = parser.isSet(PlatformName);
        return parsed;
    }
    parsed.outcome = ParsedArguments::Outcome::Run;
    parsed.platformNamed = parser.isSet(PlatformName);
    return parsed;
}

// "--connect and --view": the verbs --port goes with.
QString portVerbs() {
    QStringList names;
    for (const VerbSpelling& verb : VerbSpellings) {
        if (verb.takesPortOption)
            names << u"--"_s + fromSpelling(verb.name);
    }
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return names.join(u", "_s) + u" and "_s + last;
}

const VerbSpelling& spellingOf(const QString& name) {
    for (const VerbSpelling& verb : VerbSpellings) {
        if (fromSpelling(verb.name) == name)
            return verb;
    }
    Q_UNREACHABLE();
}

std::optional<ParsedArguments> readPort(const QString& text, std::optional<TcpPort>& port) {
    port = portNumber(text);
    if (!port)
        return usage(u"'%1' is not a port: give a number from %2 to %3."_s.arg(
            text, QString::number(TcpPort::Lowest), QString::number(TcpPort::Highest)));
    return std::nullopt;
}

// The options a verb takes, read into the invocation; a usage error when one
// is wrong.
std::optional<ParsedArguments> readVerbOptions(const QCommandLineParser& parser,
                                               Invocation& invocation) {
    const VerbSpelling& verb = spellingOf(invocation.verb);
    if (verb.value == VerbValue::Port) {
        if (std::optional<ParsedArguments> wrong =
                readPort(parser.value(invocation.verb), invocation.port))
            return wrong;
    }
    if (parser.isSet(PortName)) {
        if (!verb.takesPortOption)
            return usage(u"--port goes with %1 only."_s.arg(portVerbs()));
        if (std::optional<ParsedArguments> wrong =
                readPort(parser.value(PortName), invocation.port))
            return wrong;
    }
    if (parser.isSet(SerialName)) {
        invocation.serial = parser.value(SerialName);
        if (invocation.serial.isEmpty())
            return usage(u"--serial needs a device's serial."_s);
        const QString unnameable = unnameableSerial(invocation.serial);
        if (!unnameable.isEmpty())
            return usage(unnameable + u'.');
    }
    if (parser.isSet(AdbName)) {
        invocation.adbPath = parser.value(AdbName);
        if (invocation.adbPath.isEmpty())
            return usage(u"--adb needs the path of an adb executable."_s);
    }
    return std::nullopt;
}

} // namespace

ParsedArguments parseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's own options are single words after a single dash, as -platform.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    describe(parser);
    const QCommandLineOption serial(SerialName, u"The device to use when several are attached."_s,
                                    u"SERIAL"_s);
    const QCommandLineOption adb(
        AdbName, u"Run this adb for this command only; the setting is kept."_s, u"PATH"_s);
    const QCommandLineOption port(
        PortName,
        u"With %1: the device's VNC port (default: the one last given for it, else 5901)."_s.arg(
            portVerbs()),
        u"PORT"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption version(u"version"_s, u"Show the version."_s);
    parser.addOptions(verbOptions());
    parser.addOptions({serial, adb, port, help, version});
    parser.addOptions(windowOptions());

    if (!parser.parse(withoutLaunchServicesArguments(arguments)))
        return usage(parser.errorText());
    ParsedArguments parsed;
    if (parser.isSet(help)) {
        parsed.outcome = ParsedArguments::Outcome::Help;
        parsed.text = visibleText(parser.helpText()); // it names the program as started
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.outcome = ParsedArguments::Outcome::Version;
        parsed.text =
            u"%1 %2\n%3\n"_s.arg(ProgramName, QStringLiteral(OSTREL_VERSION), LicenceLine);
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(u"Unexpected argument '%1'."_s.arg(parser.positionalArguments().constFirst()));
    parsed = readVerb(parser);
    if (parsed.outcome != ParsedArguments::Outcome::Run)
        return parsed;
    if (std::optional<ParsedArguments> wrong = readVerbOptions(parser, parsed.invocation))
        return *wrong;
    return parsed;
}

} // namespace ostrel::cli
