// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/ProgramSession.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

namespace ostrel::e2e {

// The scope's own server, which the program's adb commands reach too.
ProgramSession::ProgramSession(Waits waits, bool followServer, ViewerTrials* viewers)
    : program_(std::make_unique<test::ControllerFixture>(
          waits, QUrl(QStringLiteral("http://127.0.0.1:9")), true, nullptr, scopeServer(),
          followServer, viewers)) {
    // The start-up instructions would only pad every console comparison.
    program_->controller->onClearButtonClicked();
}

AdbServerAddress ProgramSession::scopeServer() const {
    return AdbServerAddress{QStringLiteral("127.0.0.1"), scope_.serverPort()};
}

ProgramSession::~ProgramSession() {
    program_.reset();
    phones_.clear();
}

SimulatedPhone* ProgramSession::attachPhone(const PhoneScenario& scenario, const QString& state,
                                            QString* error) {
    if (!scope_.problem().isEmpty()) {
        if (error)
            *error = scope_.problem();
        return nullptr;
    }
    SimulatedPhone& phone = phones_.emplace_back();
    if (!phone.start(scenario, error))
        return nullptr;
    if (!scope_.connect(phone, state, error))
        return nullptr;
    return &phone;
}

// A click only starts a flow; the scenarios read what it left once it is over.
void ProgramSession::waitForTheFlow() {
    if (!QTest::qWaitFor([this] { return !program_->flowRunning(); }, 120000))
        qWarning("the flow was still running after two minutes");
}

void ProgramSession::choose(const QString& serial) {
    QComboBox* list = program_->window->ui.deviceListComboBox;
    const auto listed = [this, list, &serial] {
        return list->findData(serial) >= 0 && !program_->flowRunning();
    };
    if (!QTest::qWaitFor(listed, 10000)) {
        qWarning("%s was not listed after ten seconds", qUtf8Printable(serial));
        return;
    }
    const int target = list->findData(serial);
    for (int before = -2; list->currentIndex() != target && list->currentIndex() != before;) {
        before = list->currentIndex();
        QTest::keyClick(list, before < target ? Qt::Key_Down : Qt::Key_Up);
        waitForTheFlow();
    }
}

void ProgramSession::clickStart() {
    QTest::mouseClick(program_->window->ui.startButton, Qt::LeftButton);
    waitForTheFlow();
}

void ProgramSession::usbConnect(const QString& portText) {
    program_->desktop.answerAlert = [portText](const Alert& alert) {
        if (auto* field = qobject_cast<QLineEdit*>(alert.accessory))
            field->setText(portText);
        return 1;
    };
    QTest::mouseClick(program_->window->ui.usbConnectButton, Qt::LeftButton);
    waitForTheFlow();
}

void ProgramSession::triggerQuit() {
    program_->window->ui.actionQuit->trigger();
    // The program ends once adb's server has answered about its forwards.
    if (!QTest::qWaitFor([this] { return program_->desktop.quitCount > 0; }, 5000))
        qWarning("the program had not quit five seconds after Quit");
}

QStringList ProgramSession::deviceItems() const {
    const QComboBox* list = program_->window->ui.deviceListComboBox;
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

QStringList ProgramSession::listedSerials() const {
    const QComboBox* list = program_->window->ui.deviceListComboBox;
    QStringList serials;
    for (int i = 0; i < list->count(); ++i) {
        if (const QString serial = list->itemData(i).toString(); !serial.isEmpty())
            serials << serial;
    }
    return serials;
}

QString ProgramSession::selectedSerial() const {
    return program_->window->ui.deviceListComboBox->currentData().toString();
}

qint64 ProgramSession::waitForListing(const QString& serial, bool listed, int limitMs) {
    QElapsedTimer waited;
    waited.start();
    if (!QTest::qWaitFor([&] { return listedSerials().contains(serial) == listed; }, limitMs))
        return -1;
    const qint64 shown = waited.elapsed();
    // Whatever the change set off (a probe) ends before the scenario goes on.
    if (!QTest::qWaitFor([this] { return !program_->flowRunning(); }, limitMs))
        return -1;
    return shown;
}

QString ProgramSession::buttonTitle() const {
    return program_->window->ui.startButton->text();
}

QString ProgramSession::statusText() const {
    return program_->window->ui.statusLabel->text();
}

QString ProgramSession::console() const {
    return program_->consoleText();
}

QStringList ProgramSession::linkTargets() const {
    QStringList targets;
    const QTextDocument* document = program_->window->ui.textView->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor())
                targets << format.anchorHref();
        }
    }
    return targets;
}

QString ProgramSession::story() const {
    QString text = QStringLiteral("--- console\n") + console();
    text += QStringLiteral("\n--- adb server log\n") + scope_.serverLog();
    for (const SimulatedPhone& phone : phones_)
        text += QStringLiteral("\n--- phone %1\n").arg(phone.serial()) + phone.diagnostics();
    return text;
}

QString whyNotTheRealAdb(const ProgramSession& session) {
    const QString chosen = session.program().controller->adbChooser().adbInEffect();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("adb"));
    if (onPath.isEmpty())
        return QStringLiteral("there is no adb on PATH");
    if (chosen != onPath)
        return QStringLiteral("the program runs %1, not %2 from PATH").arg(chosen, onPath);
    const AdbOutput version = session.scope().run({QStringLiteral("version")});
    if (!version.standardOutput.startsWith("Android Debug Bridge version"))
        return QStringLiteral("%1 is no real adb: %2")
            .arg(chosen, QString::fromUtf8(version.standardOutput + version.standardError));
    return {};
}

QStringList onPhone(const QStringList& adbArguments) {
    return adbArguments.mid(1);
}

} // namespace ostrel::e2e
