#include "app/verify.h"

#include <exception>
#include <map>
#include <memory>
#include <optional>

#include "app/session.h"
#include "app/status.h"
#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/text.h"
#include "engine/server.h"
#include "engine/settings.h"
#include "families/all.h"

namespace replica::app {

namespace {

constexpr const char* kUserProperty = settings::kServerUserProperty;
constexpr const char* kPasswordProperty = settings::kServerPasswordProperty;
using db::messageOf;

// "11,12" -> {11, 12}; false for anything but whole numbers.
bool parseTypes(const std::string& list, std::set<int>& types) {
    std::string item;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i < list.size() && list[i] != ',') {
            item += list[i];
            continue;
        }
        if (item.empty() || item.size() > 6 || !db::allDigits(item)) {
            return false;
        }
        types.insert(std::stoi(item));
        item.clear();
    }
    return true;
}

// The companies the local one replicates with, as the run finds their
// servers (the first active row of each; the first active download row).
struct Peer {
    std::string company, server;
    bool downloadSource = false;
};

struct Local {
    std::vector<Peer> peers;
    std::string user, password;  // the replication's, for the peers
};

Local readPeers(db::Connection& local, const std::string& localCompany) {
    Local answer;
    std::set<std::string> seen;
    bool downloadChosen = false;
    bool userSeen = false;
    bool passwordSeen = false;
    db::Query q(local);
    q.open(localStatusSql());
    for (q.first(); !q.eof(); q.next()) {
        const std::string kind = db::rtrim(q.asText(0));
        const std::string code = db::rtrim(q.asText(1));
        if (kind == "S" && db::rtrim(q.asText(8)) == "S") {
            const bool download = db::rtrim(q.asText(9)) == "S" && !downloadChosen;
            downloadChosen = downloadChosen || download;
            if (seen.insert(code).second && !q.asText(7).empty() && code != localCompany) {
                answer.peers.push_back({code, q.asText(7), download});
            }
        } else if (kind == "C" && code == kUserProperty && !userSeen) {
            answer.user = q.asText(7);
            userSeen = true;
        } else if (kind == "C" && code == kPasswordProperty && !passwordSeen) {
            answer.password = q.asText(7);
            passwordSeen = true;
        }
    }
    return answer;
}

// The document and master families a comparison judges.
struct Chosen {
    std::vector<ComparedFamily> documents;
    std::vector<ComparedRecord> records;
};

Chosen chosenFamilies(const std::set<int>& types) {
    Chosen chosen;
    for (const ComparedFamily& f : comparedFamilies(families::documentFamilies())) {
        if (types.empty() || types.contains(f.type)) {
            chosen.documents.push_back(f);
        }
    }
    for (const ComparedRecord& r : comparedRecords(families::keyedFamilies())) {
        if (types.empty() || types.contains(r.type)) {
            chosen.records.push_back(r);
        }
    }
    return chosen;
}

const char* findingJson(Finding f) {
    switch (f) {
        case Finding::Missing:
            return "missing";
        case Finding::Extra:
            return "extra";
        case Finding::Different:
            return "different";
    }
    return "";
}

const std::string& companyAt(const PairReport& p, const Discrepancy& d) {
    return d.at == Side::Source ? p.source : p.destination;
}

std::string documentName(const Discrepancy& d) {
    if (!d.key.empty()) {
        return d.key;
    }
    return d.prefix + "-" + d.number + (d.code.empty() ? "" : " (" + d.code + ")");
}

// Sets other up for peer's database, as a run finds it.
void setPeer(db::Connection& other, const Peer& peer, const Local& answer,
             const std::string& serverOverride) {
    other.setPath(serverPath(serverOverride.empty() ? peer.server : serverOverride, peer.company));
    other.setUserName(answer.user);
    other.setPassword(answer.password);
}

// Compares the local company with one peer and queues (or lists) what the
// comparison found.
void verifyPeer(db::Connection& local, const std::string& company, const Peer& peer,
                const Local& answer, const std::string& serverOverride,
                const VerifyOptions& options, const Chosen& families, VerifyReport& report,
                const std::function<void(const std::string&)>& progress) {
    db::Connection other;
    setPeer(other, peer, answer, serverOverride);
    PairReport pair{.source = company,
                    .destination = peer.company,
                    .period = options.period,
                    .destinationSendsBack = peer.downloadSource};
    try {
        other.open();
        // Each side should hold what the other sent it, and only that.
        const SentDocuments sent = sentDocuments(local, peer.company);
        const SentRecords sentRecordsTo = sentRecords(local, peer.company, families.records);
        SentDocuments sentBack;
        SentRecords sentRecordsBack;
        if (peer.downloadSource) {
            sentBack = sentDocuments(other, company);
            sentRecordsBack = sentRecords(other, company, families.records);
        }
        const auto told = [&](const char* what) {
            return [&, what](const FamilyTally& t, std::int64_t compared) {
                if (progress) {
                    progress(company + " / " + peer.company + ": tipo " + std::to_string(t.type) +
                             ", " + std::to_string(compared) + " " + what + " comparados");
                }
            };
        };
        compare(local, other, families.documents, pair, told("documentos"), &sent, &sentBack);
        compareRecords(local, other, families.records, pair, told("registros"), &sentRecordsTo,
                       &sentRecordsBack);
        const std::vector<Requeued> events = requeueEvents(pair);
        if (options.requeue && !options.dryRun) {
            std::vector<Requeued> inLocal;
            std::vector<Requeued> inOther;
            for (const Requeued& e : events) {
                (e.database == company ? inLocal : inOther).push_back(e);
            }
            requeue(local, inLocal);
            requeue(other, inOther);
        }
        if (options.requeue) {
            report.requeued.insert(report.requeued.end(), events.begin(), events.end());
        }
    } catch (const std::exception& e) {
        report.errors.push_back("No se pudo comparar con la compañía " + peer.company + " (" +
                                other.path() + "): " + messageOf(e));
    }
    report.pairs.push_back(std::move(pair));
}

}  // namespace

VerifyOptions takeVerifyOptions(std::vector<std::string>& args) {
    VerifyOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](const std::string& name, std::string& into) {
            if (a == name && i + 1 < args.size()) {
                into = args[++i];
                return true;
            }
            if (a.rfind(name + "=", 0) == 0) {
                into = a.substr(name.size() + 1);
                return true;
            }
            return false;
        };
        std::string types;
        if (i == 0 && a == kVerifyWord) {
            rest.emplace_back("status");
        } else if (a == "--requeue") {
            options.requeue = true;
        } else if (a == "--dry-run") {
            options.dryRun = true;
        } else if (value("--since", options.period.since) ||
                   value("--until", options.period.until) || value("--with", options.with) ||
                   value("--state-file", options.stateFile)) {
            // taken
        } else if (value("--types", types)) {
            if (!parseTypes(types, options.types)) {
                options.error = "--types: una lista de tipos separados por comas (11,12)";
            }
        } else {
            rest.push_back(a);
        }
    }
    if (options.dryRun && !options.requeue) {
        options.error = "--dry-run solo acompaña a --requeue";
    }
    for (const std::string* date : {&options.period.since, &options.period.until}) {
        if (!date->empty() && !isIsoDate(*date)) {
            options.error = "--since y --until: una fecha AAAA-MM-DD (" + *date + ")";
        }
    }
    args = rest;
    return options;
}

VerifyCounts verifyCounts(const VerifyReport& report) {
    VerifyCounts c;
    for (const PairReport& p : report.pairs) {
        for (const FamilyTally& t : p.families) {
            c.equal += t.equal;
            c.missing += t.missing;
            c.extra += t.extra;
            c.different += t.different;
        }
    }
    return c;
}

int VerifyReport::exitStatus() const {
    if (!errors.empty()) {
        return kVerifyCannotRun;
    }
    for (const PairReport& p : pairs) {
        if (!p.agrees()) {
            return kVerifyDiffers;
        }
    }
    return kVerifyAgrees;
}

VerifyReport runVerify(const CommandLine& cl, const VerifyOptions& options,
                       const std::function<void(const std::string&)>& progress) {
    db::Connection local;
    local.setPath(Session::companyPath(cl.server, cl.company));
    local.setUserName(db::upperCase(cl.user));
    local.setPassword(cl.password);
    try {
        local.open();
    } catch (const std::exception& e) {
        VerifyReport report;
        report.company = cl.company;
        report.errors.push_back("No se pudo leer la base de datos de la compañía " + cl.company +
                                " (" + local.path() + "): " + messageOf(e));
        return report;
    }
    return verifyCompany(local, cl.company, cl.serverOverride, options, progress);
}

VerifyReport verifyCompany(db::Connection& local, const std::string& company,
                           const std::string& serverOverride, const VerifyOptions& options,
                           const std::function<void(const std::string&)>& progress) {
    VerifyReport report;
    report.company = company;
    report.dryRun = options.dryRun;
    Local answer;
    try {
        answer = readPeers(local, company);
    } catch (const std::exception& e) {
        report.errors.push_back("No se pudo leer la base de datos de la compañía " + company +
                                " (" + local.path() + "): " + messageOf(e));
        return report;
    }
    const Chosen families = chosenFamilies(options.types);
    bool found = options.with.empty();
    for (const Peer& peer : answer.peers) {
        if (!options.with.empty() && peer.company != options.with) {
            continue;
        }
        found = true;
        verifyPeer(local, company, peer, answer, serverOverride, options, families, report,
                   progress);
    }
    if (!found) {
        report.errors.push_back("La compañía " + options.with +
                                " no tiene un servidor activo en REPLICA_COMPANIA");
    }
    return report;
}

std::vector<std::string> requeueInPeers(db::Connection& local, const std::string& company,
                                        const std::string& serverOverride,
                                        const std::vector<Requeued>& events) {
    std::vector<std::string> errors;
    std::vector<Requeued> inLocal;
    std::map<std::string, std::vector<Requeued>> inPeers;
    for (const Requeued& e : events) {
        if (e.database == company) {
            inLocal.push_back(e);
        } else {
            inPeers[e.database].push_back(e);
        }
    }
    try {
        requeue(local, inLocal);
        const Local answer = readPeers(local, company);
        for (const Peer& peer : answer.peers) {
            const auto found = inPeers.find(peer.company);
            if (found == inPeers.end()) {
                continue;
            }
            db::Connection other;
            setPeer(other, peer, answer, serverOverride);
            try {
                other.open();
                requeue(other, found->second);
            } catch (const std::exception& e) {
                errors.push_back("No se pudo encolar en la compañía " + peer.company + " (" +
                                 other.path() + "): " + messageOf(e));
            }
            inPeers.erase(found);
        }
    } catch (const std::exception& e) {
        errors.push_back("No se pudo encolar en la compañía " + company + ": " + messageOf(e));
    }
    for (const auto& [code, rest] : inPeers) {
        errors.push_back("La compañía " + code +
                         " no tiene un servidor activo en REPLICA_COMPANIA");
    }
    return errors;
}

std::string verifyText(const VerifyReport& r) {
    std::string out = "Verificación de la compañía " + r.company + "\n";
    for (const PairReport& p : r.pairs) {
        out += "Compañías " + p.source + " y " + p.destination +
               (p.destinationSendsBack ? " (origen de la descarga)" : "") + "\n";
        for (const FamilyTally& t : p.families) {
            if (t.equal + t.missing + t.extra + t.different == 0) {
                continue;  // no document of the type on either side
            }
            out += "  tipo " + std::to_string(t.type) + " (" + t.record +
                   "): " + std::to_string(t.equal) + " iguales, " + std::to_string(t.missing) +
                   " faltan, " + std::to_string(t.extra) + " sobran, " +
                   std::to_string(t.different) + " distintos\n";
        }
        for (const Discrepancy& d : p.discrepancies) {
            out += "  " + std::string(findingText(d.finding)) + " en " + companyAt(p, d) +
                   ": tipo " + std::to_string(d.type) + " " + documentName(d) +
                   (d.what.empty() ? "" : " (" + d.what + ")") + "\n";
        }
    }
    for (const Requeued& e : r.requeued) {
        out += std::string(r.dryRun ? "Se encolaría" : "Encolado") + " en " + e.database +
               ": tipo " + std::to_string(e.type) + " " + e.operation + " " +
               (e.code.empty() ? e.prefix + "-" + e.number : e.code) +
               (e.code.empty() || e.id != 0 ? " id " + std::to_string(e.id) : std::string()) +
               " para " + e.company + "\n";
    }
    for (const std::string& e : r.errors) {
        out += e + "\n";
    }
    out += r.exitStatus() == kVerifyAgrees    ? "Todo coincide.\n"
           : r.exitStatus() == kVerifyDiffers ? "Hay diferencias.\n"
                                              : "No se pudo verificar todo.\n";
    return out;
}

namespace {

std::string discrepancyJson(const Discrepancy& d, const std::string& in) {
    return "{\"type\":" + std::to_string(d.type) + ",\"finding\":\"" + findingJson(d.finding) +
           "\",\"in\":" + jsonQuoted(in) + ",\"prefix\":" + jsonQuoted(d.prefix) +
           ",\"number\":" + jsonQuoted(d.number) + ",\"code\":" + jsonQuoted(d.code) +
           ",\"key\":" + jsonQuoted(d.key) + ",\"id\":" + std::to_string(d.id) +
           ",\"what\":" + jsonQuoted(d.what) + "}";
}

std::string pairJson(const PairReport& p) {
    std::string out = "{\"source\":" + jsonQuoted(p.source) +
                      ",\"destination\":" + jsonQuoted(p.destination) + ",\"families\":[";
    for (std::size_t i = 0; i < p.families.size(); ++i) {
        const FamilyTally& t = p.families[i];
        out += (i ? "," : "") + std::string("{\"type\":") + std::to_string(t.type) +
               ",\"equal\":" + std::to_string(t.equal) +
               ",\"missing\":" + std::to_string(t.missing) +
               ",\"extra\":" + std::to_string(t.extra) +
               ",\"different\":" + std::to_string(t.different) + "}";
    }
    out += "],\"documents\":[";
    for (std::size_t i = 0; i < p.discrepancies.size(); ++i) {
        out +=
            (i ? "," : "") + discrepancyJson(p.discrepancies[i], companyAt(p, p.discrepancies[i]));
    }
    return out + "]}";
}

}  // namespace

std::string verifyJson(const VerifyReport& r) {
    const VerifyCounts c = verifyCounts(r);
    std::string out = "{\"company\":" + jsonQuoted(r.company) +
                      ",\"exit_status\":" + std::to_string(r.exitStatus()) +
                      ",\"equal\":" + std::to_string(c.equal) +
                      ",\"missing\":" + std::to_string(c.missing) +
                      ",\"extra\":" + std::to_string(c.extra) +
                      ",\"different\":" + std::to_string(c.different) + ",\"pairs\":[";
    for (std::size_t i = 0; i < r.pairs.size(); ++i) {
        out += (i ? "," : "") + pairJson(r.pairs[i]);
    }
    out += "],\"requeued\":" + std::to_string(r.requeued.size()) +
           ",\"dry_run\":" + (r.dryRun ? "true" : "false") + ",\"errors\":[";
    for (std::size_t i = 0; i < r.errors.size(); ++i) {
        out += (i ? "," : "") + jsonQuoted(r.errors[i]);
    }
    return out + "]}\n";
}

}  // namespace replica::app
