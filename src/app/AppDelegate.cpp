#include "app/AppDelegate.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QTextBrowser>
#include <QTimer>
#include <QWidget>

namespace ostrel {

namespace {

const char* const InstructionTexts[] = {
    "Instructions:\r\n\r\n",
    "(1) Enable USB debugging on your android device by going to:\r\n",
    "    Settings > Developer options > USB debugging, or\r\n",
    "    Settings > Applications > Development > USB debugging\r\n",
    "if you don't see Developers option, go to Settings > About phone > Build number, then tap "
    "multiple times to bring up Developer options.\r\n",
    "(2) Connect your android device to this PC with USB cable.\r\n",
    "(3) Click the above Start Ostrel VNC Server button.\r\n",
    "(4) Make sure set a password if you want to use Mac's built-in VNC Viewer. Click Menu button "
    "on device then tap Settings to see options for the vnc server.\r\n",
    "\r\n",
};

} // namespace

AppDelegate::AppDelegate(Desktop& desktop, QUrl siteUrl, Waits waits, QObject* parent)
    : QObject(parent), desktop_(desktop), siteUrl_(std::move(siteUrl)), waits_(waits) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::setActionControls(const QList<QWidget*>& widgets,
                                    const QList<QAction*>& actions) {
    actionWidgets_.clear();
    actionItems_.clear();
    for (QWidget* widget : widgets)
        actionWidgets_.append(widget);
    for (QAction* action : actions)
        actionItems_.append(action);
}

void AppDelegate::awakeFromNib() {
    if (statusLabel)
        statusLabel->setText(QString());
    for (const char* text : InstructionTexts)
        appendStringToTextView(QString::fromUtf8(text));
    if (getTheApp)
        setHyperlinkWithTextField(getTheApp);
    startBackgroundUpdateCheck();
}

void AppDelegate::onHelpButtonClicked() {
    desktop_.openUrl(helpPageUrl(siteUrl_));
}

void AppDelegate::onHelpMenu() {
    onHelpButtonClicked();
}

void AppDelegate::onClearButtonClicked() {
    if (!textView)
        return;
    textView->clear();
    textView->viewport()->repaint();
}

void AppDelegate::onQuiteMenu() {
    // Stopping adb's server would end every forward it holds, not only the
    // latest one.
    if (!bridge_.forwardEstablished && !forwardInForce_)
        launchAdbProcess({QStringLiteral("kill-server")}, false);
    desktop_.quitApplication();
}

void AppDelegate::requestQuitFromWindow() {
    if (actionRunning_) {
        quitRequested_ = true;
        return;
    }
    onQuiteMenu();
}

void AppDelegate::runUserAction(const std::function<void()>& action) {
    if (actionRunning_)
        return;
    actionRunning_ = true;
    setControlsEnabled(false);
    action();
    setControlsEnabled(true);
    actionRunning_ = false;
    runDeferredWork();
}

void AppDelegate::setControlsEnabled(bool enabled) {
    for (const auto& widget : std::as_const(actionWidgets_)) {
        if (widget)
            widget->setEnabled(enabled);
    }
    for (const auto& action : std::as_const(actionItems_)) {
        if (action)
            action->setEnabled(enabled);
    }
}

void AppDelegate::deferUntilIdle(std::function<void()> work) {
    if (actionRunning_)
        deferred_.append(std::move(work));
    else
        work();
}

void AppDelegate::runDeferredWork() {
    while (!deferred_.isEmpty() && !actionRunning_)
        deferred_.takeFirst()();
    if (quitRequested_ && !actionRunning_) {
        quitRequested_ = false;
        onQuiteMenu();
    }
}

void AppDelegate::waitFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace ostrel
