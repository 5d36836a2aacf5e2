// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/viewer/PasswordDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel {

PasswordDialog::PasswordDialog(QWidget* parent)
    : QDialog(parent), m_question(new QLabel(this)), m_password(new QLineEdit(this)),
      m_remember(new QCheckBox(tr("Remember for this phone"), this)), m_note(new QLabel(this)) {
    setWindowTitle(tr("Password"));
    setWindowModality(Qt::WindowModal);
    m_password->setObjectName(QStringLiteral("viewerPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember->setObjectName(QStringLiteral("rememberPassword"));
    m_note->setObjectName(QStringLiteral("passwordNote"));
    m_note->setWordWrap(true);
    // The keychain's words come from outside.
    m_note->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_question);
    layout->addWidget(m_password);
    layout->addWidget(m_remember);
    layout->addWidget(m_note);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, &PasswordDialog::hand);
    connect(this, &QDialog::rejected, this, [this] {
        m_password->clear();
        Q_EMIT declined();
    });
}

void PasswordDialog::ask(bool afterRefusal) {
    m_remember->hide();
    m_remember->setChecked(false);
    m_note->hide();
    openAsking(afterRefusal);
}

void PasswordDialog::askOfferingToRemember(bool afterRefusal, bool remember, const QString& note) {
    m_remember->setChecked(remember);
    m_remember->show();
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    openAsking(afterRefusal);
}

void PasswordDialog::openAsking(bool afterRefusal) {
    m_question->setText(afterRefusal
                            ? tr("The phone's screen server refused that password. Try again:")
                            : tr("The phone's screen server asks for its password:"));
    m_password->clear();
    m_password->setFocus();
    QDialog::open();
}

void PasswordDialog::hand() {
    const QString password = m_password->text();
    m_password->clear();
    Q_EMIT given(password, !m_remember->isHidden() && m_remember->isChecked());
}

} // namespace ostrel
