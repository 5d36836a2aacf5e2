#include "gui/AppDelegate.h"

#include "core/PlatformTexts.h"
#include "core/settings/AdbSetting.h"
#include "gui/FirstFrame.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTextBrowser>
#include <QWidget>

namespace ostrel {

namespace {

QStringList instructionTexts() {
    using namespace Qt::Literals::StringLiterals;
    return {
        u"Instructions:\r\n\r\n"_s,
        u"(1) Enable USB debugging on your android device by going to:\r\n"_s,
        u"    Settings > Developer options > USB debugging, or\r\n"_s,
        u"    Settings > Applications > Development > USB debugging\r\n"_s,
        u"if you don't see Developers option, go to Settings > About phone > Build number, then "
        "tap multiple times to bring up Developer options.\r\n"_s,
        u"(2) Connect your android device to this PC with USB cable.\r\n"_s,
        u"(3) Click the above Start Ostrel VNC Server button.\r\n"_s,
        u"(4) Make sure set a password if you want to use %1. Click Menu button on device then "
        "tap Settings to see options for the vnc server.\r\n"_s.arg(builtInViewer()),
        u"\r\n"_s,
    };
}

} // namespace

AppDelegate::AppDelegate(Desktop& desktop, CommandRunner& runner, QUrl siteUrl, Waits waits,
                         QObject* parent)
    : QObject(parent), desktop_(desktop), siteUrl_(std::move(siteUrl)), waits_(waits),
      session_(
          runner, [this] { return adbInEffect(); }, waits),
      updates_(updateEndpointUrl(siteUrl_), QCoreApplication::applicationVersion(),
               waits.updateTimeout),
      adbVersions_(runner) {
    connect(&session_, &BridgeSession::consoleText, this,
            [this](const QString& text) { appendStringToTextView(text); });
    connect(&session_, &BridgeSession::consoleLink, this,
            [this](const QString& description, const QUrl& url) {
                setHyperlinkWithTextView(textView, description, url.toString());
            });
    connect(&session_, &BridgeSession::devicesListed, this, &AppDelegate::showDevices);
    connect(&session_, &BridgeSession::serverStateChanged, this, &AppDelegate::updateStatus);
    connect(&session_, &BridgeSession::busyChanged, this, [this](bool busy) {
        refreshControls();
        if (!busy && !pendingOffer_.isEmpty())
            showNewVersionDialog(std::exchange(pendingOffer_, QString()));
    });
}

AppDelegate::~AppDelegate() {
    // Waiting flows resume now, while everything they touch still exists.
    quitting_ = true;
    updates_.cancel();
    session_.cancel();
}

void AppDelegate::setActionControls(const QList<QWidget*>& widgets, const QList<QAction*>& actions,
                                    QAction* checkForUpdate) {
    actionWidgets_.clear();
    actionItems_.clear();
    for (QWidget* widget : widgets)
        actionWidgets_.append(widget);
    for (QAction* action : actions)
        actionItems_.append(action);
    checkForUpdateItem_ = checkForUpdate;
    refreshControls();
}

void AppDelegate::awakeFromNib() {
    if (statusLabel)
        statusLabel->setText(QString());
    for (const QString& text : instructionTexts())
        appendStringToTextView(text);
    if (getTheApp)
        setHyperlinkWithTextField(getTheApp);
    // Nothing but the window comes before its first frame: the network stack
    // is loaded by the check's first request.
    if (window)
        runAfterFirstFrame(window, this, [this] { startBackgroundUpdateCheck(); });
    else
        startBackgroundUpdateCheck();
}

void AppDelegate::onHelpButtonClicked() {
    desktop_.openUrl(helpPageUrl(siteUrl_));
}

void AppDelegate::onHelpMenu() {
    onHelpButtonClicked();
}

void AppDelegate::onClearButtonClicked() {
    if (!textView || session_.isBusy())
        return;
    textView->clear();
    session_.consoleCleared();
}

// Every way of ending the program comes here, and only the first one acts:
// the running command is stopped, its flow says nothing more, and adb's
// server is stopped once, unless a forward it holds works.
void AppDelegate::onQuiteMenu() {
    if (quitting_)
        return;
    quitting_ = true;
    updates_.cancel();
    session_.cancel();
    session_.stopAdbServerUnlessForwarding();
    desktop_.quitApplication();
}

void AppDelegate::requestQuitFromWindow() {
    onQuiteMenu();
}

void AppDelegate::refreshControls() {
    const bool idle = !session_.isBusy() && !quitting_;
    for (const auto& widget : std::as_const(actionWidgets_)) {
        if (widget)
            widget->setEnabled(idle);
    }
    for (const auto& action : std::as_const(actionItems_)) {
        if (action)
            action->setEnabled(idle);
    }
    if (checkForUpdateItem_)
        checkForUpdateItem_->setEnabled(idle && !menuCheckRunning_);
}

} // namespace ostrel
