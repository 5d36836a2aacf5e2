// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/update/UpdateReply.h"

#include <QTest>

using namespace ostrel;

namespace {

QByteArray replyOfSize(qsizetype size) {
    // A valid reply padded with an ignored third field.
    QByteArray reply = "1.1,http://a.example/d,";
    return reply + QByteArray(size - reply.size(), 'x');
}

} // namespace

class TestUpdateReply : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void judgesReplyAgainstOwnVersion_data();
    void judgesReplyAgainstOwnVersion();
    void offersWhatItShows_data();
    void offersWhatItShows();
};

void TestUpdateReply::judgesReplyAgainstOwnVersion_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("ownVersion");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("address");

    const QString a = QStringLiteral("http://a.example/d");
    QTest::newRow("newer") << QByteArray("1.1,http://a.example/d") << "1.0" << 0 << a;
    QTest::newRow("same") << QByteArray("1.1,http://a.example/d") << "1.1" << 1 << a;
    QTest::newRow("older on server") << QByteArray("1.0,http://a.example/d") << "1.1" << 1 << a;
    QTest::newRow("case ignored") << QByteArray("1.0B,http://a.example/d") << "1.0b" << 1 << a;
    // Case-sensitively 'B' sorts before 'a'; ignoring case it sorts after.
    QTest::newRow("case ignored, newer")
        << QByteArray("1.0B,http://a.example/d") << "1.0a" << 0 << a;
    QTest::newRow("textual 1.9 vs 1.10")
        << QByteArray("1.10,http://a.example/d") << "1.9" << 1 << a;
    QTest::newRow("textual 1.10 vs 1.9")
        << QByteArray("1.9,http://a.example/d") << "1.10" << 0 << a;
    QTest::newRow("third field ignored")
        << QByteArray("1.1,http://a.example/d,x") << "1.0" << 0 << a;
    QTest::newRow("no comma") << QByteArray("1.1") << "1.0" << -1 << QString();
    QTest::newRow("empty body") << QByteArray() << "1.0" << -1 << QString();
    QTest::newRow("empty first field") << QByteArray(",http://a.example/d") << "1.0" << 1 << a;
    QTest::newRow("line end kept")
        << QByteArray("1.1,http://a.example/d\r\n") << "1.0" << 0 << "http://a.example/d\r\n";
    // A leading space sorts before every digit, so the server's version is older.
    QTest::newRow("space kept") << QByteArray(" 1.1,http://a.example/d") << "1.0" << 1 << a;
    QTest::newRow("no own version") << QByteArray("9.9,http://a.example/d") << "" << 1 << a;
    QTest::newRow("no own version, empty field") << QByteArray(",x") << "" << 1 << "x";
    QTest::newRow("utf-8 address") << QByteArray("1.1,http://a.example/\xc3\xa9") << "1.0" << 0
                                   << QString::fromUtf8("http://a.example/\xc3\xa9");
    QTest::newRow("invalid utf-8")
        << QByteArray("1.1,http://a.example/\xff") << "1.0" << -1 << QString();
    QTest::newRow("truncated utf-8")
        << QByteArray("1.1,http://a.example/\xc3") << "1.0" << -1 << QString();
    QTest::newRow("64 KiB") << replyOfSize(MaxUpdateReplyBytes) << "1.0" << 0 << a;
    QTest::newRow("64 KiB and one byte")
        << replyOfSize(MaxUpdateReplyBytes + 1) << "1.0" << -1 << QString();
}

void TestUpdateReply::judgesReplyAgainstOwnVersion() {
    QFETCH(QByteArray, body);
    QFETCH(QString, ownVersion);
    QFETCH(int, result);
    QFETCH(QString, address);

    const UpdateVerdict verdict = judgeUpdateReply(body, ownVersion);
    QCOMPARE(verdict.result, result);
    QCOMPARE(verdict.downloadAddress, address);
    // Only an unreadable reply is the site's fault, and it says so.
    QCOMPARE(verdict.failure == UpdateFailure::NotUnderstood, result == UpdateResult::Failed);
    QCOMPARE(verdict.failureText.isEmpty(), result != UpdateResult::Failed);
}

void TestUpdateReply::offersWhatItShows_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("link");

    QTest::newRow("plain https") << "https://a.example/dl/app-1.1.dmg"
                                 << "https://a.example/dl/app-1.1.dmg" << true;
    QTest::newRow("scheme and host in capitals") << "HTTP://A.Example/d"
                                                 << "http://a.example/d" << true;
    QTest::newRow("override in the path") << QStringLiteral("https://a.example/dl/\u202Egnp.exe")
                                          << "https://a.example/dl/%E2%80%AEgnp.exe" << true;
    QTest::newRow("override already encoded") << "https://a.example/dl/%E2%80%AEgnp.exe"
                                              << "https://a.example/dl/%E2%80%AEgnp.exe" << true;
    // A name that only looks like another is read as the one it is.
    QTest::newRow("international host") << QStringLiteral("https://b\u00fccher.example/d")
                                        << "https://xn--bcher-kva.example/d" << true;
    QTest::newRow("user part kept in sight") << "https://a.example@b.example/"
                                             << "https://a.example@b.example/" << true;
    QTest::newRow("override in the host")
        << QStringLiteral("https://a\u202E.example/") << "https://a<U+202E>.example/" << false;
    QTest::newRow("no host") << "http:dl/x"
                             << "http:dl/x" << false;
    QTest::newRow("file") << "file:///etc/passwd"
                          << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "javascript:alert(1)" << false;
    QTest::newRow("line end") << "http://a.example/d\r\n"
                              << "http://a.example/d\r\n"
                              << false;
    QTest::newRow("controls in plain text")
        << QStringLiteral("ftp://a/\u001B[2J\u202Ex")
        << QStringLiteral("ftp://a/\u241B[2J<U+202E>x") << false;
}

// What the user reads is what a click opens, and only web addresses open.
void TestUpdateReply::offersWhatItShows() {
    QFETCH(QString, address);
    QFETCH(QString, shown);
    QFETCH(bool, link);

    const OfferedDownload offered = offeredDownload(address);
    QCOMPARE(offered.shown, shown);
    QCOMPARE(offered.link.has_value(), link);
    if (offered.link)
        QCOMPARE(offered.link->toString(QUrl::FullyEncoded), offered.shown);
}

QTEST_APPLESS_MAIN(TestUpdateReply)
#include "test_update_reply.moc"
