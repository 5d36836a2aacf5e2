// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/secrets/Keychain.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <utility>

namespace ostrel::test {

// Answers on a later pass of the event loop, as a real keychain does; in
// Silent it holds every request until answerLate().
class ScriptedKeychain : public Keychain {
public:
    enum class Mode { Answers, Fails, Silent };
    explicit ScriptedKeychain(Mode mode = Mode::Answers) : mode_(mode) {}

    QHash<QString, QString> kept;
    QStringList requests;

    void read(const QString& key, QObject* context, Answer answer) override {
        requests.append(QStringLiteral("read ") + key);
        const auto found = kept.constFind(key);
        if (found == kept.cend())
            reply(context, std::move(answer), {KeychainAnswer::Outcome::NotFound, {}, {}});
        else
            reply(context, std::move(answer), {KeychainAnswer::Outcome::Done, *found, {}});
    }
    void write(const QString& key, const QString& secret, QObject* context,
               Answer answer) override {
        requests.append(QStringLiteral("write ") + key);
        if (mode_ == Mode::Answers)
            kept.insert(key, secret);
        reply(context, std::move(answer), {KeychainAnswer::Outcome::Done, {}, {}});
    }
    void remove(const QString& key, QObject* context, Answer answer) override {
        requests.append(QStringLiteral("remove ") + key);
        if (mode_ == Mode::Answers)
            kept.remove(key);
        reply(context, std::move(answer), {KeychainAnswer::Outcome::Done, {}, {}});
    }

    // What a keychain held up (a wallet unlocked at last) says now.
    void answerLate() {
        for (const auto& [context, answer] : std::as_const(held_)) {
            if (context != nullptr)
                answer(KeychainAnswer{KeychainAnswer::Outcome::Done, QStringLiteral("late"), {}});
        }
        held_.clear();
    }

private:
    void reply(QObject* context, Answer answer, KeychainAnswer result) {
        if (mode_ == Mode::Silent) {
            held_.append({QPointer<QObject>(context), std::move(answer)});
            return;
        }
        if (mode_ == Mode::Fails)
            result = {KeychainAnswer::Outcome::Failed,
                      {},
                      QStringLiteral("No keychain service\nis available")};
        QTimer::singleShot(0, context, [answer = std::move(answer), result] { answer(result); });
    }

    Mode mode_;
    QList<std::pair<QPointer<QObject>, Answer>> held_;
};

} // namespace ostrel::test
