#include "gui/QtDesktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    QDesktopServices::openUrl(url);
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
