// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PlatformTexts.h"

#include <QTest>

using namespace ostrel;

Q_DECLARE_METATYPE(ostrel::Platform)

class PlatformTextsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void namesTheComputerAndItsViewer_data() {
        QTest::addColumn<Platform>("platform");
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("viewer");
        QTest::newRow("macOS") << Platform::MacOS << "this Mac"
                               << "Mac's built-in VNC Viewer";
        QTest::newRow("any other") << Platform::Other << "this computer"
                                   << "a VNC viewer";
    }
    void namesTheComputerAndItsViewer() {
        QFETCH(Platform, platform);
        QFETCH(QString, computer);
        QFETCH(QString, viewer);
        const PlatformTexts texts = platformTexts(platform);
        QCOMPARE(texts.thisComputer, computer);
        QCOMPARE(texts.builtInViewer, viewer);
    }

    // A Linux build must never speak of a Mac.
    void theBuildSpeaksForItsOwnPlatform() {
#ifdef Q_OS_MACOS
        const Platform expected = Platform::MacOS;
#else
        const Platform expected = Platform::Other;
#endif
        QCOMPARE(currentPlatform(), expected);
        QCOMPARE(thisComputer(), platformTexts(expected).thisComputer);
        QCOMPARE(builtInViewer(), platformTexts(expected).builtInViewer);
    }
};

QTEST_GUILESS_MAIN(PlatformTextsTest)
#include "test_platform_texts.moc"
