// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/device/TcpPort.h"
#include "core/settings/ViewPlace.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrel {

// What the program remembers from one run to the next: the adb and the viewer
// the user chose, where View shows a screen, each phone's VNC port, and where the window was. Given
// to whatever needs it, so that a test hands over one of its own and nothing reaches for the user's
// file behind its back. Each call that keeps a choice or a port returns why it could not, or an
// empty string; the window's place is kept without a word.
class SessionSettings {
public:
    virtual ~SessionSettings() = default;

    // The adb the user chose, as stored; empty when none was.
    virtual QString chosenAdb() const = 0;
    virtual QString storeChosenAdb(const QString& path) = 0;

    // The viewer the user chose; empty when none was.
    virtual QString chosenViewer() const = 0;
    // An empty path forgets the choice.
    virtual QString storeChosenViewer(const QString& path) = 0;

    // Where View shows a screen, as the user chose it; nothing when no
    // choice was stored, or what is stored is none (viewPlaceOf() decides then).
    virtual std::optional<ViewPlace> chosenViewPlace() const = 0;
    virtual QString storeViewPlace(ViewPlace place) = 0;

    // The VNC port the user last gave for this phone; nothing when none was
    // given, or when what is stored is no port.
    virtual std::optional<TcpPort> rememberedVncPort(const QString& serial) const = 0;
    virtual QString rememberVncPort(const QString& serial, TcpPort port) = 0;

    // The window's place and size as the window saved them; empty when none.
    virtual QByteArray windowGeometry() const = 0;
    virtual void rememberWindowGeometry(const QByteArray& geometry) = 0;
};

} // namespace ostrel
