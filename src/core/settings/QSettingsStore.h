// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/settings/SessionSettings.h"

#include <QSettings>
#include <QString>

namespace ostrel {

// The settings in a file on disk, the one place where their keys are spelt:
// "adb", "viewer", "viewIn", "windowGeometry" and "phones/<SHA-1 of the serial>/vncPort".
// Every call opens the file anew, so that two stores on one file agree.
class QSettingsStore final : public SessionSettings {
public:
    // The program's own file, wherever the platform keeps this user's settings.
    QSettingsStore() = default;
    // A file of the caller's, in the INI format.
    explicit QSettingsStore(QString iniFile);

    QString chosenAdb() const override;
    QString storeChosenAdb(const QString& path) override;
    QString chosenViewer() const override;
    QString storeChosenViewer(const QString& path) override;
    std::optional<ViewPlace> chosenViewPlace() const override;
    QString storeViewPlace(ViewPlace place) override;
    std::optional<TcpPort> rememberedVncPort(const QString& serial) const override;
    QString rememberVncPort(const QString& serial, TcpPort port) override;
    QByteArray windowGeometry() const override;
    void rememberWindowGeometry(const QByteArray& geometry) override;

    // Where the file is.
    QString fileName() const;

private:
    QSettings open() const;
    QString store(const QString& key, const QVariant& value);

    QString iniFile_; // empty: the platform's place
};

} // namespace ostrel
