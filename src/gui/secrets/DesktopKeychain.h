// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/secrets/Keychain.h"

#include <QString>

namespace ostrel {

// The desktop's own keychain (the Secret Service on Linux, the login keychain
// on macOS), under the program's name. Where there is none, requests fail: a
// password is never kept in a plain file instead.
class DesktopKeychain : public Keychain {
public:
    explicit DesktopKeychain(QString service);

    void read(const QString& key, QObject* context, Answer answer) override;
    void write(const QString& key, const QString& secret, QObject* context, Answer answer) override;
    void remove(const QString& key, QObject* context, Answer answer) override;

private:
    QString service_;
};

} // namespace ostrel
