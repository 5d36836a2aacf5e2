#include "cli/CommandLineOutput.h"

#include "core/session/BridgeSession.h"

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

void CommandLineOutput::write(std::FILE* stream, const QString& text) {
    if (text.isEmpty() || silenced())
        return;
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QByteArray bytes = plain.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    // Standard output and standard error stay in the order they were written,
    // and a script reading a pipe sees each line as it comes.
    std::fflush(stream);
}

} // namespace ostrel::cli
