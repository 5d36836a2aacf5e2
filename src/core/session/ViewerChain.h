// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/ViewerOpener.h"

namespace ostrel {

class ViewerLauncher;

// The outside viewers, tried in turn from the user's chosen one: what View
// opened before the program had a window of its own for a screen.
class ViewerChain final : public ViewerOpener {
public:
    // `chosenViewer` is the setting as stored: it may name anything.
    ViewerChain(ViewerLauncher& launcher, QString chosenViewer);

    // An outside viewer's window is not ours to find.
    bool raiseOpenView(const ViewedPhone& phone, SessionConsole& console) override;
    QCoro::Task<Step<bool>> open(ViewedPhone phone, LocalPair pair,
                                 SessionConsole& console) override;
    void cancel() override;

private:
    ViewerLauncher& launcher_;
    QString chosenViewer_;
};

} // namespace ostrel
