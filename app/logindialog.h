#pragma once
// The interim login of an interactive start: server text, user name and
// password, proved by opening GENERAL.FDB.
//
// It stands in for the access-control screen until that screen exists: the
// main screen reaches it only through its login hook, so replacing it is a
// one-line change. The dialog stays open after a refused login so that the
// operator can correct the fields; cancelling it ends the program.

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;

namespace replica::app {

class LoginDialog : public QDialog {
    Q_OBJECT

  public:
    // Tries the three values; returns "" on success, otherwise the text to
    // show (the failure has already been recorded by the caller).
    using Connect =
        std::function<QString(const QString& server, const QString& user, const QString& password)>;

    LoginDialog(Connect tryLogin, QWidget* parent = nullptr);

  private:
    void enter();

    Connect m_connect;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_status = nullptr;
};

}  // namespace replica::app
