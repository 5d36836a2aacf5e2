// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"
#include "core/session/FlowOutcome.h"
#include "core/session/PortForwarder.h"

#include <QCoro/QCoroFwd>
#include <QObject>
#include <QString>
#include <QStringList>

namespace ostrel {

class SessionConsole;
class ViewerTrials;

// Which desktop's ways of opening an address apply.
enum class DesktopKind { Freedesktop, MacOS };
DesktopKind currentDesktopKind();

// How a known viewer is given the address of localhost:PORT; empty when that
// viewer cannot reach PORT.
QStringList viewerArguments(const QString& viewerName, TcpPort port);
// The viewers looked for on the search path, in the order they are tried.
QStringList knownViewerNames();

// Opens the first viewer that works on a local pair: the user's chosen one,
// the desktop's handler for vnc:// addresses, a known viewer, and last the
// server's web client in the desktop's browser. Says in the console what was
// opened, and why each one before it was passed over.
class ViewerLauncher : public QObject {
    Q_OBJECT

public:
    ViewerLauncher(ViewerTrials& trials, DesktopKind desktop = currentDesktopKind(),
                   QObject* parent = nullptr);

    // `chosenViewer` is the setting as stored: it may name anything.
    // Goes on with true when something was opened.
    QCoro::Task<Step<bool>> open(LocalPair pair, QString chosenViewer, SessionConsole& console);
    void cancel();

private:
    struct Candidate {
        QString name; // as the console names it
        QString program;
        QStringList arguments;
        QString address; // shown as the link
    };
    QCoro::Task<Step<QList<Candidate>>> desktopHandler(TcpPort port);

    ViewerTrials& trials_;
    DesktopKind desktop_;
};

} // namespace ostrel
