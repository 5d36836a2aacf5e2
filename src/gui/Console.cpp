// The console and the link fields of the window controller.
#include "gui/AppDelegate.h"

#include <QLabel>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace ostrel {

namespace {

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

} // namespace

void AppDelegate::appendStringToTextView(const QString& text) {
    appendAttributedStringToTextView(Hyperlink::normalTextFromString(text));
}

void AppDelegate::appendAttributedStringToTextView(const AttributedString& text) {
    if (!textView)
        return;
    const int start = endPosition(textView);
    QTextCursor cursor(textView->document());
    cursor.movePosition(QTextCursor::End);
    // insertText treats text as plain characters, never as markup.
    cursor.insertText(text.text, text.format);
    revealStart(textView, start);
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
