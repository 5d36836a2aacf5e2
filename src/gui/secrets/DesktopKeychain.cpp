// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/secrets/DesktopKeychain.h"

#include <qt6keychain/keychain.h>

namespace ostrel {

namespace {

KeychainAnswer answerOf(const QKeychain::Job& job) {
    switch (job.error()) {
    case QKeychain::NoError:
        return {KeychainAnswer::Outcome::Done, {}, {}};
    case QKeychain::EntryNotFound:
        return {KeychainAnswer::Outcome::NotFound, {}, {}};
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        break;
    }
    return {KeychainAnswer::Outcome::Failed, {}, job.errorString()};
}

// The job belongs to nobody and deletes itself once finished: deleting it
// while the keychain works on it is not safe. One that never finishes stays
// until the program ends; `context` going only drops its answer.
void start(QKeychain::Job* job, const QString& key, QObject* context,
           std::function<void(const QKeychain::Job&)> finished) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [finished = std::move(finished)](QKeychain::Job* done) { finished(*done); });
    job->start();
}

} // namespace

DesktopKeychain::DesktopKeychain(QString service) : service_(std::move(service)) {}

void DesktopKeychain::read(const QString& key, QObject* context, Answer answer) {
    auto* job = new QKeychain::ReadPasswordJob(service_);
    start(job, key, context, [job, answer = std::move(answer)](const QKeychain::Job& done) {
        KeychainAnswer result = answerOf(done);
        if (result.outcome == KeychainAnswer::Outcome::Done)
            result.secret = job->textData();
        answer(result);
    });
}

void DesktopKeychain::write(const QString& key, const QString& secret, QObject* context,
                            Answer answer) {
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setTextData(secret);
    start(job, key, context,
          [answer = std::move(answer)](const QKeychain::Job& done) { answer(answerOf(done)); });
}

void DesktopKeychain::remove(const QString& key, QObject* context, Answer answer) {
    auto* job = new QKeychain::DeletePasswordJob(service_);
    start(job, key, context,
          [answer = std::move(answer)](const QKeychain::Job& done) { answer(answerOf(done)); });
}

} // namespace ostrel
