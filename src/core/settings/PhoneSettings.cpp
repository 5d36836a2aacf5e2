#include "core/settings/PhoneSettings.h"

#include "core/device/PortText.h"
#include "core/settings/ProgramSettings.h"

#include <QCryptographicHash>
#include <QSettings>
#include <QVariant>

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString VncPortName = u"vncPort"_s;
const QString ViewerKey = u"viewer"_s;

QString writeFailure(const QSettings& settings) {
    if (settings.status() == QSettings::NoError)
        return {};
    return settings.status() == QSettings::AccessError
               ? u"%1 could not be written"_s.arg(settings.fileName())
               : u"%1 is not a valid settings file"_s.arg(settings.fileName());
}

} // namespace

QString phoneSettingsGroup(const QString& serial) {
    const QByteArray digest = QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha1);
    return u"phones/"_s + QString::fromLatin1(digest.toHex());
}

std::optional<TcpPort> rememberedVncPort(const QString& serial) {
    const QVariant stored =
        programSettings().value(phoneSettingsGroup(serial) + u'/' + VncPortName);
    // A list or a map reads as an empty string, which is no port either.
    return portNumber(stored.toString());
}

QString rememberVncPort(const QString& serial, TcpPort port) {
    QSettings settings = programSettings();
    settings.setValue(phoneSettingsGroup(serial) + u'/' + VncPortName, int{port.number()});
    settings.sync();
    return writeFailure(settings);
}

QString chosenViewerSetting() {
    return programSettings().value(ViewerKey).toString();
}

QString storeChosenViewer(const QString& path) {
    QSettings settings = programSettings();
    if (path.isEmpty())
        settings.remove(ViewerKey);
    else
        settings.setValue(ViewerKey, path);
    settings.sync();
    return writeFailure(settings);
}

} // namespace ostrel
