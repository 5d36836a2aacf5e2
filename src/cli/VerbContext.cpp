// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/VerbContext.h"

#include "cli/CommandLineOutput.h"
#include "core/process/InterruptWatcher.h"
#include "core/session/BridgeSession.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QTimer>

namespace ostrel::cli {

int VerbContext::exitStatus(int status) const {
    return interrupts.exitStatusOr(output.lost() ? StateNotReached : status);
}

void VerbContext::finish(int status) const {
    QCoreApplication::exit(exitStatus(status));
}

void VerbContext::aimAtNamedPhone() const {
    session.requirePhone(invocation.serial);
}

namespace {

QCoro::Task<int> reachState(const VerbContext& context,
                            QCoro::Task<bool> (BridgeSession::*flow)()) {
    context.aimAtNamedPhone();
    const bool reached = co_await (context.session.*flow)();
    co_return verdict(reached);
}

} // namespace

int VerbContext::runFlow(QCoro::Task<int> (*flow)(const VerbContext&)) const {
    return runUntilDone([this, flow] { return flow(*this); });
}

int VerbContext::runPhoneFlow(QCoro::Task<bool> (BridgeSession::*flow)()) const {
    return runUntilDone([this, flow] { return reachState(*this, flow); });
}

int VerbContext::runUntilDone(const std::function<QCoro::Task<int>()>& start) const {
    // Started from the event loop, so that a flow ending at once still ends it.
    QTimer::singleShot(0, QCoreApplication::instance(), [this, start] {
        QCoro::connect(start(), QCoreApplication::instance(),
                       [this](int status) { finish(status); });
    });
    return QCoreApplication::exec();
}

} // namespace ostrel::cli
