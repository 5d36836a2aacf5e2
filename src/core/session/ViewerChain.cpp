// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/ViewerChain.h"

#include "core/view/ViewerLauncher.h"

#include <QCoro/QCoroTask>

namespace ostrel {

ViewerChain::ViewerChain(ViewerLauncher& launcher, QString chosenViewer)
    : launcher_(launcher), chosenViewer_(std::move(chosenViewer)) {}

bool ViewerChain::raiseOpenView(const ViewedPhone& /*phone*/, SessionConsole& /*console*/) {
    return false;
}

QCoro::Task<Step<bool>> ViewerChain::open(ViewedPhone /*phone*/, LocalPair pair,
                                          SessionConsole& console) {
    return launcher_.open(pair, chosenViewer_, console);
}

void ViewerChain::cancel() {
    launcher_.cancel();
}

} // namespace ostrel
