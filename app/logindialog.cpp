#include "app/logindialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace replica::app {

LoginDialog::LoginDialog(Connect tryLogin, QWidget* parent)
    : QDialog(parent), m_connect(std::move(tryLogin)) {
    setWindowTitle(QString::fromUtf8("Control de acceso"));
    auto* form = new QFormLayout;
    m_server = new QLineEdit(this);
    m_server->setObjectName("Servidor");
    m_user = new QLineEdit(this);
    m_user->setObjectName("Usuario");
    m_password = new QLineEdit(this);
    m_password->setObjectName("Clave");
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QString::fromUtf8("Servidor : "), m_server);
    form->addRow(QString::fromUtf8("Usuario : "), m_user);
    form->addRow(QString::fromUtf8("Clave : "), m_password);

    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->hide();

    auto* buttons = new QDialogButtonBox(this);
    auto* enterButton =
        buttons->addButton(QString::fromUtf8("Entrar"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8("Salir"), QDialogButtonBox::RejectRole);
    enterButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::enter);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    m_user->setFocus();
}

void LoginDialog::enter() {
    const QString failure = m_connect(m_server->text(), m_user->text(), m_password->text());
    if (failure.isEmpty()) {
        accept();
        return;
    }
    m_status->setText(failure);
    m_status->show();
}

}  // namespace replica::app
