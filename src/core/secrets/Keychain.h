// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace ostrel {

// What the keychain said to one request.
struct KeychainAnswer {
    enum class Outcome {
        Done,     // read: `secret` holds what was kept; write, remove: done
        NotFound, // nothing is kept under the key
        Failed,   // any other refusal: locked, denied, no keychain at all
        Silent,   // no answer within the program's time limit
    };
    Outcome outcome = Outcome::Failed;
    QString secret;
    QString error; // the keychain's own words when it failed
};

// The desktop's keychain, where secrets live instead of the settings file.
// Every request returns at once; its answer comes later, on this thread, at
// most once, and never once `context` has gone. A keychain may never answer
// at all (a locked wallet waiting for a prompt nobody sees): callers go
// through KeychainRequest, which puts a time limit on it.
class Keychain {
public:
    using Answer = std::function<void(const KeychainAnswer&)>;

    virtual ~Keychain() = default;

    virtual void read(const QString& key, QObject* context, Answer answer) = 0;
    virtual void write(const QString& key, const QString& secret, QObject* context,
                       Answer answer) = 0;
    virtual void remove(const QString& key, QObject* context, Answer answer) = 0;
};

} // namespace ostrel
