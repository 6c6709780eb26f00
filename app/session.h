#pragma once
// What the main screen holds for the life of the process, apart from its
// widgets: the identification (server text, user name, encoded password),
// the GENERAL.FDB and local company connections, the log files and the run
// driver. The window and the console runner share it, so both start,
// choose a company and run in exactly the same way.
//
// Failures: identify, companies and connectCompany throw (db::Error) and
// leave the decision to the caller, which records them through
// unhandled(); run() never throws.
//
// The application's handler for unhandled errors is the error capture,
// unless another one is installed (the access-control screen's, in an
// interactive start). An installed handler receives unhandled() and the
// errors that end a run until a run's upload phase makes its first
// connection attempt; from then on the capture has them for good.

#include <functional>
#include <string>
#include <vector>

#include "app/heldpassword.h"
#include "engine/catalogue.h"
#include "engine/db/connection.h"
#include "engine/logs.h"
#include "engine/operator.h"
#include "engine/rundriver.h"

namespace replica::app {

struct Company {
    std::string code;  // COMP_COD, trailing blanks removed
    std::string name;  // COM_NOMBRE
};

inline constexpr const char* kCompanyListSql =
    "select COMP_COD, COM_NOMBRE from COMPANIA order by COMP_COD";
inline constexpr const char* kBranchListSql = "select SUCU_NOMBRE from SUCURSALES";
inline constexpr const char* kNoDownloadSourceMessage =
    "Esta compañía no tiene servidor de descarga: ninguna compañía activa de "
    "\"Configuración compañías\" está marcada como origen de descarga.";

class Session {
  public:
    Session(Operator& op, Logs::DirectoryProvider directory, Catalogue catalogue);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The command-line identification: closes GENERAL.FDB and opens it at
    // server + "/datos/general.fdb" with user and password as given, then
    // holds the server text, the user name in upper case and the password
    // encoded. Throws db::Error when the database cannot be opened; nothing
    // is held then.
    void identify(const std::string& server, const std::string& user, const std::string& password);
    // What a login screen hands over after it opened GENERAL.FDB itself.
    void setIdentification(std::string server, std::string upperUser, std::string encodedPassword);

    const std::string& serverText() const { return m_server; }
    const std::string& userName() const { return m_user; }
    const HeldPassword& password() const { return m_password; }

    // The company list of GENERAL.FDB. Throws db::Error.
    std::vector<Company> companies();
    // Closes the local company connection, opens the chosen company's
    // database with the held identification and returns its branch names in
    // the order read. Throws db::Error; the connection stays closed then.
    std::vector<std::string> connectCompany(const std::string& code);
    static std::string companyPath(const std::string& server, const std::string& code);

    // Opens the download source of the local company (the server database
    // the download phase reads, found and opened as that phase does, the
    // server override included) on a connection of its own, so that what
    // a run last connected to never matters. Returns "" when it is open,
    // otherwise what the operator reads (kNoDownloadSourceMessage, or the
    // server that could not be opened and why). Throws db::Error when the
    // local database cannot be read.
    std::string openDownloadSource();
    db::Connection& downloadSource() { return m_downloadSource; }

    // One run of the driver, which records whatever ends it early. Returns
    // what the driver reported (not started when it refused or was already
    // running).
    RunReport run();
    // The application-level handler: the installed handler, or the error
    // capture; should that fail too, standard error.
    void unhandled(const std::string& message);
    using Handler = std::function<void(const std::string& message)>;
    // Makes handler the application's handler until the capture takes over
    // (above).
    void installHandler(Handler handler);
    // Whether the capture is the application's handler.
    bool captureInstalled() const { return !m_handler; }

    db::Connection& general() { return m_general; }
    db::Connection& local() { return m_local; }
    Logs& logs() { return m_logs; }
    RunDriver& driver() { return m_driver; }
    ErrorCapture& errors() { return m_driver.errors(); }
    const Catalogue& catalogue() const { return m_catalogue; }

  private:
    Operator& m_op;
    Logs m_logs;
    Catalogue m_catalogue;
    db::Connection m_general;
    db::Connection m_local;
    db::Connection m_downloadSource;
    RunDriver m_driver;
    std::string m_server;
    std::string m_user;
    HeldPassword m_password;
    Handler m_handler;

    void capture(const std::string& message);
};

// The exit status of a --once program for the first run's report (the
// order of precedence is commandline.h's).
int exitStatus(const RunReport& report);

}  // namespace replica::app
