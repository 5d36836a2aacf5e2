// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace ostrel {

// Asks for the screen server's password, masked. What is typed lives only
// until it is handed on: the field is emptied as the dialog closes.
class PasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget* parent = nullptr);

    // Opens the dialog without waiting for it; `afterRefusal` says that the
    // last password was wrong.
    void ask(bool afterRefusal);
    // The same, offering to remember the password for the phone (`remember`:
    // the box's first state), with `note` on the keychain when not empty.
    void askOfferingToRemember(bool afterRefusal, bool remember, const QString& note);

Q_SIGNALS:
    // `remember`: the box was offered and ticked.
    void given(const QString& password, bool remember);
    void declined();

private:
    void hand();
    void openAsking(bool afterRefusal);

    QLabel* m_question;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QLabel* m_note;
};

} // namespace ostrel
