#include "gui/AboutBox.h"

#include "gui/Desktop.h"

#include <QCoreApplication>
#include <QLabel>

namespace ostrel {

AboutText aboutText(const QString& version, const QUrl& site) {
    AboutText text;
    text.title = QStringLiteral("Ostrel Dravik");
    text.body = QStringLiteral("Version %1\n\nStarts the Ostrel VNC Server on an Android phone "
                               "attached by USB and forwards its VNC and web ports to this "
                               "computer.")
                    .arg(version);
    // The address comes from the build, but it still goes through the escaper:
    // a stray quote or angle bracket must not turn into markup.
    const QString address = site.toString(QUrl::FullyEncoded);
    text.linkHtml = QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(address.toHtmlEscaped(), site.toDisplayString().toHtmlEscaped());
    return text;
}

void showAbout(Desktop& desktop, QWidget* parent, const QUrl& site) {
    const AboutText text = aboutText(QCoreApplication::applicationVersion(), site);
    QLabel link;
    link.setTextFormat(Qt::RichText);
    link.setText(text.linkHtml);
    link.setOpenExternalLinks(false);
    link.setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(&link, &QLabel::linkActivated, &link,
                     [&desktop](const QString& address) { desktop.openUrl(QUrl(address)); });

    Alert alert;
    alert.messageText = text.title;
    alert.informativeText = text.body;
    alert.accessory = &link;
    desktop.runAlert(parent, alert);
}

} // namespace ostrel
