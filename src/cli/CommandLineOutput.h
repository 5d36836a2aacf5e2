// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/ConsoleMessage.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdio>
#include <functional>

namespace ostrel {
class BridgeSession;
}

namespace ostrel::cli {

// The session's console as a script sees it: progress on standard output,
// failures on standard error, plain lines ending in "\n", a link as its
// address, controls as visibleText() shows them.
class CommandLineOutput : public QObject {
    Q_OBJECT

public:
    CommandLineOutput(std::FILE* out, std::FILE* err, QObject* parent = nullptr);

    void follow(BridgeSession& session);

    // Off: progress is dropped, so standard output carries only results.
    void setProgressShown(bool shown) { progressShown_ = shown; }
    // Asked before each write; true silences everything from then on.
    void setInterruptCheck(std::function<bool()> check) { interruptCheck_ = std::move(check); }
    // Nothing more is written. A failed write mutes the output too.
    void mute() { muted_ = true; }
    bool muted() const { return muted_; }
    // Standard output failed for a reason other than a reader that has gone
    // (a full disk, an I/O error): what the script asked for is lost.
    bool lost() const { return lost_; }

    void progress(const QString& text);
    void failure(const QString& text);
    // What the verb was asked for; written even when progress is not.
    void result(const QString& text);

    void showText(const QString& text, ostrel::MessageKind kind);
    void showLink(const QString& description, const QUrl& url, ostrel::MessageKind kind);

Q_SIGNALS:
    // lost() has become true, and the line saying so is written. Sent from
    // the event loop: the write that failed may be deep in a flow's call.
    void lostOutput();

private:
    bool silenced();
    void write(std::FILE* stream, const QString& text);
    void writeFailed(std::FILE* stream, int error);

    std::FILE* out_;
    std::FILE* err_;
    std::function<bool()> interruptCheck_;
    bool progressShown_ = true;
    bool muted_ = false;
    bool lost_ = false;
};

} // namespace ostrel::cli
