// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/session/PhoneButtons.h"
#include "core/settings/AdbLookup.h"
#include "viewer/RfbConnection.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace ostrel {

class CommandRunner;
class Keychain;
class PasswordDialog;
class PasswordFlow;
class PhoneButtons;
class PhoneToolbar;
class ScreenView;

// A phone's screen in a window of its own, reached at host:port (the local
// end of the phone's forward). The network is the connection's thread's; this
// window only paints the copy it is given and queues the user's input.
class ViewerWindow : public QWidget {
    Q_OBJECT

public:
    // `title` names the phone as the device list does.
    ViewerWindow(const QString& title, const QString& host, quint16 port,
                 QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // The phone behind the screen: its buttons (the toolbar beside the
    // screen, which shows from now on, and the right mouse button) run adb
    // through `runner` for `serial`, and a password is remembered under
    // `serial`. Set before connecting.
    void setPhone(const QString& serial, CommandRunner& runner, const AdbLookup& adb);
    // Where passwords are remembered; it outlives the window. Without one, or
    // without a phone, the password is asked for every time.
    void setKeychain(Keychain& keychain);
    // What the next connection asks the server for (the library's choice
    // unless set).
    void setEncoding(const RfbConnection::Encoding& encoding);
    // Connects, or connects anew (what Reconnect does). Returns at once.
    void connectToServer();
    // Whether a connection is up and its first frame is on screen.
    bool isShowingScreen() const;

Q_SIGNALS:
    // The first frame of a connection is on screen.
    void screenShown();
    // A connection ended before any frame: `line` says why, as the window shows it.
    void connectionFailed(const QString& line);
    // The window was closed (by the user or by the program); its connection is
    // shutting down and its thread ends within a second.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void follow(RfbConnection* connection);
    void retireConnection();
    void showFirstFrame();
    void fitToScreen(QSize frameSize);
    void onEnded(RfbConnection::EndReason reason, const QString& line);
    void endConnection(const QString& line);
    void showEnded(const QString& line);
    void hideEnded();
    void makePasswordFlow();
    void askPassword();
    void givePassword(const QString& password, bool remember);
    void pressPhoneButton(PhoneButton button);
    void saveScreenshot();
    void paste();
    void showNotice(const QString& line);

    QString m_host;
    quint16 m_port;
    RfbConnection::Encoding m_encoding;
    QPointer<RfbConnection> m_connection;
    ScreenView* m_view;
    QWidget* m_endedRow;
    QLabel* m_status;
    QPushButton* m_reconnect;
    PasswordDialog* m_passwordDialog;
    PhoneToolbar* m_toolbar;
    QLabel* m_notice;
    QString m_serial;
    PhoneButtons* m_phoneButtons = nullptr;
    Keychain* m_keychain = nullptr;
    PasswordFlow* m_passwordFlow = nullptr;
    bool m_notLatin1Said = false;
    bool m_showing = false;
    bool m_passwordRefused = false;
    QSize m_fittedFor;
};

} // namespace ostrel
