// The console and the link fields of the window controller.
#include "gui/AppDelegate.h"

#include <QLabel>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

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

void AppDelegate::setUpdateHyperlinkWithTextField(QLabel* field, const QString& url) {
    if (!field)
        return;
    const QUrl target(url, QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    const bool linkable = target.isValid() && (scheme == "http" || scheme == "https");
    field->setOpenExternalLinks(false);
    disconnect(field, &QLabel::linkActivated, this, nullptr);
    if (!linkable) {
        // Only web addresses from the update server become clickable.
        field->setTextFormat(Qt::PlainText);
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        field->setText(url);
        return;
    }
    field->setTextFormat(Qt::RichText);
    field->setTextInteractionFlags(Qt::TextBrowserInteraction);
    field->setText(Hyperlink::labelLinkHtml(url, target));
    connect(field, &QLabel::linkActivated, this,
            [this](const QString& link) { desktop_.openUrl(QUrl(link)); });
}

} // namespace ostrel
