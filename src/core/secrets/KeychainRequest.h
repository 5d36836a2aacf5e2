// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/secrets/Keychain.h"

#include <QObject>
#include <QTimer>

#include <chrono>

namespace ostrel {

// One keychain request under the program's own time limit. answered() comes
// once: with the keychain's answer, or as Silent when the limit passes first;
// an answer after that is dropped. The request deletes itself once answered,
// and deleting it earlier (its owner went) drops the answer too.
class KeychainRequest : public QObject {
    Q_OBJECT

public:
    static KeychainRequest* read(Keychain& keychain, const QString& key,
                                 std::chrono::milliseconds limit, QObject* parent);
    static KeychainRequest* write(Keychain& keychain, const QString& key, const QString& secret,
                                  std::chrono::milliseconds limit, QObject* parent);
    static KeychainRequest* remove(Keychain& keychain, const QString& key,
                                   std::chrono::milliseconds limit, QObject* parent);

Q_SIGNALS:
    void answered(const KeychainAnswer& answer);

private:
    KeychainRequest(std::chrono::milliseconds limit, QObject* parent);
    Keychain::Answer settler();
    void settle(const KeychainAnswer& answer);

    QTimer limit_;
    bool settled_ = false;
};

} // namespace ostrel
