// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/secrets/PasswordFlow.h"

#include "core/secrets/KeychainRequest.h"
#include "core/text/VisibleText.h"

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString keychainWords(const KeychainAnswer& answer) {
    if (answer.outcome == KeychainAnswer::Outcome::Silent)
        return u"the keychain did not answer"_s;
    const QString words = visibleText(answer.error.simplified());
    return words.isEmpty() ? u"the keychain refused"_s : words;
}

} // namespace

PasswordFlow::PasswordFlow(Keychain& keychain, QString key, std::chrono::milliseconds limit,
                           QObject* parent)
    : QObject(parent), keychain_(keychain), key_(std::move(key)), limit_(limit) {}

void PasswordFlow::passwordNeeded() {
    dropRead();
    attempt_.reset();
    if (lastRefused_ || rememberedRefused_)
        ask();
    else
        readKeychain();
}

void PasswordFlow::readKeychain() {
    read_ = KeychainRequest::read(keychain_, key_, limit_, this);
    connect(read_, &KeychainRequest::answered, this, &PasswordFlow::takeRemembered);
}

void PasswordFlow::takeRemembered(const KeychainAnswer& answer) {
    read_ = nullptr;
    switch (answer.outcome) {
    case KeychainAnswer::Outcome::Done:
        keychainKeepsOne_ = true;
        attempt_ = Attempt{answer.secret, true, true};
        Q_EMIT provide(answer.secret);
        return;
    case KeychainAnswer::Outcome::NotFound:
        keychainKeepsOne_ = false;
        ask();
        return;
    case KeychainAnswer::Outcome::Failed:
    case KeychainAnswer::Outcome::Silent:
        ask(noteOnce(u"Not remembered: %1."_s.arg(keychainWords(answer))));
        return;
    }
}

void PasswordFlow::ask(const QString& note) {
    Q_EMIT askUser(lastRefused_, keychainKeepsOne_, note);
}

void PasswordFlow::given(const QString& password, bool remember) {
    attempt_ = Attempt{password, false, remember};
    Q_EMIT provide(password);
}

void PasswordFlow::declined() {
    dropRead();
    attempt_.reset();
}

void PasswordFlow::refused() {
    if (attempt_ && attempt_->fromKeychain)
        rememberedRefused_ = true;
    lastRefused_ = true;
    attempt_.reset();
}

void PasswordFlow::accepted() {
    const std::optional<Attempt> attempt = std::exchange(attempt_, std::nullopt);
    lastRefused_ = false;
    rememberedRefused_ = false;
    if (attempt && !attempt->fromKeychain)
        keepAfterSuccess(*attempt);
}

// Only a password the server took replaces a kept one; unticking the box
// forgets the kept one.
// A change under way is left to finish even when a new connection asks meanwhile.
void PasswordFlow::keepAfterSuccess(const Attempt& attempt) {
    KeychainRequest* change = nullptr;
    if (attempt.remember) {
        keychainKeepsOne_ = true;
        change = KeychainRequest::write(keychain_, key_, attempt.password, limit_, this);
    } else if (keychainKeepsOne_) {
        keychainKeepsOne_ = false;
        change = KeychainRequest::remove(keychain_, key_, limit_, this);
    } else {
        return;
    }
    connect(change, &KeychainRequest::answered, this, &PasswordFlow::reportChange);
}

void PasswordFlow::reportChange(const KeychainAnswer& answer) {
    if (answer.outcome == KeychainAnswer::Outcome::Done ||
        answer.outcome == KeychainAnswer::Outcome::NotFound)
        return;
    const QString line = noteOnce(
        u"The password's keychain entry was not changed: %1."_s.arg(keychainWords(answer)));
    if (!line.isEmpty())
        Q_EMIT keychainTrouble(line);
}

QString PasswordFlow::noteOnce(const QString& line) {
    if (std::exchange(keychainNoted_, true))
        return {};
    return line;
}

// A read overtaken by a newer one answers to nobody.
void PasswordFlow::dropRead() {
    delete read_;
    read_ = nullptr;
}

} // namespace ostrel
