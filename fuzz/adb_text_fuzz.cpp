// SPDX-License-Identifier: GPL-3.0-or-later
// What adb and the phone write, read whole: one input stands for a command's
// standard output and its standard error at once, and goes through every
// parser of such text: device listings and the list's items, adb's errors,
// process and file listings, `adb version`, the server's own output. Each
// keeps the promise its header makes: no controls reach the console or the
// list unless allowed, lengths stay capped, line ends are the console's, and
// a device line is split where adb splits it.
#include "FuzzTarget.h"

#include "core/device/AdbFailure.h"
#include "core/device/DeviceItems.h"
#include "core/device/DeviceListing.h"
#include "core/device/FileListing.h"
#include "core/device/ProcessListing.h"
#include "core/device/ServerCandidates.h"
#include "core/process/AdbRun.h"
#include "core/process/AdbVersion.h"
#include "core/session/ServerOutput.h"
#include "core/session/ServerOutputFolder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

using namespace Qt::Literals::StringLiterals;

const QString ServerPath = QString::fromUtf8(ostrel::ServerCandidates[0].path);

bool isControl(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

// Text from outside as the console or the list may show it: of the controls,
// only TAB, and where `lineEnds` allows them "\n" and "\r\n".
void checkShown(const QString& text, bool lineEnds) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\t' || (lineEnds && c == u'\n'))
            continue;
        if (lineEnds && c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            continue;
        OSTREL_FUZZ_CHECK(!isControl(c));
    }
}

// Every "\n" is the end of a "\r\n", and the text ends with one.
void checkConsoleLines(const QString& text) {
    OSTREL_FUZZ_CHECK(text.isEmpty() || text.endsWith(u"\r\n"_s));
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1))
        OSTREL_FUZZ_CHECK(i > 0 && text.at(i - 1) == u'\r');
}

ostrel::AdbRun finishedRun(const QByteArray& output, int exitCode) {
    ostrel::AdbRun run;
    run.status = ostrel::AdbRun::Status::Finished;
    run.exitCode = exitCode;
    run.standardOutput = output;
    run.standardError = output;
    return run;
}

void checkDeviceListing(const QByteArray& output) {
    const QList<ostrel::ListedDevice> devices = ostrel::parseDeviceListing(output);
    OSTREL_FUZZ_CHECK(devices.size() <= output.count('\n') + 1);
    for (const ostrel::ListedDevice& device : devices) {
        OSTREL_FUZZ_CHECK(!device.serial.isEmpty());
        OSTREL_FUZZ_CHECK(!device.serial.contains(u'\t') && !device.serial.contains(u'\n'));
        OSTREL_FUZZ_CHECK(!device.state.contains(u'\n'));
        OSTREL_FUZZ_CHECK(device.usable() == (device.state == u"device"_s));
        // The watch's frames are read a line at a time, the same way; one
        // trailing CR is no part of the state (a second one is).
        const std::optional<ostrel::ListedDevice> alone =
            ostrel::parseDeviceLine((device.serial + u'\t' + device.state + u'\r').toUtf8());
        OSTREL_FUZZ_CHECK(alone && *alone == device);
        const QString state = ostrel::shownState(device.state);
        OSTREL_FUZZ_CHECK(!state.contains(u" ("_s) && !state.contains(u';'));
        checkShown(state, false);
        const QString advice = ostrel::unusableDeviceAdvice(device);
        OSTREL_FUZZ_CHECK(advice.endsWith(u'\n') && advice.count(u'\n') == 1);
        checkShown(advice, true);
    }
    const QString selected = devices.isEmpty() ? QString() : devices.last().serial;
    const ostrel::DeviceItems items = ostrel::deviceItems(devices, selected);
    OSTREL_FUZZ_CHECK(items.current >= 0 && items.current < items.items.size());
    for (const ostrel::DeviceItem& item : items.items)
        checkShown(item.text, false);
}

void checkStandardError(const QByteArray& output) {
    ostrel::AdbRun run = finishedRun(output, 1);
    ostrel::deviceIsGone(run);
    const QString text = ostrel::standardErrorForConsole(run);
    OSTREL_FUZZ_CHECK(text.isEmpty() == QString::fromUtf8(output).trimmed().isEmpty());
    checkConsoleLines(text);
    // Only a failed adb can have lost its device.
    run.exitCode = 0;
    OSTREL_FUZZ_CHECK(!ostrel::deviceIsGone(run));
    run.exitCode = 1;
    run.status = ostrel::AdbRun::Status::TimedOut;
    OSTREL_FUZZ_CHECK(!ostrel::deviceIsGone(run));
}

void checkListings(const QByteArray& output) {
    const ostrel::ServerProcess process = ostrel::readServerProcess(output, ServerPath);
    OSTREL_FUZZ_CHECK(process.running || process.pid == 0);
    for (const int exitCode : {0, 1}) {
        const ostrel::AdbRun run = finishedRun(output, exitCode);
        const QString refusal = ostrel::listingRefusal(run);
        checkConsoleLines(refusal);
        const ostrel::ServerFileListing file = ostrel::readServerFileListing(run, ServerPath);
        OSTREL_FUZZ_CHECK((file.kind == ostrel::ServerFileListing::Kind::Refused) ==
                          !refusal.isEmpty());
        OSTREL_FUZZ_CHECK(file.kind == ostrel::ServerFileListing::Kind::Found || file.size == 0);
    }
}

void checkAdbVersion(const QByteArray& output) {
    ostrel::AdbRun run = finishedRun(output, 0);
    const ostrel::AdbVersionAnswer answer = ostrel::adbVersionAnswer(run);
    if (answer.known) {
        OSTREL_FUZZ_CHECK(!answer.text.isEmpty() && answer.text.size() <= 200);
        OSTREL_FUZZ_CHECK(!answer.text.contains(u'\n') && !answer.text.startsWith(u' '));
        checkShown(answer.text, false);
    }
    run.exitCode = 1;
    OSTREL_FUZZ_CHECK(!ostrel::adbVersionAnswer(run).known);
}

void checkServerTail(const ostrel::ServerOutput& output, int count) {
    const QString tail = output.tail(count);
    checkConsoleLines(tail);
    const QStringList lines = tail.split(u"\r\n"_s);
    OSTREL_FUZZ_CHECK(lines.size() - 1 <= count);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString& line = lines.at(i);
        OSTREL_FUZZ_CHECK(line.startsWith(u"    "_s) && line.size() > 4 && line.at(4) != u' ');
        OSTREL_FUZZ_CHECK(line.size() <= 4 + 300 + 3);
        checkShown(line, false);
    }
}

// The server prints into a file of ours, whose tail the console shows. Its
// folder is one of the fuzzer's own; the file is written anew for each
// input as it is, and for some grown past the part the tail reads, so that
// the cut lands anywhere in the text.
void checkServerOutput(const QByteArray& bytes) {
    static const QTemporaryDir folder;
    static ostrel::ServerOutputFolder outputs;
    static const ostrel::ServerOutput output = [] {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
        return outputs.createFor(u"fuzz"_s).output;
    }();
    const int fd = output.descriptor();
    const auto writeAnew = [fd](const QByteArray& text) {
        return ::ftruncate(fd, 0) == 0 &&
               ::pwrite(fd, text.constData(), static_cast<size_t>(text.size()), 0) == text.size();
    };
    if (fd < 0 || !writeAnew(bytes))
        return;
    checkServerTail(output, 10);
    checkServerTail(output, 1);
    // Reading 64 KiB back takes a while, so only some inputs grow.
    if (bytes.isEmpty() || bytes.size() % 8 != 0)
        return;
    if (!writeAnew(bytes.repeated(64 * 1024 / bytes.size() + 1)))
        return;
    checkServerTail(output, 10);
}

} // namespace

OSTREL_FUZZ_TARGET(adb_text) {
    const QByteArray output(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkDeviceListing(output);
    checkStandardError(output);
    checkListings(output);
    checkAdbVersion(output);
    checkServerOutput(output);
    return 0;
}
