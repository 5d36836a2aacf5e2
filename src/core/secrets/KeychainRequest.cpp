// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/secrets/KeychainRequest.h"

#include <QPointer>

namespace ostrel {

KeychainRequest::KeychainRequest(std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent) {
    limit_.setTimerType(Qt::PreciseTimer);
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        settle(KeychainAnswer{KeychainAnswer::Outcome::Silent, {}, {}});
    });
    limit_.start(limit);
}

KeychainRequest* KeychainRequest::read(Keychain& keychain, const QString& key,
                                       std::chrono::milliseconds limit, QObject* parent) {
    auto* request = new KeychainRequest(limit, parent);
    keychain.read(key, request, request->settler());
    return request;
}

KeychainRequest* KeychainRequest::write(Keychain& keychain, const QString& key,
                                        const QString& secret, std::chrono::milliseconds limit,
                                        QObject* parent) {
    auto* request = new KeychainRequest(limit, parent);
    keychain.write(key, secret, request, request->settler());
    return request;
}

KeychainRequest* KeychainRequest::remove(Keychain& keychain, const QString& key,
                                         std::chrono::milliseconds limit, QObject* parent) {
    auto* request = new KeychainRequest(limit, parent);
    keychain.remove(key, request, request->settler());
    return request;
}

// A keychain is free to answer before the call returns; the answer then waits
// for the caller to have connected to answered().
Keychain::Answer KeychainRequest::settler() {
    return [request = QPointer<KeychainRequest>(this)](const KeychainAnswer& answer) {
        if (request == nullptr)
            return;
        QTimer::singleShot(0, request, [request, answer] {
            if (request != nullptr)
                request->settle(answer);
        });
    };
}

void KeychainRequest::settle(const KeychainAnswer& answer) {
    if (settled_)
        return;
    settled_ = true;
    limit_.stop();
    Q_EMIT answered(answer);
    deleteLater();
}

} // namespace ostrel
