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

int VerbContext::runFlow(QCoro::Task<int> (*flow)(const VerbContext&)) const {
    // Started from the event loop, so that a flow ending at once still ends it.
    QTimer::singleShot(0, QCoreApplication::instance(), [this, flow] {
        QCoro::connect(flow(*this), QCoreApplication::instance(),
                       [this](int status) { finish(status); });
    });
    return QCoreApplication::exec();
}

} // namespace ostrel::cli
