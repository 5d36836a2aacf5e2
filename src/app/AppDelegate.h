#pragma once

#include "app/Desktop.h"
#include "app/SiteAddresses.h"
#include "app/Waits.h"
#include "bridge/BridgeState.h"
#include "console/Hyperlink.h"
#include "process/AdbRunner.h"
#include "process/OutputLineBuffer.h"

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
class QNetworkAccessManager;
class QPushButton;
class QTextBrowser;
class QWidget;

namespace ostrel {

// The window controller: target of every button and menu action and home of
// every device, server and update operation. It owns the bridge state and the
// output line buffer, so each controller starts from a clean slate.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(Desktop& desktop, QUrl siteUrl = defaultSiteUrl(), Waits waits = {},
                         QObject* parent = nullptr);
    ~AppDelegate() override;

    // Outlets: filled by the main window, owned by it.
    QPointer<QMainWindow> window;
    QPointer<QPushButton> startButton;
    QPointer<QLabel> statusLabel;
    QPointer<QTextBrowser> textView;
    QPointer<QLabel> getTheApp;
    QPointer<QComboBox> deviceListComboBox;

    // Controls that are switched off while an action runs.
    void setActionControls(const QList<QWidget*>& widgets, const QList<QAction*>& actions);

    // Start-up, once the window's widgets exist.
    void awakeFromNib();

    // The shell's own actions.
    void onHelpButtonClicked();
    void onHelpMenu();
    void onClearButtonClicked();
    void onQuiteMenu();
    // Closing the main window: quits like the Quit item, once no action runs.
    void requestQuitFromWindow();

    // Console.
    void appendStringToTextView(const QString& text);
    void appendAttributedStringToTextView(const AttributedString& text);
    void setHyperlinkWithTextView(QTextBrowser* view, const QString& description,
                                  const QString& url);
    void setHyperlinkWithTextField(QLabel* field);
    void setUpdateHyperlinkWithTextField(QLabel* field, const QString& url);

    // adb command runner.
    QString getAdbPath() const;
    AdbRun launchAdbProcess(const QStringList& arguments, bool wait);
    void writeStdOut(const QString& text);

    // adb tool chooser.
    void onAdbButtonClicked();

    // Output-line classifier.
    void processOneLineFromOutputMessage(char* line);

    // Device discovery.
    void adbDevices();
    void handleAdbDevicesOutput();
    void comboBoxSelectionDidChange(int index);

    // VNC server lifecycle.
    void onStartButtonClicked();
    void adbStartOstrelVNCServer();
    void adbStopOstrelVNCServer();
    bool checkOstrelVNCServerFileExists();
    void findOstrelVNCServerPid();
    void updateStatus();

    // USB port forwarding.
    void onUSBConnectButtonClicked();
    void adbForward(int32_t port);

    // Update check.
    int checkForUpdate();
    void onCheckForUpdateMenu();
    void startBackgroundUpdateCheck();

    // State, for the operations and for tests.
    BridgeState& bridge() { return bridge_; }
    const OutputLineBuffer& outputLineBuffer() const { return lineBuffer_; }
    const Waits& waits() const { return waits_; }
    const QUrl& siteUrl() const { return siteUrl_; }
    Desktop& desktop() { return desktop_; }
    bool actionRunning() const { return actionRunning_; }

private:
    // Runs a user action to its end with the controls switched off; an action
    // that arrives while another runs is dropped.
    void runUserAction(const std::function<void()>& action);
    void setControlsEnabled(bool enabled);
    void runDeferredWork();
    void deferUntilIdle(std::function<void()> work);

    // Sleeps in a local event loop that repaints but holds user input back.
    void waitFor(std::chrono::milliseconds duration);

    // Reports a command that did not run to its end; returns false then.
    bool reportIfNotFinished(const AdbRun& run);

    // Device flows
    // What a device command leaves for the flow that ran it.
    struct DeviceCommand {
        bool flowGoesOn = false; // false: adb did not run to its end, or the device is gone
        AdbRun run;
    };
    enum class Presence { Found, Missing, FlowEnded };
    DeviceCommand runDeviceCommand(int32_t mode, const QStringList& arguments);
    DeviceCommand runOnDevice(int32_t mode, const QStringList& arguments);
    QStringList forSelectedDevice(const QStringList& arguments) const;
    void forgetDevices();
    void adviseOnUnusableDevices(const QByteArray& listing);
    bool probeServerProcess();
    Presence probeServerExecutable();
    Presence listServerExecutable(const char* package, const char* path);
    bool bringUpServer();
    bool launchMainActivity();
    Presence waitForServerExecutable();
    bool runServer();
    bool pollForServer();
    bool takeDownServer();
    void setStartButtonTitle(const QString& title);
    int32_t askForVncPort();
    bool forwardPort(int32_t port);

    // Update check
    QNetworkAccessManager& updateNetwork();
    void offerNewVersionWhenIdle(const QString& downloadAddress);
    void showNewVersionDialog(const QString& downloadAddress);

    Desktop& desktop_;
    QUrl siteUrl_;
    Waits waits_;
    BridgeState bridge_;
    OutputLineBuffer lineBuffer_;
    QList<QPointer<QWidget>> actionWidgets_;
    QList<QPointer<QAction>> actionItems_;
    bool actionRunning_ = false;
    bool quitRequested_ = false;
    // Forwards are never removed, so one that worked holds until adb's server ends.
    bool forwardInForce_ = false;
    QList<std::function<void()>> deferred_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

} // namespace ostrel
