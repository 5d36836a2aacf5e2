// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace ostrel::test {

// A real screen server for the viewer's tests: Xvnc on a free display and a
// free loopback port, with the test picture drawn on its display. It ends
// with this object, whatever the test did.
class XvncServer {
public:
    struct Options {
        QSize screen{360, 640};
        // Set: VNC authentication with this password; otherwise none.
        std::optional<QString> password;
        bool picture = true; // the test picture on the display, or its bare root
    };

    XvncServer() = default;
    ~XvncServer();
    XvncServer(const XvncServer&) = delete;
    XvncServer& operator=(const XvncServer&) = delete;

    static bool installed();

    // Starts the server and covers its display with the test picture (unless
    // told not to). Empty
    // when it is ready, otherwise why not.
    QString start(const Options& options);

    quint16 port() const { return port_; }
    // Its X display, as DISPLAY names it.
    QString display() const { return QStringLiteral(":%1").arg(display_); }
    // What Xvnc wrote since a client last began to close: how it was served.
    QString lastClientReport() const;
    // Xvnc's own output, for failure messages.
    QString diagnostics() const;

private:
    QString writePasswordFile(const QString& password);
    bool startOnDisplay(int display, const Options& options, const QString& passwordFile);
    QString showPicture();
    void stop();

    QTemporaryDir directory_;
    QProcess server_;
    QProcess picture_;
    int display_ = -1;
    quint16 port_ = 0;
};

} // namespace ostrel::test
