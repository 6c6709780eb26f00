#include "engine/server.h"

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/logs.h"
#include "engine/operator.h"
#include "engine/settings.h"
#include "engine/sql.h"

namespace replica {

std::optional<ServerLocation> findDownloadServer(db::Connection& local) {
    db::Query q(local);
    q.open(kDownloadServerSql);
    if (q.isEmpty() || q.asText(0).empty()) {
        return std::nullopt;
    }
    return ServerLocation{q.asText(0), q.asText(1)};
}

std::string uploadServerSql(const std::string& company) {
    return "select RPCO_SERVIDOR from REPLICA_COMPANIA where RPCO_COD = " + Q(company) +
           " AND RPCO_ACTIVA = 'S'";
}

std::optional<std::string> findUploadServer(db::Connection& local, const std::string& company) {
    const std::string server = settings::firstValue(local, uploadServerSql(company));
    if (server.empty()) {
        return std::nullopt;
    }
    return server;
}

std::string serverPath(const std::string& server, const std::string& company) {
    return server + "/datos/" + company + "/norvale.fdb";
}

bool connectServer(db::Connection& server, db::Connection& local, const std::string& serverText,
                   const std::string& company, Logs& logs, Operator& op) {
    server.close();
    const std::string user = settings::firstValue(local, settings::kServerUserSql);
    const std::string password = settings::firstValue(local, settings::kServerPasswordSql);
    const std::string path = serverPath(serverText, company);
    server.setPath(path);
    server.setUserName(user);
    server.setPassword(password);
    try {
        server.open();
    } catch (const db::Error&) {
        // The client's reason is deliberately not shown: only the path is.
        logUnreachable(path, logs, op);
    }
    return server.isOpen();
}

void logUnreachable(const std::string& path, Logs& logs, Operator& op) {
    const std::string text = "No se pudo conectar con el servidor " + path;
    const std::string date = sqlDate(today());
    const std::string time = sqlTime(now());
    logs.error(date, time, text);
    op.setLastError("Ult. error:" + date + ":" + time + " " + text);
}

}  // namespace replica
