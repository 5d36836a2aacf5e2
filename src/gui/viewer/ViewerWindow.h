// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

namespace ostrel {

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
};

} // namespace ostrel
