// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/verbs/Watch.h"

#include "cli/CommandLineOutput.h"
#include "cli/OutputClosedWatcher.h"
#include "cli/VerbContext.h"
#include "cli/WatchVerb.h"
#include "core/process/InterruptWatcher.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace ostrel::cli::verbs {

// It runs until told to stop, so it is no flow but a watch that ends on a
// signal, on a lost reader, or on finding no server.
int Watch::run(const VerbContext& context) {
    WatchVerb watch(context.session, context.output, context.invocation.serial);
    OutputClosedWatcher readerGone(fileno(stdout));
    CommandLineOutput& output = context.output;
    QObject::connect(&watch, &WatchVerb::finished, &watch,
                     [&context](int status) { context.finish(status); });
    QObject::connect(&context.interrupts, &InterruptWatcher::interrupted, &watch,
                     [&watch] { watch.stop(StateNotReached); });
    QObject::connect(&output, &CommandLineOutput::lostOutput, &watch,
                     [&watch] { watch.stop(StateNotReached); });
    QObject::connect(&readerGone, &OutputClosedWatcher::closed, &watch, [&watch, &output] {
        output.mute();
        watch.stop(StateReached);
    });
    QTimer::singleShot(0, &watch, &WatchVerb::start);
    return QCoreApplication::exec();
}

} // namespace ostrel::cli::verbs
