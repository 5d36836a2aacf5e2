// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AboutBox.h"

#include "core/ProgramIdentity.h"
#include "gui/Desktop.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace ostrel {

AboutText aboutText(const QString& version, const QUrl& site) {
    AboutText text;
    text.title = ProgramName;
    text.body = QStringLiteral("Version %1\n%2\n\nStarts the Ostrel VNC Server on an Android phone "
                               "attached by USB and forwards its VNC and web ports to this "
                               "computer.")
                    .arg(version, LicenceLine);
    // The address comes from the build, but it still goes through the escaper:
    // a stray quote or angle bracket must not turn into markup.
    const QString address = site.toString(QUrl::FullyEncoded);
    text.linkHtml = QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(address.toHtmlEscaped(), site.toDisplayString().toHtmlEscaped());
    return text;
}

namespace {

QLabel* addAdbLabel(QWidget& box) {
    auto* label = new QLabel(&box);
    label->setObjectName(QStringLiteral("adbInEffect"));
    // Paths and adb's own words are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.layout()->addWidget(label);
    return label;
}

void addSiteLink(QWidget& box, Desktop& desktop, const QString& linkHtml) {
    auto* link = new QLabel(&box);
    link->setObjectName(QStringLiteral("siteLink"));
    link->setTextFormat(Qt::RichText);
    link->setText(linkHtml);
    link->setOpenExternalLinks(false);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    QObject::connect(link, &QLabel::linkActivated, link,
                     [&desktop](const QString& address) { desktop.openUrl(QUrl(address)); });
    box.layout()->addWidget(link);
}

} // namespace

void showAbout(Desktop& desktop, QWidget* parent, const QUrl& site, const AdbLabelFiller& fillAdb) {
    const AboutText text = aboutText(QCoreApplication::applicationVersion(), site);
    QWidget box;
    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel* adb = addAdbLabel(box);
    addSiteLink(box, desktop, text.linkHtml);
    fillAdb(adb);

    Alert alert;
    alert.messageText = text.title;
    alert.informativeText = text.body;
    alert.accessory = &box;
    desktop.runAlert(parent, alert);
}

} // namespace ostrel
