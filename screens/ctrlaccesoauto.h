#pragma once
// The access-control screen "Control de acceso" (`Tfaccesoauto`, unit
// ctrlaccesoauto): server, user and password of an interactive start,
// proved by opening the server's GENERAL.FDB.
//
// The server box lists SERVIDORES.cfg of the application directory (and
// accepts a typed server). "F2: &Entrar" closes the main screen's general
// connection, opens <server>/datos/general.fdb with the user name as typed
// and the password, looks the user up in USUARIO by its upper-case name
// (the answer is not examined) and ends the screen with Accepted; the
// general connection is left open. A failure on the way goes to the
// screen's error handler and the screen stays open for another try.
// "ESC: &Salir" ends the screen with Rejected: the main screen then ends
// the program.
//
// The error handler (errorHandler()) is meant to be the application's
// handler for unhandled errors from the creation of this screen until the
// main screen installs its own. It appends date, time, login user name and
// message to ERRORES.TXT and shows one of four translated texts. It holds
// no reference to the screen, so it stays valid after the screen is gone.
//
// How the main screen uses it:
//     screens::Tfaccesoauto login(generalConnection, applicationDirectory, this);
//     installUnhandledErrorHandler(login.errorHandler());
//     if (login.exec() != QDialog::Accepted) { /* end the program */ }
//     server = login.serverText(); user = login.loginUser();
//     encodedPassword = login.loginPassword();

#include <QDialog>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "screens/dialoghooks.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace replica::screens {

// Longest server text SERVIDORES.cfg may hold; longer lines are cut.
inline constexpr std::size_t kMaxServerLine = 255;

// The server texts of the bytes of a SERVIDORES.cfg: one per line, a line
// ending at CR, LF or CR LF; an empty line is an empty entry; the text
// after the last line break is not an entry.
std::vector<std::string> parseServerList(const std::string& bytes);
// The same, read from a file; an absent or unreadable file lists nothing.
std::vector<std::string> readServerList(const std::string& path);

// The text the operator reads for an error message while the login's
// handler is installed.
std::string accessErrorText(const std::string& message);

class Tfaccesoauto : public QDialog {
    Q_OBJECT

  public:
    using DirectoryProvider = std::function<std::string()>;
    using ErrorHandler = std::function<void(const std::string& message)>;

    // general: the main screen's GENERAL.FDB connection (closed and reopened
    // by "Entrar"). appDir: the application directory, asked for afresh at
    // every file access.
    Tfaccesoauto(db::Connection& general, DirectoryProvider appDir, QWidget* parent = nullptr);
    ~Tfaccesoauto() override;

    // Valid after an accepted "Entrar".
    const std::string& serverText() const { return m_serverText; }
    const std::string& loginUser() const { return m_loginUser; }          // upper case
    const std::string& loginPassword() const { return m_loginPassword; }  // encoded

    ErrorHandler errorHandler() const;
    // The handler's boxes as well as the screen's.
    DialogHooks& hooks();

    // "F2: &Entrar" and "ESC: &Salir".
    void Entrar();
    void Salir();

    QComboBox* serverBox() const { return m_server; }
    QLineEdit* userBox() const { return m_user; }
    QLineEdit* passwordBox() const { return m_password; }
    QPushButton* enterButton() const { return m_enter; }
    QPushButton* exitButton() const { return m_exit; }
    QLabel* connectingPanel() const { return m_panel; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    struct Shared;
    bool handleKey(QObject* target, QKeyEvent* key);

    db::Connection& m_general;
    std::shared_ptr<Shared> m_shared;
    std::string m_serverText;
    std::string m_loginUser;
    std::string m_loginPassword;

    QComboBox* m_server = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_enter = nullptr;
    QPushButton* m_exit = nullptr;
    QLabel* m_panel = nullptr;
};

}  // namespace replica::screens
