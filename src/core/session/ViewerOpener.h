// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/FlowOutcome.h"
#include "core/session/PortForwarder.h"

#include <QCoro/QCoroFwd>
#include <QString>

namespace ostrel {

class SessionConsole;

// The phone View shows: its serial, and its name as the device list shows it.
struct ViewedPhone {
    QString serial;
    QString name;
};

// What View ends in: something that shows a phone's screen, reached through
// the local pair whose greeting was read. Says in the console what it opened.
class ViewerOpener {
public:
    virtual ~ViewerOpener() = default;

    // Brings the view of `phone` that is open already to the front, before
    // anything is started or forwarded for it; false when none is open.
    virtual bool raiseOpenView(const ViewedPhone& phone, SessionConsole& console) = 0;
    // Goes on with true when a view opened.
    virtual QCoro::Task<Step<bool>> open(ViewedPhone phone, LocalPair pair,
                                         SessionConsole& console) = 0;
    // Ends an open() under way, without a word.
    virtual void cancel() = 0;
};

} // namespace ostrel
