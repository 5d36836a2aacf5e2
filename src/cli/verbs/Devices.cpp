// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Devices.h"

#include "cli/CommandLineOutput.h"
#include "cli/VerbContext.h"
#include "core/session/BridgeSession.h"
#include "core/text/VisibleText.h"

#include <QCoro/QCoroTask>

namespace ostrel::cli::verbs {

using namespace Qt::Literals::StringLiterals;

namespace {

QCoro::Task<int> listDevices(const VerbContext& context) {
    // Standard output carries the serials alone, for scripts to read.
    context.output.setProgressShown(false);
    const Step<QList<ListedDevice>> listed = co_await context.session.listDevices();
    if (!listed.goesOn())
        co_return StateNotReached;
    const QString& serial = context.invocation.serial;
    QStringList serials;
    for (const ListedDevice& device : listed.value) {
        if (device.usable() && (serial.isEmpty() || device.serial == serial))
            serials.append(device.serial);
    }
    if (!serial.isEmpty() && serials.isEmpty()) {
        context.output.failure(
            u"Error: no device with the serial %1 is attached.\n"_s.arg(visibleText(serial)));
        co_return StateNotReached;
    }
    for (const QString& listedSerial : std::as_const(serials))
        context.output.result(visibleText(listedSerial) + u"\n"_s);
    co_return verdict(!serials.isEmpty());
}

} // namespace

int Devices::run(const VerbContext& context) {
    return context.runFlow(listDevices);
}

} // namespace ostrel::cli::verbs
