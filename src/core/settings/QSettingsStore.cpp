// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/QSettingsStore.h"

#include "core/ProgramIdentity.h"
#include "core/device/PortText.h"
#include "core/settings/PhoneSettings.h"

#include <QVariant>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString AdbKey = u"adb"_s;
const QString ViewerKey = u"viewer"_s;
const QString ViewPlaceKey = u"viewIn"_s;
const QString ThisProgramValue = u"thisProgram"_s;
const QString AnotherViewerValue = u"anotherViewer"_s;
const QString GeometryKey = u"windowGeometry"_s;
const QString VncPortName = u"vncPort"_s;

QString vncPortKey(const QString& serial) {
    return phoneSettingsGroup(serial) + u'/' + VncPortName;
}

QString writeFailure(const QSettings& settings) {
    if (settings.status() == QSettings::NoError)
        return {};
    return settings.status() == QSettings::AccessError
               ? u"%1 could not be written"_s.arg(settings.fileName())
               : u"%1 is not a valid settings file"_s.arg(settings.fileName());
}

} // namespace

QSettingsStore::QSettingsStore(QString iniFile) : iniFile_(std::move(iniFile)) {}

QSettings QSettingsStore::open() const {
    if (iniFile_.isEmpty())
        return QSettings(OrganizationName, ProgramName);
    return QSettings(iniFile_, QSettings::IniFormat);
}

QString QSettingsStore::fileName() const {
    return open().fileName();
}

// A null value removes the key.
QString QSettingsStore::store(const QString& key, const QVariant& value) {
    QSettings settings = open();
    if (value.isNull())
        settings.remove(key);
    else
        settings.setValue(key, value);
    settings.sync();
    return writeFailure(settings);
}

QString QSettingsStore::chosenAdb() const {
    return open().value(AdbKey).toString();
}

QString QSettingsStore::storeChosenAdb(const QString& path) {
    return store(AdbKey, QVariant(path));
}

QString QSettingsStore::chosenViewer() const {
    return open().value(ViewerKey).toString();
}

QString QSettingsStore::storeChosenViewer(const QString& path) {
    return store(ViewerKey, path.isEmpty() ? QVariant() : QVariant(path));
}

std::optional<ViewPlace> QSettingsStore::chosenViewPlace() const {
    // Anything else, a hand-edited word or a list, is no choice.
    const QVariant stored = open().value(ViewPlaceKey);
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString value = stored.toString();
    if (value == ThisProgramValue)
        return ViewPlace::ThisProgram;
    if (value == AnotherViewerValue)
        return ViewPlace::AnotherViewer;
    return std::nullopt;
}

QString QSettingsStore::storeViewPlace(ViewPlace place) {
    return store(ViewPlaceKey,
                 place == ViewPlace::ThisProgram ? ThisProgramValue : AnotherViewerValue);
}

std::optional<TcpPort> QSettingsStore::rememberedVncPort(const QString& serial) const {
    // A list or a map reads as an empty string, which is no port either.
    return portNumber(open().value(vncPortKey(serial)).toString());
}

QString QSettingsStore::rememberVncPort(const QString& serial, TcpPort port) {
    return store(vncPortKey(serial), int{port.number()});
}

QByteArray QSettingsStore::windowGeometry() const {
    return open().value(GeometryKey).toByteArray();
}

void QSettingsStore::rememberWindowGeometry(const QByteArray& geometry) {
    open().setValue(GeometryKey, geometry);
}

} // namespace ostrel
