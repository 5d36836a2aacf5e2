// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings/SessionSettings.h"

#include <QHash>

namespace ostrel::test {

// Settings that live as long as the test: nothing on disk, nothing shared with
// another test. A store fails, with `refusal` for its reason, while one is set.
class MemorySettings final : public SessionSettings {
public:
    QString chosenAdb() const override { return adb; }
    QString storeChosenAdb(const QString& path) override { return keep(adb, path); }
    QString chosenViewer() const override { return viewer; }
    QString storeChosenViewer(const QString& path) override { return keep(viewer, path); }
    std::optional<ViewPlace> chosenViewPlace() const override { return viewPlace; }
    QString storeViewPlace(ViewPlace place) override {
        if (refusal.isEmpty())
            viewPlace = place;
        return refusal;
    }
    std::optional<TcpPort> rememberedVncPort(const QString& serial) const override {
        const auto found = vncPorts.constFind(serial);
        return found == vncPorts.cend() ? std::nullopt : std::optional<TcpPort>(*found);
    }
    QString rememberVncPort(const QString& serial, TcpPort port) override {
        if (refusal.isEmpty())
            vncPorts.insert(serial, port);
        return refusal;
    }
    QByteArray windowGeometry() const override { return geometry; }
    void rememberWindowGeometry(const QByteArray& saved) override { geometry = saved; }

    QString adb;
    QString viewer;
    std::optional<ViewPlace> viewPlace;
    QHash<QString, TcpPort> vncPorts;
    QByteArray geometry;
    QString refusal;

private:
    QString keep(QString& setting, const QString& value) const {
        if (refusal.isEmpty())
            setting = value;
        return refusal;
    }
};

} // namespace ostrel::test
