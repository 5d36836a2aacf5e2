// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLineOutput.h"

#include "core/session/BridgeSession.h"
#include "core/text/VisibleText.h"

#include <cerrno>
#include <cstring>

namespace ostrel::cli {

CommandLineOutput::CommandLineOutput(std::FILE* out, std::FILE* err, QObject* parent)
    : QObject(parent), out_(out), err_(err) {}

void CommandLineOutput::follow(BridgeSession& session) {
    connect(&session, &BridgeSession::consoleText, this, &CommandLineOutput::showText);
    connect(&session, &BridgeSession::consoleLink, this, &CommandLineOutput::showLink);
}

void CommandLineOutput::showText(const QString& text, MessageKind kind) {
    if (kind == MessageKind::Failure)
        failure(text);
    else
        progress(text);
}

void CommandLineOutput::showLink(const QString&, const QUrl& url, MessageKind kind) {
    showText(url.toString() + QLatin1Char('\n'), kind);
}

void CommandLineOutput::progress(const QString& text) {
    if (progressShown_)
        write(out_, text);
}

void CommandLineOutput::failure(const QString& text) {
    write(err_, text);
}

void CommandLineOutput::result(const QString& text) {
    write(out_, text);
}

bool CommandLineOutput::silenced() {
    if (!muted_ && interruptCheck_ && interruptCheck_())
        muted_ = true;
    return muted_;
}

// Device text may carry controls that would drive the terminal; they show as
// symbols. A write that fails (a reader gone, a full disk) ends all output:
// what follows would be out of context.
void CommandLineOutput::write(std::FILE* stream, const QString& text) {
    if (text.isEmpty() || silenced())
        return;
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QByteArray bytes = visibleText(plain).toUtf8();
    const std::size_t size = static_cast<std::size_t>(bytes.size());
    // Standard output and standard error stay in the order they were written,
    // and a script reading a pipe sees each line as it comes.
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size, stream) != size || std::fflush(stream) != 0)
        writeFailed(stream, errno);
}

// A reader that has gone (`| head -1`) had what it wanted: the flow goes on
// to its end, quietly. Any other failure of standard output loses what was
// asked for, and the program ends saying so. A signal that ended the
// terminal fails the write too, and has its own end.
void CommandLineOutput::writeFailed(std::FILE* stream, int error) {
    muted_ = true;
    if (stream != out_ || error == EPIPE || (interruptCheck_ && interruptCheck_()))
        return;
    lost_ = true;
    const QByteArray line = "Error: the output could not be written: " +
                            QByteArray(error != 0 ? std::strerror(error) : "unknown error") + ".\n";
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), err_);
    std::fflush(err_);
    QMetaObject::invokeMethod(this, &CommandLineOutput::lostOutput, Qt::QueuedConnection);
}

} // namespace ostrel::cli
