// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/secrets/Keychain.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <optional>

namespace ostrel {

class KeychainRequest;

// Where the screen server's password comes from, for one phone's window: the
// keychain when it keeps one for the phone, else the user. A remembered
// password the server refuses is not offered again by itself (servers block
// clients that keep failing): the user is asked, and what the keychain keeps
// changes only once the server has taken the new one. The password is held
// only while it is being tried.
class PasswordFlow : public QObject {
    Q_OBJECT

public:
    // `key` names the phone in the keychain; every request waits at most `limit`.
    PasswordFlow(Keychain& keychain, QString key, std::chrono::milliseconds limit,
                 QObject* parent = nullptr);

    // From the connection.
    void passwordNeeded();
    void accepted();
    void refused();

    // From the dialog.
    void given(const QString& password, bool remember);
    // No password is wanted any more: the user cancelled, or the connection
    // that asked went.
    void declined();

Q_SIGNALS:
    // For the connection.
    void provide(const QString& password);
    // For the dialog: `afterRefusal` says the last one was wrong, `remember`
    // is the checkbox's first state, `note` a line on the keychain (empty
    // mostly).
    void askUser(bool afterRefusal, bool remember, const QString& note);
    // The keychain could not keep or forget the password: one line to show.
    void keychainTrouble(const QString& line);

private:
    struct Attempt {
        QString password;
        bool fromKeychain = false;
        bool remember = false;
    };

    void readKeychain();
    void takeRemembered(const KeychainAnswer& answer);
    void ask(const QString& note = {});
    void keepAfterSuccess(const Attempt& attempt);
    void reportChange(const KeychainAnswer& answer);
    QString noteOnce(const QString& line);
    void dropRead();

    Keychain& keychain_;
    QString key_;
    std::chrono::milliseconds limit_;
    QPointer<KeychainRequest> read_;
    std::optional<Attempt> attempt_;
    bool lastRefused_ = false;
    bool rememberedRefused_ = false;
    bool keychainKeepsOne_ = false;
    bool keychainNoted_ = false;
};

} // namespace ostrel
