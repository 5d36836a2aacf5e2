// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/server/AdbServerAddress.h"

#include <QProcessEnvironment>
#include <QTest>

using namespace ostrel;

namespace {

QProcessEnvironment environmentOf(const QStringList& variables) {
    QProcessEnvironment environment;
    for (const QString& variable : variables) {
        const qsizetype equals = variable.indexOf(u'=');
        environment.insert(variable.first(equals), variable.sliced(equals + 1));
    }
    return environment;
}

QString described(const std::optional<AdbServerAddress>& address) {
    return address ? address->host + u'|' + QString::number(address->port) : QStringLiteral("none");
}

} // namespace

class AdbServerAddressTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheAddressAsAdbDoes_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("address");
        QTest::newRow("nothing set") << QStringList{} << "127.0.0.1|5037";
        QTest::newRow("port") << QStringList{"ANDROID_ADB_SERVER_PORT=15037"} << "127.0.0.1|15037";
        QTest::newRow("address and port")
            << QStringList{"ANDROID_ADB_SERVER_ADDRESS=192.168.1.5", "ANDROID_ADB_SERVER_PORT=6000"}
            << "192.168.1.5|6000";
        QTest::newRow("lowest port") << QStringList{"ANDROID_ADB_SERVER_PORT=1"} << "127.0.0.1|1";
        QTest::newRow("highest port")
            << QStringList{"ANDROID_ADB_SERVER_PORT=65535"} << "127.0.0.1|65535";
        QTest::newRow("empty variables count as unset")
            << QStringList{"ADB_SERVER_SOCKET=", "ANDROID_ADB_SERVER_ADDRESS=",
                           "ANDROID_ADB_SERVER_PORT="}
            << "127.0.0.1|5037";
        QTest::newRow("socket with a port wins over both")
            << QStringList{"ADB_SERVER_SOCKET=tcp:6001", "ANDROID_ADB_SERVER_ADDRESS=10.0.0.9",
                           "ANDROID_ADB_SERVER_PORT=6002"}
            << "127.0.0.1|6001";
        QTest::newRow("socket with host and port")
            << QStringList{"ADB_SERVER_SOCKET=tcp:10.0.0.2:6000"} << "10.0.0.2|6000";
        QTest::newRow("socket with a host name")
            << QStringList{"ADB_SERVER_SOCKET=tcp:localhost:5037"} << "localhost|5037";
        QTest::newRow("socket with bracketed IPv6")
            << QStringList{"ADB_SERVER_SOCKET=tcp:[::1]:5038"} << "::1|5038";
    }
    void readsTheAddressAsAdbDoes() {
        QFETCH(QStringList, environment);
        QFETCH(QString, address);
        QCOMPARE(described(AdbServerAddress::fromEnvironment(environmentOf(environment))), address);
    }

    // A server named where the program cannot reach it is no address at all:
    // never the default one in its place.
    void unusableAddressesAreNone_data() {
        QTest::addColumn<QStringList>("environment");
        for (const char* port : {"0", "65536", "abc", "5037x", " 5037", "-1", "+5037", "0x13ad"})
            QTest::addRow("port \"%s\"", port)
                << QStringList{QStringLiteral("ANDROID_ADB_SERVER_PORT=") + port};
        for (const char* socket :
             {"localabstract:adb", "local:/tmp/adb.sock", "vsock:2:5037", "tcp:", "tcp:abc",
              "tcp:0", "tcp:65536", "tcp:host:", "tcp::5037", "tcp:::1:5037", "tcp:[::1:5037",
              "tcp:[]:5037", "TCP:5037", "5037"})
            QTest::addRow("socket \"%s\"", socket)
                << QStringList{QStringLiteral("ADB_SERVER_SOCKET=") + socket};
        QTest::newRow("an unusable socket is not passed over for the port")
            << QStringList{"ADB_SERVER_SOCKET=localabstract:adb", "ANDROID_ADB_SERVER_PORT=5037"};
    }
    void unusableAddressesAreNone() {
        QFETCH(QStringList, environment);
        QCOMPARE(described(AdbServerAddress::fromEnvironment(environmentOf(environment))),
                 QStringLiteral("none"));
    }
};

QTEST_GUILESS_MAIN(AdbServerAddressTest)
#include "test_adb_server_address.moc"
