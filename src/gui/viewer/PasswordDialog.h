// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

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

Q_SIGNALS:
    void given(const QString& password);
    void declined();

private:
    void hand();

    QLabel* m_question;
    QLineEdit* m_password;
};

} // namespace ostrel
