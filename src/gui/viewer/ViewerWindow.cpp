// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/ViewerWindow.h"

#include "gui/viewer/PasswordDialog.h"
#include "gui/viewer/ScreenView.h"
#include "viewer/ScreenPosition.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
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
      m_passwordDialog(new PasswordDialog(this)) {
    setObjectName(QStringLiteral("viewerWindow"));
    setWindowTitle(title);
    m_status->setObjectName(QStringLiteral("viewerStatus"));
    m_reconnect->setObjectName(QStringLiteral("reconnectButton"));
    auto* endedLayout = new QHBoxLayout(m_endedRow);
    endedLayout->addWidget(m_status, 1);
    endedLayout->addWidget(m_reconnect);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_endedRow);
    m_endedRow->hide();
    connect(m_reconnect, &QPushButton::clicked, this, &ViewerWindow::connectToServer);
    connect(m_passwordDialog, &PasswordDialog::given, this, [this](const QString& password) {
        if (m_connection != nullptr)
            m_connection->providePassword(password);
    });
    connect(m_passwordDialog, &PasswordDialog::declined, this, [this] {
        m_passwordRefused = false;
        endConnection(tr("Not connected: no password was given."));
    });
}

ViewerWindow::~ViewerWindow() {
    retireConnection();
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
    connect(connection, &RfbConnection::passwordNeeded, this,
            [this] { m_passwordDialog->ask(m_passwordRefused); });
    connect(connection, &RfbConnection::ended, this, &ViewerWindow::onEnded);
}

// The old connection winds down on its own thread and goes once it has.
void ViewerWindow::retireConnection() {
    m_passwordDialog->hide();
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

void ViewerWindow::closeEvent(QCloseEvent* event) {
    retireConnection();
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace ostrel
