#include "app/session.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <iostream>

#include "app/commandline.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/server.h"
#include "engine/settings.h"

namespace replica::app {

Session::Session(Operator& op, Logs::DirectoryProvider directory, Catalogue catalogue)
    : m_op(op),
      m_logs(std::move(directory)),
      m_catalogue(std::move(catalogue)),
      m_driver(op, m_logs, m_catalogue, m_local) {
    // Every connection attempt of an upload phase makes the capture the
    // application's handler again.
    m_driver.setUploadConnectHook([this] {
        m_handler = nullptr;
        m_driver.setUnhandledHook(nullptr);
    });
}

void Session::installHandler(Handler handler) {
    m_handler = std::move(handler);
    m_driver.setUnhandledHook(m_handler);
}

void Session::identify(const std::string& server, const std::string& user,
                       const std::string& password) {
    m_general.close();
    m_general.setPath(server + "/datos/general.fdb");
    m_general.setUserName(user);
    m_general.setPassword(password);
    m_general.open();
    HeldPassword held;
    held.set(password);
    setIdentification(server, db::upperCase(user), held.encoded());
}

void Session::setIdentification(std::string server, std::string upperUser,
                                std::string encodedPassword) {
    m_server = std::move(server);
    m_user = std::move(upperUser);
    m_password.setEncoded(std::move(encodedPassword));
}

std::vector<Company> Session::companies() {
    db::Query q(m_general);
    q.open(kCompanyListSql);
    std::vector<Company> list;
    for (q.first(); !q.eof(); q.next()) {
        list.push_back({db::rtrim(q.asText(0)), db::rtrim(q.asText(1))});
    }
    return list;
}

std::string Session::companyPath(const std::string& server, const std::string& code) {
    return server + "/datos/" + code + "/norvale.fdb";
}

std::vector<std::string> Session::connectCompany(const std::string& code) {
    m_local.close();
    m_local.setPath(companyPath(m_server, code));
    m_local.setUserName(m_user);
    m_local.setPassword(m_password.decoded());
    m_local.open();
    db::Query q(m_local);
    q.open(kBranchListSql);
    std::vector<std::string> branches;
    for (q.first(); !q.eof(); q.next()) {
        branches.push_back(db::rtrim(q.asText(0)));
    }
    return branches;
}

std::string Session::openDownloadSource() {
    m_downloadSource.close();
    const std::optional<ServerLocation> location = findDownloadServer(m_local);
    if (!location) {
        return kNoDownloadSourceMessage;
    }
    const std::string& override = m_driver.serverOverride();
    const std::string path =
        serverPath(override.empty() ? location->server : override, location->company);
    m_downloadSource.setPath(path);
    m_downloadSource.setUserName(settings::firstValue(m_local, settings::kServerUserSql));
    m_downloadSource.setPassword(settings::firstValue(m_local, settings::kServerPasswordSql));
    try {
        m_downloadSource.open();
    } catch (const db::Error& e) {
        return "No se pudo conectar con el servidor " + path + "\n" + e.message();
    }
    return {};
}

RunReport Session::run() {
    return m_driver.run();
}

void Session::unhandled(const std::string& message) {
    if (m_handler) {
        // A copy: the handler may show a box, and nothing must replace it
        // under its feet meanwhile.
        const Handler handler = m_handler;
        try {
            handler(message);
            return;
        } catch (const std::exception& e) {
            std::cerr << "replica: " << e.what() << "\n";
        }
    }
    capture(message);
}

void Session::capture(const std::string& message) {
    try {
        errors().ENoManejada(message);
    } catch (const std::exception& e) {
        // The capture itself could not write the event row: the operator
        // still sees the original failure, and standard error keeps both.
        std::cerr << "replica: " << message << "\n";
        std::cerr << "replica: " << e.what() << "\n";
        m_op.setLastError("Ultimo error: " + message);
    }
}

int exitStatus(const RunReport& report) {
    if (!report.started) {
        return kExitNotStarted;
    }
    if (report.outage) {
        return kExitOutage;
    }
    if (!report.finished || report.failed > 0) {
        return kExitEventFailed;
    }
    if (!report.logFailure.empty()) {
        return kExitLogsUnwritten;
    }
    return kExitCompleted;
}

}  // namespace replica::app
