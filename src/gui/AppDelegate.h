// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SiteAddresses.h"
#include "core/Waits.h"
#include "core/session/BridgeSession.h"
#include "gui/AdbChooser.h"
#include "gui/ConsoleFeed.h"
#include "gui/Desktop.h"
#include "gui/Hyperlink.h"
#include "gui/UpdateOffer.h"
#include "gui/ViewerChooser.h"
#include "gui/WindowContext.h"
#include "gui/secrets/DesktopKeychain.h"
#include "gui/viewer/ViewerWindows.h"

#include <QCoro/QCoroFwd>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QMainWindow;
class QPushButton;
class QTextBrowser;
class QWidget;

namespace ostrel {

class CommandRunner;
class SessionSettings;
class SettingsDialog;
class ViewerLauncher;
class ViewerTrials;

// The window controller: target of the window's buttons and menu actions, and
// keeper of the one rule of which controls take a new action. The device work
// lives in the session; this class forwards the user's requests to it and
// shows what it reports. The adb and viewer choices and the update offer are
// pieces of their own, which it owns and keeps informed.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // `settings` outlives the controller; the search for an adb, when none is
    // chosen, starts in `launcherFolder`. View's viewers are found and run by
    // `viewers`; the phones and adb's server are those `environment` describes.
    AppDelegate(Desktop& desktop, CommandRunner& runner, SessionSettings& settings,
                QString launcherFolder, ViewerTrials& viewers, SessionEnvironment environment,
                QUrl siteUrl = defaultSiteUrl(), Waits waits = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Outlets: filled by the main window, owned by it.
    QPointer<QMainWindow> window;
    QPointer<QPushButton> startButton;
    QPointer<QLabel> statusLabel;
    QPointer<QTextBrowser> textView;
    QPointer<QLabel> getTheApp;
    QPointer<QComboBox> deviceListComboBox;
    QPointer<QLabel> forwardsLabel;
    QPointer<QPushButton> usbDisconnectButton;
    QPointer<QAction> usbDisconnectItem;
    QPointer<QPushButton> viewButton;
    QPointer<QAction> viewItem;

    // Controls that are switched off while a flow runs, and the update item.
    void setActionControls(const QList<QWidget*>& widgets, const QList<QAction*>& actions,
                           QAction* checkForUpdate);

    // Start-up, once the window's widgets exist.
    void awakeFromNib();

    // The shell's own actions.
    void onHelpButtonClicked();
    void onHelpMenu();
    void onClearButtonClicked();
    void onQuiteMenu();
    // Closing the main window, or the application being told to quit.
    void requestQuitFromWindow();
    // The program is ended from outside (a signal): every command stops now
    // with its process group, and adb's server is left as it is, for only
    // Quit may stop it. Nothing is said, nothing new starts.
    void endAtOnce();

    // Console.
    void appendStringToTextView(const QString& text);
    void appendAttributedStringToTextView(const AttributedString& text);
    void setHyperlinkWithTextView(QTextBrowser* view, const QString& description,
                                  const QString& url);

    // Device discovery and the VNC server.
    void comboBoxSelectionDidChange(int index);
    void onStartButtonClicked();
    void updateStatus(bool running);

    // USB port forwarding.
    void onUSBConnectButtonClicked();
    void onUSBDisconnectButtonClicked();
    void showForwardedPorts(const QList<TcpPort>& ports);

    // Showing the selected phone's screen in a viewer.
    void onViewButtonClicked();

    // The settings dialog, made when first asked for.
    void onSettingsMenu();

    // The pieces that serve the window's other controls.
    AdbChooser& adbChooser() { return adbChooser_; }
    UpdateOffer& updateOffer() { return updateOffer_; }
    ViewerChooser& viewerChooser() { return viewerChooser_; }
    // View's windows of the program's own.
    ViewerWindows& viewerWindows() { return viewerWindows_; }

    SessionSettings& settings() { return settings_; }
    const QUrl& siteUrl() const { return siteUrl_; }
    Desktop& desktop() { return desktop_; }
    // Quit has settled adb's server: the window may close for good.
    bool readyToQuit() const { return readyToQuit_; }

private:
    WindowContext windowContext();
    void showDevices(const QList<ListedDevice>& devices, const QString& selected);
    QCoro::Task<void> quitOnceAdbIsSettled();
    // The one rule for which controls take a new action.
    bool idle() const;
    void refreshControls();
    // The one rule for USB Disconnect's button and menu item.
    bool usbDisconnectAvailable() const;
    void setStartButtonTitle(const QString& title);
    void keepFocusThroughFlow(QWidget* widget);
    QString askForVncPort(); // the entry as typed; empty when cancelled

    Desktop& desktop_;
    SessionSettings& settings_;
    QUrl siteUrl_;
    // Before the session, which asks it for the adb to run until its own end.
    AdbChooser adbChooser_;
    // Outlives the viewer windows, whose password questions may ask it.
    DesktopKeychain keychain_;
    // Before the session, whose View may be opening one of them until its end.
    ViewerWindows viewerWindows_;
    BridgeSession session_;
    UpdateOffer updateOffer_;
    ViewerChooser viewerChooser_;
    ConsoleFeed console_;
    QList<QPointer<QWidget>> actionWidgets_;
    QList<QPointer<QAction>> actionItems_;
    QPointer<QAction> checkForUpdateItem_;
    bool quitting_ = false;
    bool readyToQuit_ = false;
    bool ended_ = false; // endAtOnce(): a Quit under way ends the program no more
    std::unique_ptr<ViewerLauncher> viewers_;
    QPointer<SettingsDialog> settingsDialog_; // the window's child
};

} // namespace ostrel
