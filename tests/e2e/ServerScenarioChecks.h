// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the server scenarios check a session and a phone's log against.
#include "e2e/ProgramSession.h"
#include "support/PhoneCommands.h"

#include <QComboBox>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace ostrel::e2e {

using namespace ostrel::test::phone;

inline QString listingOf(const QStringList& deviceLines) {
    QString text = QStringLiteral("Checking Android devices...\nList of devices attached\n");
    for (const QString& line : deviceLines)
        text += line + QLatin1Char('\n');
    return text + QLatin1Char('\n');
}

inline QString listingOf(const SimulatedPhone& phone,
                         const QString& state = QStringLiteral("device")) {
    return listingOf({phone.serial() + QLatin1Char('\t') + state});
}

// Whether the phone saw a start that launched the server: exactly
// `launchAndPresence` (the probe's listing once a path is known, the launch
// of each package tried, the presence checks), then the server once and the
// listings that look for it, the last of which found it. A listing may reach
// the phone before the server does, since the server is launched without
// waiting for it; only that interleaving is allowed.
inline bool isStartOf(QList<QStringList> log, const QList<QStringList>& launchAndPresence,
                      const QString& package) {
    if (log.mid(0, launchAndPresence.size()) != launchAndPresence)
        return false;
    log = log.mid(launchAndPresence.size());
    if (log.count(onPhone(runServer(package))) != 1 || log.isEmpty() ||
        log.last() != onPhone(processList()))
        return false;
    log.removeAll(onPhone(runServer(package)));
    return log.count(onPhone(processList())) == log.size();
}

inline QString describe(const QList<QStringList>& log) {
    QStringList lines;
    for (const QStringList& command : log)
        lines << command.join(QLatin1Char(' '));
    return lines.join(QLatin1Char('\n'));
}

inline bool listsServer(ProgramSession& session, const SimulatedPhone& phone) {
    return session.scope()
        .shell(phone, {QStringLiteral("ps")})
        .standardOutput.contains("ostrelvncserver");
}

// The server's pid as the phone's own process listing gives it; 0 if none.
inline int serverPid(ProgramSession& session, const SimulatedPhone& phone) {
    const QList<QByteArray> lines =
        session.scope().shell(phone, {QStringLiteral("ps")}).standardOutput.split('\n');
    for (const QByteArray& line : lines) {
        if (line.contains("ostrelvncserver"))
            return line.simplified().split(' ').value(1).toInt();
    }
    return 0;
}

// The window's device list: each item's text and whether it can be chosen.
inline QList<std::pair<QString, bool>> shownDevices(const QComboBox* list) {
    QList<std::pair<QString, bool>> items;
    for (int row = 0; row < list->count(); ++row) {
        const Qt::ItemFlags flags = list->model()->flags(list->model()->index(row, 0));
        items.append({list->itemText(row), flags.testFlag(Qt::ItemIsEnabled)});
    }
    return items;
}

// Puts the keyboard focus where a user's Tab would have.
inline bool focusOn(QWidget* widget) {
    widget->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(widget->window()))
        return false;
    widget->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([widget] { return widget->hasFocus(); });
}

} // namespace ostrel::e2e
