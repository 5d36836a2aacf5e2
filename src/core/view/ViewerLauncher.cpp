// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/ViewerLauncher.h"

#include "core/PlatformTexts.h"
#include "core/session/SessionConsole.h"
#include "core/text/VisibleText.h"
#include "core/view/ViewerTrials.h"

#include <QCoro/QCoroTask>
#include <QFileInfo>
#include <QUrl>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

// A server's first display is 5900 on the display-numbered syntax.
constexpr int FirstDisplayPort = 5900;

QString vncAddress(TcpPort port) {
    return u"vnc://localhost:%1"_s.arg(port.number());
}

} // namespace

DesktopKind currentDesktopKind() {
    return currentPlatform() == Platform::MacOS ? DesktopKind::MacOS : DesktopKind::Freedesktop;
}

QStringList knownViewerNames() {
    return {u"xtigervncviewer"_s, u"vncviewer"_s, u"krdc"_s, u"gvncviewer"_s, u"remmina"_s};
}

QStringList viewerArguments(const QString& viewerName, TcpPort port) {
    if (viewerName == u"xtigervncviewer"_s || viewerName == u"vncviewer"_s)
        return {
            u"localhost::%1"_s.arg(port.number())}; // a double colon names a port, not a display
    if (viewerName == u"gvncviewer"_s) {
        if (port.number() < FirstDisplayPort)
            return {};
        return {u"localhost:%1"_s.arg(port.number() - FirstDisplayPort)};
    }
    return {vncAddress(port)};
}

ViewerLauncher::ViewerLauncher(ViewerTrials& trials, DesktopKind desktop, QObject* parent)
    : QObject(parent), trials_(trials), desktop_(desktop) {}

void ViewerLauncher::cancel() {
    trials_.cancel();
}

QCoro::Task<Step<bool>> ViewerLauncher::open(LocalPair pair, QString chosenViewer,
                                             SessionConsole& console) {
    QList<Candidate> candidates;
    if (!chosenViewer.isEmpty()) {
        // The setting may have been edited by anything: only a file that can
        // be run is run.
        const QFileInfo chosen(chosenViewer);
        if (chosen.isFile() && chosen.isExecutable()) {
            const QString name = chosen.fileName();
            const QStringList arguments = knownViewerNames().contains(name)
                                              ? viewerArguments(name, pair.vnc)
                                              : QStringList{vncAddress(pair.vnc)};
            if (!arguments.isEmpty())
                candidates.append(
                    Candidate{name, chosen.absoluteFilePath(), arguments, vncAddress(pair.vnc)});
        } else {
            console.say(u"The chosen viewer %1 is not a program that can be run; trying the "
                        "others.\r\n"_s.arg(visibleText(chosenViewer)),
                        MessageKind::Failure);
        }
    }
    const Step<QList<Candidate>> handler = co_await desktopHandler(pair.vnc);
    if (!handler.goesOn())
        co_return handler.stopped<bool>();
    candidates += handler.value;
    for (const QString& name : knownViewerNames()) {
        const QString program = trials_.find(name);
        const QStringList arguments = viewerArguments(name, pair.vnc);
        if (!program.isEmpty() && !arguments.isEmpty())
            candidates.append(Candidate{name, program, arguments, vncAddress(pair.vnc)});
    }
    if (pair.web) {
        const QString opener =
            trials_.find(desktop_ == DesktopKind::MacOS ? u"open"_s : u"xdg-open"_s);
        const QString address = u"http://localhost:%1/"_s.arg(pair.web->number());
        if (!opener.isEmpty())
            candidates.append(
                Candidate{u"the web browser"_s, opener, QStringList{address}, address});
    }

    for (const Candidate& candidate : std::as_const(candidates)) {
        const ViewerTrial trial =
            co_await trials_.tryViewer(candidate.program, candidate.arguments);
        if (trial.outcome == ViewerTrial::Outcome::Cancelled)
            co_return Step<bool>{FlowStep::Cancelled, false};
        if (trial.outcome == ViewerTrial::Outcome::Works) {
            console.say(u"Opened with %1: "_s.arg(visibleText(candidate.name)));
            console.sayLink(candidate.address + u"\r\n\r\n"_s, QUrl(candidate.address),
                            MessageKind::Progress);
            co_return goOn(true);
        }
        console.say(u"%1 did not work (%2); trying the next viewer.\r\n"_s.arg(
                        visibleText(candidate.name), visibleText(trial.why)),
                    MessageKind::Failure);
    }
    console.say(u"Error: no viewer could be opened. Choose one with File > Choose VNC "
                "Viewer, or open this address in yours: "_s,
                MessageKind::Failure);
    console.sayLink(vncAddress(pair.vnc) + u"\r\n\r\n"_s, QUrl(vncAddress(pair.vnc)),
                    MessageKind::Failure);
    co_return goOn(false);
}

// Linux desktops open vnc:// addresses only when some application has said
// it takes them, which few viewers do: without one, the opener only shows an
// error of its own, so it is not tried.
QCoro::Task<Step<QList<ViewerLauncher::Candidate>>> ViewerLauncher::desktopHandler(TcpPort port) {
    const QString address = vncAddress(port);
    if (desktop_ == DesktopKind::MacOS) {
        const QString opener = trials_.find(u"open"_s);
        if (opener.isEmpty())
            co_return goOn(QList<Candidate>{});
        const Candidate screenSharing{u"the desktop's VNC viewer"_s, opener, QStringList{address},
                                      address};
        co_return goOn(QList<Candidate>{screenSharing});
    }
    const QString query = trials_.find(u"xdg-mime"_s);
    const QString opener = trials_.find(u"xdg-open"_s);
    if (query.isEmpty() || opener.isEmpty())
        co_return goOn(QList<Candidate>{});
    const QStringList question{u"query"_s, u"default"_s, u"x-scheme-handler/vnc"_s};
    const AdbRun answer = co_await trials_.ask(query, question);
    if (answer.status == AdbRun::Status::Cancelled)
        co_return Step<QList<Candidate>>{FlowStep::Cancelled, {}};
    const QString handler = QString::fromUtf8(answer.standardOutput).trimmed();
    if (!answer.succeeded() || handler.isEmpty())
        co_return goOn(QList<Candidate>{});
    const Candidate desktopHandler{u"%1 (the desktop's handler for vnc://)"_s.arg(handler), opener,
                                   QStringList{address}, address};
    co_return goOn(QList<Candidate>{desktopHandler});
}

} // namespace ostrel
