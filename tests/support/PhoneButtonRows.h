// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/PhoneButtons.h"

#include <QtTest>

Q_DECLARE_METATYPE(ostrel::PhoneButton)

// The phone's buttons and the key event each must send, written out here
// rather than taken from the program, as rows of a test's table.
inline void addPhoneButtonRows() {
    QTest::addColumn<ostrel::PhoneButton>("button");
    QTest::addColumn<int>("code");
    QTest::newRow("Back") << ostrel::PhoneButton::Back << 4;
    QTest::newRow("Home") << ostrel::PhoneButton::Home << 3;
    QTest::newRow("Recents") << ostrel::PhoneButton::Recents << 187;
    QTest::newRow("Power") << ostrel::PhoneButton::Power << 26;
    QTest::newRow("Volume up") << ostrel::PhoneButton::VolumeUp << 24;
    QTest::newRow("Volume down") << ostrel::PhoneButton::VolumeDown << 25;
}
