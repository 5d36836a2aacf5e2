// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/QtDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace ostrel {

namespace {

QLabel* makeTextLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

void addButtons(QDialog& dialog, QDialogButtonBox& box, const QStringList& titles, int& answer) {
    for (int i = 0; i < titles.size(); ++i) {
        QPushButton* button = box.addButton(titles[i], i == 0 ? QDialogButtonBox::AcceptRole
                                                              : QDialogButtonBox::RejectRole);
        button->setDefault(i == 0);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &answer, i] {
            answer = i + 1;
            dialog.done(answer);
        });
    }
}

// An opener still running after this long has handed the address to an
// application that runs in its place; its exit says nothing about the opening.
constexpr std::chrono::seconds OpenerSettles{10};

} // namespace

int QtDesktop::runAlert(QWidget* parent, const Alert& alert) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    auto* layout = new QVBoxLayout(&dialog);
    QLabel* message = makeTextLabel(alert.messageText, &dialog);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    if (!alert.informativeText.isEmpty())
        layout->addWidget(makeTextLabel(alert.informativeText, &dialog));
    if (alert.accessory)
        layout->addWidget(alert.accessory);
    QDialogButtonBox box;
    int answer = 0;
    addButtons(dialog, box, alert.buttons, answer);
    layout->addWidget(&box);
    if (alert.initialFocus)
        alert.initialFocus->setFocus();
    dialog.exec();
    if (alert.accessory) {
        // The accessory stays the caller's, who reads it after the dialog.
        layout->removeWidget(alert.accessory);
        alert.accessory->setParent(nullptr);
    }
    layout->removeWidget(&box);
    box.setParent(nullptr);
    return answer;
}

void QtDesktop::openUrl(const QUrl& url) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt counts the opener having started as success; only its exit tells.
    openWithXdgOpen(url);
#else
    if (!QDesktopServices::openUrl(url))
        showOpenFailure(url);
#endif
}

// Never waited for in place: the answer comes with the opener's end.
void QtDesktop::openWithXdgOpen(const QUrl& url) {
    auto* opener = new QProcess(&openers_);
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto* settled = new QTimer(opener);
    settled->setSingleShot(true);
    settled->setTimerType(Qt::PreciseTimer);
    QObject::connect(opener, &QProcess::finished, opener,
                     [this, opener, settled, url](int exitCode, QProcess::ExitStatus status) {
                         opener->deleteLater();
                         const bool failed = status != QProcess::NormalExit || exitCode != 0;
                         if (failed && settled->isActive())
                             showOpenFailure(url);
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [this, opener, url](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         opener->deleteLater();
                         showOpenFailure(url); // no opener on this system
                     });
    opener->start();
    settled->start(OpenerSettles);
}

QString QtDesktop::chooseFile(QWidget* parent, const FileChoice& choice) {
    QFileDialog dialog(parent, choice.title, choice.startDirectory);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, choice.acceptLabel);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void QtDesktop::quitApplication() {
    QCoreApplication::quit();
}

} // namespace ostrel
