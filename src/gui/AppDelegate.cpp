#include "gui/AppDelegate.h"

#include "core/PlatformTexts.h"
#include "core/device/DeviceItems.h"
#include "core/settings/AdbSetting.h"
#include "core/settings/PhoneSettings.h"
#include "core/text/VisibleText.h"
#include "core/view/ProcessViewerTrials.h"
#include "core/view/ViewerLauncher.h"
#include "gui/FirstFrame.h"

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <memory>

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
      adbVersions_(runner), ownViewerTrials_(std::make_unique<ProcessViewerTrials>(
                                ProcessViewerTrials::systemSearchPath())),
      viewers_(std::make_unique<ViewerLauncher>(*ownViewerTrials_)) {
    connect(&session_, &BridgeSession::consoleText, this,
            [this](const QString& text) { appendStringToTextView(text); });
    connect(&session_, &BridgeSession::consoleLink, this,
            [this](const QString& description, const QUrl& url) {
                setHyperlinkWithTextView(textView, description, url.toString());
            });
    connect(&session_, &BridgeSession::devicesListed, this, &AppDelegate::showDevices);
    connect(&session_, &BridgeSession::serverStateChanged, this, &AppDelegate::updateStatus);
    connect(&session_, &BridgeSession::forwardedPortsChanged, this,
            &AppDelegate::showForwardedPorts);
    connect(&session_, &BridgeSession::busyChanged, this, [this](bool busy) {
        refreshControls();
        if (!busy && !pendingOffer_.isEmpty())
            showNewVersionDialog(std::exchange(pendingOffer_, QString()));
    });
}

AppDelegate::~AppDelegate() {
    // Waiting flows resume now, while everything they touch still exists.
    endAtOnce();
}

void AppDelegate::endAtOnce() {
    quitting_ = true;
    ended_ = true;
    updates_.cancel();
    session_.stopWatching();
    session_.cancel();
    session_.abandonAdbServerQuestion();
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
    appendStringToTextView(adbSearchNote());
    if (getTheApp)
        setHyperlinkWithTextField(getTheApp);
    // The list shows the phones of a server that already runs; none is
    // started for it.
    session_.startWatching();
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
// server is stopped once, unless it holds a forward, anyone's. The program
// ends as soon as the server has answered, or its time to answer is up.
void AppDelegate::onQuiteMenu() {
    if (quitting_)
        return;
    quitting_ = true;
    updates_.cancel();
    // Stopped first, so that it neither reports nor reaches for the server
    // that Quit may be stopping.
    session_.stopWatching();
    session_.cancel();
    refreshControls();
    quitOnceAdbIsSettled();
}

QCoro::Task<void> AppDelegate::quitOnceAdbIsSettled() {
    co_await session_.stopAdbServerUnlessForwarding();
    if (ended_)
        co_return;
    readyToQuit_ = true;
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
    const bool disconnectable = usbDisconnectAvailable();
    if (usbDisconnectButton)
        usbDisconnectButton->setEnabled(disconnectable);
    if (usbDisconnectItem)
        usbDisconnectItem->setEnabled(disconnectable);
    // View forwards and frees nothing another phone holds: the same rule.
    if (viewButton)
        viewButton->setEnabled(disconnectable);
    if (viewItem)
        viewItem->setEnabled(disconnectable);
}

bool AppDelegate::usbDisconnectAvailable() const {
    if (session_.isBusy() || quitting_)
        return false;
    // A followed list is the truth: with no usable phone there is nothing to
    // free. An unfollowed one may be stale, so the flow lists anew.
    const QList<ListedDevice>& listed = session_.listedDevices();
    return !session_.followsDevices() ||
           std::any_of(listed.begin(), listed.end(),
                       [](const ListedDevice& device) { return device.usable(); });
}

} // namespace ostrel

// The console and the link fields of the window controller.

namespace ostrel {

namespace {

// What the console inserts in one turn of the event loop. A text document
// takes about a second to insert and lay out 100 000 lines, so a long output
// goes in slices and the window answers in between.
constexpr int SliceLines = 1000;
constexpr qsizetype SliceCharacters = 32768;

// Shows the start of what was just appended. A selection the user is making
// is left alone: flows write while the user may be reading and copying.
void revealStart(QTextBrowser* view, int start) {
    if (view->textCursor().hasSelection())
        return;
    QTextCursor cursor(view->document());
    cursor.setPosition(start);
    view->setTextCursor(cursor);
    view->ensureCursorVisible();
}

int endPosition(QTextBrowser* view) {
    return view->document()->characterCount() - 1;
}

// Where the slice of `text` that begins at `from` ends: always just after a
// line end, and never between the CR and LF of one, which the document would
// take for two.
qsizetype sliceEnd(const QString& text, qsizetype from) {
    int lines = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineEnd =
            c == u'\n' || (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'));
        if (lineEnd && (++lines == SliceLines || i + 1 - from >= SliceCharacters))
            return i + 1;
    }
    return text.size();
}

// The text still to be shown in one console, in order, links included. It
// lives with its view, so that it goes when the view goes.
class ConsoleFeed : public QObject {
public:
    explicit ConsoleFeed(QTextBrowser* view) : QObject(view), view_(view) {
        next_.setSingleShot(true);
        next_.setTimerType(Qt::PreciseTimer);
        next_.setInterval(0);
        connect(&next_, &QTimer::timeout, this, [this] { insertNextSlice(); });
    }

    static ConsoleFeed* of(QTextBrowser* view) {
        for (QObject* child : view->children()) {
            if (auto* feed = dynamic_cast<ConsoleFeed*>(child))
                return feed;
        }
        return new ConsoleFeed(view);
    }

    void append(const AttributedString& text) {
        forgetIfCleared();
        pending_.append({text, 0});
        if (pending_.size() == 1)
            insertNextSlice();
    }

private:
    struct Piece {
        AttributedString text;
        qsizetype offset; // how much of it is in the view already
    };

    // The user's Clear empties the view; what was waiting goes with it.
    void forgetIfCleared() {
        if (endPosition(view_) < insertedUpTo_)
            pending_.clear();
        insertedUpTo_ = endPosition(view_);
    }

    void insertNextSlice() {
        forgetIfCleared();
        if (pending_.isEmpty())
            return;
        Piece& piece = pending_.first();
        const qsizetype end = sliceEnd(piece.text.text, piece.offset);
        const int start = endPosition(view_);
        QTextCursor cursor(view_->document());
        cursor.movePosition(QTextCursor::End);
        // insertText treats text as plain characters, never as markup.
        cursor.insertText(piece.text.text.sliced(piece.offset, end - piece.offset),
                          piece.text.format);
        if (piece.offset == 0)
            revealStart(view_, start);
        insertedUpTo_ = endPosition(view_);
        piece.offset = end;
        if (piece.offset == piece.text.text.size())
            pending_.removeFirst();
        if (!pending_.isEmpty())
            next_.start();
    }

    QTextBrowser* view_;
    QList<Piece> pending_;
    int insertedUpTo_ = 0;
    QTimer next_;
};

} // namespace

void AppDelegate::appendStringToTextView(const QString& text) {
    appendAttributedStringToTextView(Hyperlink::normalTextFromString(text));
}

void AppDelegate::appendAttributedStringToTextView(const AttributedString& text) {
    if (!textView || text.text.isEmpty())
        return;
    ConsoleFeed::of(textView)->append(text);
}

void AppDelegate::setHyperlinkWithTextView(QTextBrowser* view, const QString& description,
                                           const QString& url) {
    if (view != textView)
        return;
    appendAttributedStringToTextView(Hyperlink::hyperlinkFromString(description, QUrl(url)));
    appendAttributedStringToTextView(Hyperlink::normalTextFromString(QStringLiteral("\r\n")));
}

void AppDelegate::setHyperlinkWithTextField(QLabel* field) {
    if (!field)
        return;
    field->setTextFormat(Qt::RichText);
    field->setTextInteractionFlags(Qt::TextBrowserInteraction);
    field->setOpenExternalLinks(false);
    field->setText(Hyperlink::labelLinkHtml(
        QStringLiteral("Get the Ostrel VNC Server App from Google Play"), storePageUrl(siteUrl_)));
    disconnect(field, &QLabel::linkActivated, this, nullptr);
    connect(field, &QLabel::linkActivated, this,
            [this](const QString& link) { desktop_.openUrl(QUrl(link)); });
}

// The link opens the address it reads as, not the text it was parsed from:
// clicking can never take the user anywhere but what was shown.
void AppDelegate::setUpdateHyperlinkWithTextField(QLabel* field, const QString& url) {
    if (!field)
        return;
    const OfferedDownload offered = offeredDownload(url);
    field->setOpenExternalLinks(false);
    disconnect(field, &QLabel::linkActivated, this, nullptr);
    if (!offered.link) {
        field->setTextFormat(Qt::PlainText);
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        field->setText(offered.shown);
        return;
    }
    field->setTextFormat(Qt::RichText);
    field->setTextInteractionFlags(Qt::TextBrowserInteraction);
    field->setText(Hyperlink::labelLinkHtml(offered.shown, *offered.link));
    connect(field, &QLabel::linkActivated, this,
            [this, target = *offered.link](const QString&) { desktop_.openUrl(target); });
}

} // namespace ostrel

// The window's side of the device flows: what starts them, and how their
// results show in the button, the status line and the device list.

namespace ostrel {

namespace {

QColor runningColour() {
    return QColor::fromRgbF(115 / 255., 200 / 255., 30 / 255.);
}

QColor stoppedColour() {
    return QColor::fromRgbF(240 / 255., 115 / 255., 30 / 255.);
}

void disableItem(QComboBox* list, int index) {
    auto* model = qobject_cast<QStandardItemModel*>(list->model());
    if (QStandardItem* item = model ? model->item(index) : nullptr)
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
}

} // namespace

void AppDelegate::onStartButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    // The flow runs on by itself; its end shows through the session's signals.
    session_.toggleServer();
}

void AppDelegate::onUSBConnectButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    const QString entry = askForVncPort();
    // The program may have been told to quit while the prompt was up.
    if (quitting_ || session_.isBusy())
        return;
    // The session judges the entry, so that a bad one is told in the console.
    session_.usbConnectText(entry);
}

void AppDelegate::onUSBDisconnectButtonClicked() {
    if (quitting_ || !usbDisconnectAvailable())
        return;
    session_.usbDisconnect();
}

// Beside the status line, whose texts speak of the server alone.
void AppDelegate::showForwardedPorts(const QList<uint16_t>& ports) {
    if (!forwardsLabel)
        return;
    forwardsLabel->setText(
        ports.isEmpty() ? QString() : QStringLiteral("Forwarded: %1").arg(localPortsText(ports)));
}

QString AppDelegate::askForVncPort() {
    auto field = std::make_unique<QLineEdit>(QStringLiteral("5901"));
    field->setMinimumWidth(100);
    const Alert prompt{QStringLiteral("Please Enter VNC Port Number"),
                       QStringLiteral("Use the same port number as displayed on device"),
                       {QStringLiteral("OK"), QStringLiteral("Cancel")},
                       field.get(),
                       field.get()};
    if (desktop_.runAlert(window, prompt) != 1)
        return {};
    return field->text();
}

// Every attached phone is listed; one that cannot be used is shown with its
// state and cannot be chosen, by mouse or keyboard. The serial travels as the
// item's data and is never read back from its text.
void AppDelegate::showDevices(const QList<ListedDevice>& devices, const QString& selected) {
    // Whether USB Disconnect has a phone to act on may have changed.
    refreshControls();
    if (!deviceListComboBox)
        return;
    const DeviceItems shown = deviceItems(devices, selected, session_.deviceModels());
    deviceListComboBox->clear();
    for (const DeviceItem& item : shown.items) {
        deviceListComboBox->addItem(item.text, item.serial);
        if (!item.selectable && !item.serial.isEmpty())
            disableItem(deviceListComboBox, deviceListComboBox->count() - 1);
    }
    deviceListComboBox->setCurrentIndex(shown.current);
}

void AppDelegate::comboBoxSelectionDidChange(int index) {
    if (!deviceListComboBox || index < 0 || index >= deviceListComboBox->count())
        return;
    if (quitting_ || session_.isBusy())
        return;
    const QString serial = deviceListComboBox->itemData(index).toString();
    qInfo("comboBoxSelectionDidChange: %s", qUtf8Printable(deviceListComboBox->itemText(index)));
    if (serial.isEmpty() || serial == session_.selectedDevice())
        return; // "No device", or the choice as it was
    session_.selectDevice(serial);
    if (session_.selectedDevice() != serial)
        return; // a phone that cannot be used
    keepFocusThroughFlow(deviceListComboBox);
    // The button and the status line follow the device once the probe is done.
    session_.probeSelectedDevice();
}

// The controls are disabled while a flow runs, which moves the keyboard focus
// away; the user choosing with the arrow keys expects to stay in the list.
void AppDelegate::keepFocusThroughFlow(QWidget* widget) {
    if (!widget || !widget->hasFocus())
        return;
    auto connection = std::make_shared<QMetaObject::Connection>();
    const QPointer<QWidget> focused = widget;
    *connection =
        connect(&session_, &BridgeSession::busyChanged, this, [connection, focused](bool busy) {
            if (busy)
                return;
            QObject::disconnect(*connection);
            if (focused && focused->isEnabled())
                focused->setFocus(Qt::OtherFocusReason);
        });
}

void AppDelegate::updateStatus(bool running) {
    setStartButtonTitle(running ? QStringLiteral("Stop Ostrel VNC Server")
                                : QStringLiteral("Start Ostrel VNC Server"));
    if (!statusLabel)
        return;
    QPalette palette = statusLabel->palette();
    palette.setColor(QPalette::WindowText, running ? runningColour() : stoppedColour());
    statusLabel->setPalette(palette);
    statusLabel->setText(running ? QStringLiteral("Ostrel VNC server is running")
                                 : QStringLiteral("Ostrel VNC server is stopped"));
}

void AppDelegate::setStartButtonTitle(const QString& title) {
    if (!startButton)
        return;
    startButton->setText(title);
    startButton->setAccessibleName(title);
}

} // namespace ostrel

// Letting the user pick the adb executable that every later command runs.

namespace ostrel {

namespace {

FileChoice adbFileChoice(const QString& adbInEffect) {
    FileChoice choice;
    choice.title = QStringLiteral("Choose adb");
    choice.acceptLabel = QStringLiteral("Select adb");
    if (!adbInEffect.isEmpty())
        choice.startDirectory = QFileInfo(adbInEffect).absolutePath();
    return choice;
}

} // namespace

QString AppDelegate::adbInEffect() const {
    return chosenAdb_.isEmpty() ? getAdbPath() : chosenAdb_;
}

void AppDelegate::onAdbButtonClicked() {
    if (quitting_ || session_.isBusy())
        return;
    const QString chosen = desktop_.chooseFile(window, adbFileChoice(adbInEffect()));
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    qInfo("select file: %s", qUtf8Printable(visibleText(chosen)));
    chosenAdb_ = chosen;
    const QString failure = storeChosenAdb(chosen);
    if (!failure.isEmpty()) {
        desktop_.runAlert(window,
                          Alert{QStringLiteral("The chosen adb could not be saved."), failure});
    }
}

} // namespace ostrel

// Telling the user which adb the program runs and what version it is. The
// version is asked only when someone wants to see it, never while a flow runs
// (the flows' commands go one at a time) and never in the window's way.

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

namespace {

QString withVersion(const QString& inEffect, const QString& versionLine) {
    return inEffect + u'\n' + versionLine;
}

} // namespace

QString AppDelegate::adbInEffectDescription() const {
    const QString chosen = chosenAdb_.isEmpty() ? chosenAdbSetting() : chosenAdb_;
    // With nothing chosen, the adb in effect is the one the search finds.
    return adbInEffectText(chosen, chosen.isEmpty() ? getAdbPath() : QString());
}

void AppDelegate::describeAdb(const std::function<void(const QString&)>& show) {
    const QString inEffect = adbInEffectDescription();
    const QString adb = adbInEffect();
    if (adb.isEmpty()) {
        show(inEffect);
        return;
    }
    if (const std::optional<QString> version = adbVersions_.known(adb)) {
        show(withVersion(inEffect, *version));
        return;
    }
    if (quitting_ || session_.isBusy()) {
        show(withVersion(inEffect, u"Version not asked while adb is busy."_s));
        return;
    }
    show(withVersion(inEffect, u"Asking adb for its version\u2026"_s));
    describeAdbVersionWhenAnswered(adb, inEffect, show);
}

// The text keeps naming the adb that was asked, even if another was chosen since.
QCoro::Task<void>
AppDelegate::describeAdbVersionWhenAnswered(QString adb, QString inEffect,
                                            std::function<void(const QString&)> show) {
    const AdbVersionAnswer answer = co_await adbVersions_.ask(adb);
    if (quitting_)
        co_return;
    const QString version =
        answer.known ? answer.text : u"Version not known: %1"_s.arg(answer.text);
    show(withVersion(inEffect, version));
}

} // namespace ostrel

// Asking the maker's web site whether a newer version of the program exists.

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

QCoro::Task<int> AppDelegate::checkForUpdate() {
    const UpdateVerdict verdict = co_await checkAndOfferUpdate();
    co_return verdict.cancelled ? UpdateResult::Failed : verdict.result;
}

// A check ended by Quit comes back cancelled: Qt reports an abort and a
// time-out alike, so only the checker's own flag tells them apart.
QCoro::Task<UpdateVerdict> AppDelegate::checkAndOfferUpdate() {
    UpdateVerdict verdict = co_await updates_.check();
    if (quitting_)
        verdict.cancelled = true;
    if (verdict.cancelled)
        co_return verdict;
    if (verdict.result == UpdateResult::NewerVersion)
        showNewVersionDialog(verdict.downloadAddress);
    co_return verdict;
}

void AppDelegate::onCheckForUpdateMenu() {
    if (quitting_ || menuCheckRunning_ || session_.isBusy())
        return;
    runMenuUpdateCheck();
}

// A check already under way (the one at start-up) is joined: the menu still
// owes the user its own answer, and the start-up check then stays quiet.
QCoro::Task<void> AppDelegate::runMenuUpdateCheck() {
    menuCheckRunning_ = true;
    refreshControls();
    const UpdateVerdict verdict = co_await checkAndOfferUpdate();
    menuCheckRunning_ = false;
    if (quitting_ || verdict.cancelled)
        co_return;
    refreshControls();
    if (verdict.result == UpdateResult::UpToDate)
        desktop_.runAlert(window, Alert{u"You already have the latest version."_s, QString()});
    else if (verdict.result == UpdateResult::Failed)
        desktop_.runAlert(window, Alert{u"Failed to check updates."_s, verdict.failureText});
}

// The start-up check never holds the window: the reply is handled whenever it
// arrives, and only a newer version is worth interrupting the user for.
void AppDelegate::startBackgroundUpdateCheck() {
    runBackgroundUpdateCheck();
}

QCoro::Task<void> AppDelegate::runBackgroundUpdateCheck() {
    const UpdateVerdict verdict = co_await updates_.check();
    // A menu check that joined this one shows the answer itself.
    if (verdict.cancelled || quitting_ || menuCheckRunning_)
        co_return;
    if (verdict.result == UpdateResult::NewerVersion)
        offerNewVersionWhenIdle(verdict.downloadAddress);
}

void AppDelegate::offerNewVersionWhenIdle(const QString& downloadAddress) {
    // Not in the middle of a device flow: right after it instead.
    if (session_.isBusy())
        pendingOffer_ = downloadAddress;
    else
        showNewVersionDialog(downloadAddress);
}

void AppDelegate::showNewVersionDialog(const QString& downloadAddress) {
    // Once Quit or closing has begun nothing new opens: a modal dialog would
    // hold the program up inside its own quit. A pending offer goes with it.
    if (quitting_)
        return;
    // Lives only while the dialog is shown.
    auto link = std::make_unique<QLabel>();
    link->setMinimumSize(300, 48);
    setUpdateHyperlinkWithTextField(link.get(), downloadAddress);
    desktop_.runAlert(window, Alert{QStringLiteral("A new version of Ostrel Dravik is available."),
                                    QStringLiteral("You can download this version using the link:"),
                                    {QStringLiteral("OK")},
                                    link.get()});
}

} // namespace ostrel

// Showing a phone's screen: the window asks for the phone's port the first
// time, and the session does the rest.

namespace ostrel {

using namespace Qt::Literals::StringLiterals;

void AppDelegate::setViewerTrials(ViewerTrials& trials) {
    viewers_ = std::make_unique<ViewerLauncher>(trials);
    ownViewerTrials_.reset();
}

void AppDelegate::onViewButtonClicked() {
    if (quitting_ || !usbDisconnectAvailable())
        return;
    // A phone seen for the first time is asked about as USB Connect asks,
    // once the flow knows which phone it is; the answer is remembered for it.
    session_.view(std::nullopt, *viewers_, chosenViewerSetting(),
                  [this](const QString&) { return askForVncPort(); });
}

void AppDelegate::onChooseViewerMenu() {
    if (quitting_ || session_.isBusy())
        return;
    const QString current = chosenViewerSetting();
    FileChoice choice;
    choice.title = u"Choose VNC Viewer"_s;
    choice.acceptLabel = u"Select Viewer"_s;
    if (!current.isEmpty())
        choice.startDirectory = QFileInfo(current).absolutePath();
    QString chosen = desktop_.chooseFile(window, choice);
    if (quitting_)
        return;
    if (chosen.isEmpty()) {
        // The chooser has no empty choice of its own: the only way back to
        // the automatic order is to forget the one chosen.
        if (current.isEmpty())
            return;
        const int answer = desktop_.runAlert(
            window, Alert{u"Forget the chosen VNC viewer?"_s,
                          u"View then opens the desktop's viewer, or one it finds, instead of "
                          "%1."_s.arg(visibleText(current)),
                          {u"Keep"_s, u"Forget"_s}});
        if (answer != 2)
            return;
    }
    qInfo("select viewer: %s", qUtf8Printable(visibleText(chosen)));
    const QString failure = storeChosenViewer(chosen);
    if (!failure.isEmpty())
        desktop_.runAlert(window, Alert{u"The chosen viewer could not be saved."_s, failure});
}

} // namespace ostrel
