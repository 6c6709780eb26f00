#include "app/status.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <map>

#include "app/session.h"
#include "engine/db/connection.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/eventloop.h"
#include "engine/server.h"
#include "engine/settings.h"
#include "engine/sql.h"

namespace replica::app {

namespace {

// What the upload phase would select: the same condition as its SELECT.
constexpr const char* kUploadable = kUploadedTypes;
constexpr const char* kOldest = "min(RPEV_FECREG + coalesce(RPEV_HORAREG, time '00:00:00'))";
constexpr const char* kUserProperty = settings::kServerUserProperty;
constexpr const char* kPasswordProperty = settings::kServerPasswordProperty;
using db::messageOf;

// One row of a backlog query: type, pending, failed, oldest, age from the
// given column on.
void addRow(Backlog& b, const db::Query& q, int first) {
    TypeBacklog t;
    t.type = static_cast<int>(q.asInt(first));
    t.pending = q.asInt(first + 1);
    t.failed = q.asInt(first + 2);
    Backlog one;
    one.pending = t.pending;
    one.failed = t.failed;
    if (!q.isNull(first + 3)) {
        one.oldest = q.asText(first + 3);
        one.ageSeconds = q.asInt(first + 4);
    }
    one.byType.push_back(t);
    b.add(one);
}

void jsonString(std::string& out, const std::string& s) {
    out += '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// "YYYY-MM-DD HH:MM:SS" as ISO 8601 ("T" between date and time).
std::string isoTime(std::string text) {
    if (text.size() > 10 && text[10] == ' ') {
        text[10] = 'T';
    }
    return text;
}

void jsonBacklog(std::string& out, const Backlog& b) {
    out += "\"pending\":" + std::to_string(b.pending) + ",\"failed\":" + std::to_string(b.failed);
    out += ",\"oldest_pending\":";
    if (b.oldest.empty()) {
        out += "null";
    } else {
        jsonString(out, isoTime(b.oldest));
    }
    out += ",\"oldest_pending_age_seconds\":";
    out += b.ageSeconds ? std::to_string(*b.ageSeconds) : "null";
    out += ",\"by_type\":[";
    for (std::size_t i = 0; i < b.byType.size(); ++i) {
        const TypeBacklog& t = b.byType[i];
        out += (i ? "," : "");
        out += "{\"type\":" + std::to_string(t.type) + ",\"pending\":" + std::to_string(t.pending) +
               ",\"failed\":" + std::to_string(t.failed) + "}";
    }
    out += "]";
}

void jsonDatabase(std::string& out, const DatabaseStatus& d) {
    out += "{\"database\":";
    jsonString(out, d.path);
    out += ",\"ok\":";
    out += d.ok ? "true" : "false";
    out += ",\"error\":";
    if (d.ok) {
        out += "null";
    } else {
        jsonString(out, d.error);
    }
    out += ",";
    jsonBacklog(out, d.backlog);
    out += "}";
}

std::string backlogLine(const Backlog& b) {
    std::string text =
        std::to_string(b.pending) + " pendientes, " + std::to_string(b.failed) + " con error";
    if (!b.oldest.empty()) {
        text += ", el más antiguo del " + b.oldest;
        if (b.ageSeconds) {
            text += " (hace " + ageText(*b.ageSeconds) + ")";
        }
    }
    return text;
}

void textBacklog(std::string& out, const std::string& indent, const std::string& title,
                 const Backlog& b) {
    out += indent + title + ": " + backlogLine(b) + "\n";
    for (const TypeBacklog& t : b.byType) {
        out += indent + "  tipo " + std::to_string(t.type) + ": " + std::to_string(t.pending) +
               " pendientes, " + std::to_string(t.failed) + " con error\n";
    }
}

}  // namespace

void Backlog::add(const Backlog& other) {
    pending += other.pending;
    failed += other.failed;
    if (!other.oldest.empty() && (oldest.empty() || other.oldest < oldest)) {
        oldest = other.oldest;
        ageSeconds = other.ageSeconds;
    }
    for (const TypeBacklog& t : other.byType) {
        auto at = std::lower_bound(byType.begin(), byType.end(), t.type,
                                   [](const TypeBacklog& a, int type) { return a.type < type; });
        if (at == byType.end() || at->type != t.type) {
            byType.insert(at, t);
        } else {
            at->pending += t.pending;
            at->failed += t.failed;
        }
    }
}

int StatusReport::exitStatus() const {
    bool failed = local.backlog.failed > 0;
    bool unreachable = !local.ok;
    for (const DestinationStatus& d : destinations) {
        failed = failed || d.outgoing.failed > 0 || d.incoming.backlog.failed > 0;
        unreachable = unreachable || (d.hasServer && !d.incoming.ok);
    }
    if (unreachable) {
        return kStatusCannotConnect;
    }
    return failed ? kStatusFailed : kStatusOk;
}

std::string localStatusSql() {
    // Three kinds of row in one answer: E (events per destination and
    // type), S (server rows), C (the replication user and password).
    return std::string(
               "select cast('E' as char(1)) as KIND, cast(RPEV_COMPANIA as varchar(100)) as "
               "CODE, RPEV_TIPO as TIPO, count(*) as PENDIENTES, count(RPEV_ERROR) as FALLIDOS, ") +
           kOldest + " as ANTIGUO, datediff(second from " + kOldest +
           " to current_timestamp) as EDAD, cast(null as varchar(1000)) as VALOR, cast(null as "
           "varchar(10)) as ACTIVA, cast(null as varchar(10)) as ERRO from REPLICA_EVENTOS "
           "where RPEV_FECREP is null and RPEV_COMPANIA <> '' and " +
           kUploadable +
           " group by RPEV_COMPANIA, RPEV_TIPO union all select 'S', RPCO_COD, null, null, null, "
           "null, null, RPCO_SERVIDOR, RPCO_ACTIVA, RPCO_ERRO from REPLICA_COMPANIA union all "
           "select 'C', CONF_PROPIEDAD, null, null, null, null, null, CONF_VALOR, null, null "
           "from CONFIGURACION where CONF_MODULO = 'INVENTARIO' and CONF_CATEGORIA = 'ARTICULOS' "
           "and CONF_PROPIEDAD in ('" +
           kUserProperty + "', '" + kPasswordProperty + "')";
}

std::string destinationStatusSql(const std::string& localCompany, bool downloadSource) {
    return std::string("select RPEV_TIPO, count(*), count(RPEV_ERROR), ") + kOldest +
           ", datediff(second from " + kOldest +
           " to current_timestamp) from REPLICA_EVENTOS where RPEV_FECREP is null and "
           "RPEV_COMPANIA = " +
           Q(localCompany) + (downloadSource ? "" : std::string(" and ") + kUploadable) +
           " group by RPEV_TIPO order by RPEV_TIPO";
}

namespace {

// A row of REPLICA_COMPANIA.
struct ServerRow {
    std::string code, server;
    bool active = false, download = false;
};

// What the one local query brings.
struct LocalAnswer {
    std::map<std::string, Backlog> outgoing;  // by destination company
    std::vector<ServerRow> rows;
    // The replication's user and password, for the servers.
    std::string user;
    std::string password;
};

// Reads the local query on local into r.local and answer; false (with
// r.local.error) when it cannot be read.
bool readLocalRows(db::Connection& local, const std::string& company, StatusReport& r,
                   LocalAnswer& answer) {
    bool userSeen = false;
    bool passwordSeen = false;
    try {
        db::Query q(local);
        q.open(localStatusSql());
        for (q.first(); !q.eof(); q.next()) {
            const std::string kind = db::rtrim(q.asText(0));
            const std::string code = db::rtrim(q.asText(1));
            if (kind == "E") {
                addRow(answer.outgoing[code], q, 2);
            } else if (kind == "S") {
                answer.rows.push_back({code, q.asText(7), db::rtrim(q.asText(8)) == "S",
                                       db::rtrim(q.asText(9)) == "S"});
            } else if (code == kUserProperty && !userSeen) {
                answer.user = q.asText(7);
                userSeen = true;
            } else if (code == kPasswordProperty && !passwordSeen) {
                answer.password = q.asText(7);
                passwordSeen = true;
            }
        }
    } catch (const std::exception& e) {
        r.local.error = "No se pudo leer la base de datos de la compañía " + company + " (" +
                        r.local.path + "): " + messageOf(e);
        return false;
    }
    r.local.ok = true;
    return true;
}

// Reads the local company database into r.local and answer; false (with
// r.local.error) when it cannot be opened or read.
bool readLocal(const CommandLine& cl, StatusReport& r, LocalAnswer& answer) {
    db::Connection local;
    local.setPath(r.local.path);
    local.setUserName(db::upperCase(cl.user));
    local.setPassword(cl.password);
    try {
        local.open();
    } catch (const std::exception& e) {
        r.local.error = "No se pudo abrir la base de datos de la compañía " + cl.company + " (" +
                        r.local.path + "): " + messageOf(e);
        return false;
    }
    return readLocalRows(local, cl.company, r, answer);
}

// The rows the run would use, found as it finds them (findUploadServer,
// findDownloadServer) but from the rows the local query already brought:
// the first active row of a company; the first active download row, when
// its server text is not empty.
struct Servers {
    std::map<std::string, const ServerRow*> byCompany;
    const ServerRow* download = nullptr;
};

Servers chooseServers(const std::vector<ServerRow>& rows) {
    Servers servers;
    bool downloadChosen = false;
    for (const ServerRow& row : rows) {
        if (!row.active) {
            continue;
        }
        servers.byCompany.emplace(row.code, &row);
        if (row.download && !downloadChosen) {
            downloadChosen = true;
            servers.download = row.server.empty() ? nullptr : &row;
        }
    }
    return servers;
}

// Every company with local events for it or an active server row, with its
// local events.
std::map<std::string, DestinationStatus> destinationsOf(const LocalAnswer& answer,
                                                        const Servers& servers, StatusReport& r) {
    std::map<std::string, DestinationStatus> destinations;
    for (const auto& [code, backlog] : answer.outgoing) {
        destinations[code].outgoing = backlog;
        r.local.backlog.add(backlog);
    }
    for (const auto& [code, row] : servers.byCompany) {
        // The local company's own row names its server for the others; it is
        // no destination of its own (unless events are addressed to it).
        if (!row->server.empty() && code != r.company) {
            destinations[code];
        }
    }
    return destinations;
}

// Opens d's server database with the replication credentials and reads
// the events it holds for the local company into d.incoming.
void readIncoming(DestinationStatus& d, const std::string& localCompany,
                  const LocalAnswer& answer) {
    d.incoming.path = serverPath(d.server, d.company);
    db::Connection server;
    server.setPath(d.incoming.path);
    server.setUserName(answer.user);
    server.setPassword(answer.password);
    try {
        server.open();
    } catch (const std::exception& e) {
        d.incoming.error =
            "No se pudo conectar con el servidor " + d.incoming.path + ": " + messageOf(e);
        return;
    }
    try {
        db::Query q(server);
        q.open(destinationStatusSql(localCompany, d.downloadSource));
        for (q.first(); !q.eof(); q.next()) {
            addRow(d.incoming.backlog, q, 0);
        }
        d.incoming.ok = true;
    } catch (const std::exception& e) {
        d.incoming.error = "No se pudo leer " + d.incoming.path + ": " + messageOf(e);
    }
}

}  // namespace

StatusReport collectStatus(const CommandLine& cl) {
    StatusReport r;
    r.company = cl.company;
    r.checkedAt = sqlDate(today()) + " " + sqlTime(now());
    r.local.path = Session::companyPath(cl.server, cl.company);
    LocalAnswer answer;
    if (!readLocal(cl, r, answer)) {
        return r;
    }
    const Servers servers = chooseServers(answer.rows);
    std::map<std::string, DestinationStatus> destinations = destinationsOf(answer, servers, r);
    for (auto& [code, d] : destinations) {
        d.company = code;
        const auto found = servers.byCompany.find(code);
        if (found == servers.byCompany.end() || found->second->server.empty()) {
            continue;
        }
        d.hasServer = true;
        d.downloadSource = found->second == servers.download;
        d.server = cl.serverOverride.empty() ? found->second->server : cl.serverOverride;
        readIncoming(d, cl.company, answer);
    }
    for (auto& [code, d] : destinations) {
        r.destinations.push_back(std::move(d));
    }
    return r;
}

StatusReport localStatus(db::Connection& local, const std::string& company) {
    StatusReport r;
    r.company = company;
    r.checkedAt = sqlDate(today()) + " " + sqlTime(now());
    r.local.path = local.path();
    LocalAnswer answer;
    if (!readLocalRows(local, company, r, answer)) {
        return r;
    }
    std::map<std::string, DestinationStatus> destinations =
        destinationsOf(answer, chooseServers(answer.rows), r);
    for (auto& [code, d] : destinations) {
        d.company = code;
        r.destinations.push_back(std::move(d));
    }
    return r;
}

std::string jsonQuoted(const std::string& s) {
    std::string out;
    jsonString(out, s);
    return out;
}

std::string ageText(std::int64_t seconds) {
    if (seconds < 60) {
        return std::to_string(std::max<std::int64_t>(seconds, 0)) + " s";
    }
    const std::int64_t days = seconds / 86400;
    const std::int64_t hours = seconds % 86400 / 3600;
    const std::int64_t minutes = seconds % 3600 / 60;
    std::string text;
    if (days > 0) {
        text += std::to_string(days) + " d ";
    }
    if (days > 0 || hours > 0) {
        text += std::to_string(hours) + " h ";
    }
    return text + std::to_string(minutes) + " min";
}

std::string statusText(const StatusReport& r) {
    std::string out =
        "Estado de la replicación de la compañía " + r.company + " (" + r.checkedAt + ")\n";
    if (!r.local.ok) {
        return out + r.local.error + "\n";
    }
    textBacklog(out, "", "Por enviar desde " + r.company + " (" + r.local.path + ")",
                r.local.backlog);
    for (const DestinationStatus& d : r.destinations) {
        out += "Compañía " + d.company;
        if (!d.hasServer) {
            out += " (sin servidor activo)\n";
        } else {
            out += " (servidor " + d.server + (d.downloadSource ? ", origen de la descarga" : "") +
                   ")\n";
        }
        textBacklog(out, "  ", "por enviar desde " + r.company, d.outgoing);
        if (d.hasServer) {
            if (d.incoming.ok) {
                textBacklog(out, "  ", "por recibir en " + r.company, d.incoming.backlog);
            } else {
                // A database's message may run over several lines: each
                // keeps the indentation of its company.
                std::string error = d.incoming.error;
                for (std::size_t at = error.find('\n'); at != std::string::npos;
                     at = error.find('\n', at + 3)) {
                    error.replace(at, 1, "\n  ");
                }
                out += "  " + error + "\n";
            }
        }
    }
    return out;
}

std::string statusJson(const StatusReport& r) {
    std::string out = "{\"company\":";
    jsonString(out, r.company);
    out += ",\"checked_at\":";
    jsonString(out, isoTime(r.checkedAt));
    out += ",\"exit_status\":" + std::to_string(r.exitStatus());
    out += ",\"local\":";
    jsonDatabase(out, r.local);
    out += ",\"destinations\":[";
    for (std::size_t i = 0; i < r.destinations.size(); ++i) {
        const DestinationStatus& d = r.destinations[i];
        out += (i ? "," : "");
        out += "{\"company\":";
        jsonString(out, d.company);
        out += ",\"server\":";
        if (d.hasServer) {
            jsonString(out, d.server);
        } else {
            out += "null";
        }
        out += ",\"download_source\":";
        out += d.downloadSource ? "true" : "false";
        out += ",\"outgoing\":{";
        jsonBacklog(out, d.outgoing);
        out += "},\"incoming\":";
        if (d.hasServer) {
            jsonDatabase(out, d.incoming);
        } else {
            out += "null";
        }
        out += "}";
    }
    out += "]}\n";
    return out;
}

}  // namespace replica::app
