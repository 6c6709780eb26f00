#pragma once
// The server database of a phase: where it is and how it is opened.
//
// REPLICA_COMPANIA in the local company database says which company's
// server the download phase reads and where each destination company's
// server lives. The server connection is opened with the replication user
// name and password kept in the local CONFIGURACION. A connection that
// cannot be opened is not an error of the run: it is written to
// errorenvio.txt and to "Ultimo error:", and the caller sees the
// connection closed and skips the phase or the company. A server that stops
// answering, or is lost, during its phase is logged with the same line
// (serverLost) and the run goes on as if it had not been reached.

#include <optional>
#include <string>

#include "engine/db/connection.h"

namespace replica {

class Logs;
class Operator;

struct ServerLocation {
    std::string server;   // RPCO_SERVIDOR
    std::string company;  // RPCO_COD
};

inline constexpr const char* kDownloadServerSql =
    "select first 1 rpco_servidor, rpco_cod from replica_compania r WHERE rpco_activa = 'S' AND "
    "RPCO_ERRO = 'S'";

// The first active row marked for download; none when there is no row or
// its server text is empty.
std::optional<ServerLocation> findDownloadServer(db::Connection& local);
// The server text of an active company; none when there is no row or the
// value is empty.
std::optional<std::string> findUploadServer(db::Connection& local, const std::string& company);
std::string uploadServerSql(const std::string& company);

// server + "/datos/" + company + "/norvale.fdb": joined as they stand.
std::string serverPath(const std::string& server, const std::string& company);

// Closes server, reads the replication credentials from local, sets the
// path and opens it. Returns whether it is open; a failure to open is
// logged (errorenvio.txt, "Ultimo error:") and not thrown. Failures of the
// local database (reading the credentials) are thrown.
bool connectServer(db::Connection& server, db::Connection& local, const std::string& serverText,
                   const std::string& company, Logs& logs, Operator& op);

// The line of a server that cannot be reached at path, in errorenvio.txt
// and on "Ultimo error:".
void logUnreachable(const std::string& path, Logs& logs, Operator& op);

}  // namespace replica
