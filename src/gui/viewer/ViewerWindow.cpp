// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ViewerWindow.h"

#include "core/Waits.h"
#include "core/secrets/PasswordFlow.h"
#include "gui/viewer/CutText.h"
#include "gui/viewer/PasswordDialog.h"
#include "gui/viewer/PhoneToolbar.h"
#include "gui/viewer/ScreenView.h"
#include "gui/viewer/ScreenshotFile.h"
#include "viewer/ScreenPosition.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace ostrel {

namespace {

// Room left around the window on the desktop, for its frame and the panels.
constexpr qreal desktopShare = 0.9;

} // namespace

ViewerWindow::ViewerWindow(const QString& title, const QString& host, quint16 port, QWidget* parent)
    : QWidget(parent), m_host(host), m_port(port), m_view(new ScreenView(this)),
      m_endedRow(new QWidget(this)), m_status(new QLabel(m_endedRow)),
      m_reconnect(new QPushButton(tr("Reconnect"), m_endedRow)),
      m_passwordDialog(new PasswordDialog(this)), m_toolbar(new PhoneToolbar(this)),
      m_notice(new QLabel(this)) {
    setObjectName(QStringLiteral("viewerWindow"));
    setWindowTitle(title);
    m_status->setObjectName(QStringLiteral("viewerStatus"));
    m_reconnect->setObjectName(QStringLiteral("reconnectButton"));
    auto* endedLayout = new QHBoxLayout(m_endedRow);
    endedLayout->addWidget(m_status, 1);
    endedLayout->addWidget(m_reconnect);
    m_notice->setObjectName(QStringLiteral("viewerNotice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    auto* screenRow = new QHBoxLayout;
    screenRow->setSpacing(0);
    screenRow->addWidget(m_view, 1);
    screenRow->addWidget(m_toolbar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(screenRow, 1);
    layout->addWidget(m_notice);
    layout->addWidget(m_endedRow);
    m_endedRow->hide();
    m_notice->hide();
    m_toolbar->hide();
    connect(m_toolbar, &PhoneToolbar::phoneButtonClicked, this, &ViewerWindow::pressPhoneButton);
    connect(m_toolbar, &PhoneToolbar::screenshotClicked, this, &ViewerWindow::saveScreenshot);
    connect(m_toolbar, &PhoneToolbar::pasteClicked, this, &ViewerWindow::paste);
    connect(m_view, &ScreenView::backClicked, this,
            [this] { pressPhoneButton(PhoneButton::Back); });
    auto* pasteShortcut = new QShortcut(QKeySequence::Paste, this);
    connect(pasteShortcut, &QShortcut::activated, this, &ViewerWindow::paste);
    connect(m_reconnect, &QPushButton::clicked, this, &ViewerWindow::connectToServer);
    connect(m_passwordDialog, &PasswordDialog::given, this, &ViewerWindow::givePassword);
    connect(m_passwordDialog, &PasswordDialog::declined, this, [this] {
        if (m_passwordFlow != nullptr)
            m_passwordFlow->declined();
        m_passwordRefused = false;
        endConnection(tr("Not connected: no password was given."));
    });
}

ViewerWindow::~ViewerWindow() {
    retireConnection();
}

void ViewerWindow::setPhone(const QString& serial, CommandRunner& runner, const AdbLookup& adb) {
    m_serial = serial;
    delete m_phoneButtons;
    m_phoneButtons = new PhoneButtons(runner, adb, serial, PhoneButtonLimit, this);
    connect(m_phoneButtons, &PhoneButtons::failed, this, &ViewerWindow::showNotice);
    m_toolbar->show();
    makePasswordFlow();
}

void ViewerWindow::setKeychain(Keychain& keychain) {
    m_keychain = &keychain;
    makePasswordFlow();
}

void ViewerWindow::makePasswordFlow() {
    delete m_passwordFlow;
    m_passwordFlow = nullptr;
    if (m_keychain == nullptr || m_serial.isEmpty())
        return;
    m_passwordFlow = new PasswordFlow(*m_keychain, m_serial, KeychainLimit, this);
    connect(m_passwordFlow, &PasswordFlow::askUser, m_passwordDialog,
            &PasswordDialog::askOfferingToRemember);
    connect(m_passwordFlow, &PasswordFlow::provide, this, [this](const QString& password) {
        if (m_connection != nullptr)
            m_connection->providePassword(password);
    });
    connect(m_passwordFlow, &PasswordFlow::keychainTrouble, this, &ViewerWindow::showNotice);
}

void ViewerWindow::setEncoding(const RfbConnection::Encoding& encoding) {
    m_encoding = encoding;
}

void ViewerWindow::connectToServer() {
    retireConnection();
    hideEnded();
    auto* connection = new RfbConnection(m_host, m_port, this);
    connection->setEncoding(m_encoding);
    follow(connection);
    connection->open();
}

bool ViewerWindow::isShowingScreen() const {
    return m_showing;
}

void ViewerWindow::follow(RfbConnection* connection) {
    m_connection = connection;
    m_view->setConnection(connection);
    connect(connection, &RfbConnection::connected, this, &ViewerWindow::fitToScreen);
    connect(connection, &RfbConnection::sizeChanged, this, &ViewerWindow::fitToScreen);
    connect(connection, &RfbConnection::frameRegionChanged, this, [this] {
        if (!m_showing)
            showFirstFrame();
    });
    connect(connection, &RfbConnection::cursorShapeChanged, m_view, &ScreenView::setCursorShape);
    connect(connection, &RfbConnection::passwordNeeded, this, &ViewerWindow::askPassword);
    // Connected means past the password, if there was one.
    connect(connection, &RfbConnection::connected, this, [this] {
        if (m_passwordFlow != nullptr)
            m_passwordFlow->accepted();
    });
    connect(connection, &RfbConnection::cutTextReceived, this, [](const QByteArray& text) {
        QGuiApplication::clipboard()->setText(cutTextReceived(text));
    });
    connect(connection, &RfbConnection::ended, this, &ViewerWindow::onEnded);
}

// The old connection winds down on its own thread and goes once it has.
void ViewerWindow::retireConnection() {
    m_passwordDialog->hide();
    if (m_passwordFlow != nullptr)
        m_passwordFlow->declined();
    m_showing = false;
    m_view->setConnection(nullptr);
    RfbConnection* connection = m_connection;
    m_connection = nullptr;
    if (connection == nullptr)
        return;
    disconnect(connection, nullptr, this, nullptr);
    disconnect(connection, nullptr, m_view, nullptr);
    connection->close();
    if (connection->isRunning())
        connect(connection, &RfbConnection::stopped, connection, &QObject::deleteLater);
    else
        connection->deleteLater();
}

void ViewerWindow::showFirstFrame() {
    m_showing = true;
    m_passwordRefused = false;
    m_view->setLive(true);
    m_view->setFocus();
    Q_EMIT screenShown();
}

// The window takes the phone's shape when it first shows a screen and when the
// screen changes size (the phone turned); a reconnection to the same screen
// leaves the size the user gave it.
void ViewerWindow::fitToScreen(QSize frameSize) {
    m_view->setFrameSize(frameSize);
    if (frameSize == m_fittedFor)
        return;
    m_fittedFor = frameSize;
    const QScreen* desktop = screen();
    if (desktop == nullptr)
        return;
    const QSize available = desktop->availableGeometry().size() * desktopShare;
    const QSize viewSize = fittedViewSize(frameSize, available, devicePixelRatioF());
    if (viewSize.isEmpty())
        return;
    resize(size() - m_view->size() + viewSize);
}

void ViewerWindow::onEnded(RfbConnection::EndReason reason, const QString& line) {
    // The server closes after a wrong password; a new connection asks again.
    if (reason == RfbConnection::EndReason::PasswordRefused && !m_showing) {
        if (m_passwordFlow != nullptr)
            m_passwordFlow->refused();
        m_passwordRefused = true;
        connectToServer();
        return;
    }
    endConnection(line);
}

void ViewerWindow::endConnection(const QString& line) {
    const bool beforeFirstFrame = !m_showing;
    retireConnection();
    showEnded(line);
    if (beforeFirstFrame)
        Q_EMIT connectionFailed(line);
}

void ViewerWindow::showEnded(const QString& line) {
    m_status->setText(line);
    m_endedRow->show();
}

void ViewerWindow::hideEnded() {
    m_endedRow->hide();
    m_status->clear();
}

void ViewerWindow::askPassword() {
    if (m_passwordFlow != nullptr)
        m_passwordFlow->passwordNeeded();
    else
        m_passwordDialog->ask(m_passwordRefused);
}

void ViewerWindow::givePassword(const QString& password, bool remember) {
    if (m_passwordFlow != nullptr)
        m_passwordFlow->given(password, remember);
    else if (m_connection != nullptr)
        m_connection->providePassword(password);
}

void ViewerWindow::pressPhoneButton(PhoneButton button) {
    if (m_phoneButtons != nullptr)
        m_phoneButtons->press(button);
}

// The picture as of the last finished update, which is the one on screen.
void ViewerWindow::saveScreenshot() {
    const QImage frame = m_connection != nullptr && m_showing ? m_connection->image() : QImage();
    const QString folder = screenshotFolder(
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), QDir::homePath());
    const QString name = screenshotFileName(windowTitle(), QDateTime::currentDateTime());
    showNotice(screenshotLine(ostrel::saveScreenshot(frame, folder, name)));
}

void ViewerWindow::paste() {
    if (m_connection == nullptr || !m_showing)
        return;
    const std::optional<QByteArray> text = cutTextToSend(QGuiApplication::clipboard()->text());
    if (text)
        m_connection->sendCutText(*text);
    else if (!std::exchange(m_notLatin1Said, true))
        showNotice(notLatin1Line());
}

void ViewerWindow::showNotice(const QString& line) {
    m_notice->setText(line);
    m_notice->show();
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    retireConnection();
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace ostrel
