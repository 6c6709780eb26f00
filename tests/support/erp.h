#pragma once
// Fresh ERP databases for the tests, built from the demo schema.
//
// The schema scripts are loaded once per test process into template files;
// every database a test asks for is a copy of a template, so it costs a
// file copy rather than a schema load.

#include <memory>
#include <string>
#include <vector>

#include "engine/db/connection.h"

namespace replica::test {

// A company database (every table, view and procedure of the ERP) at path,
// returned open as SYSDBA. The parent folder must exist.
std::unique_ptr<db::Connection> createCompany(const std::string& path);
// A GENERAL.FDB (companies and users) at path, returned open.
std::unique_ptr<db::Connection> createGeneral(const std::string& path);

// A company's row for another in REPLICA_COMPANIA.
struct PeerRow {
    std::string code;
    std::string server;            // the folder (or host) its database is found under
    std::string name = "C";        // RPCP_NOMBRE
    std::string active = "S";      // RPCO_ACTIVA
    std::string downloadSource{};  // RPCO_ERRO: "S" the download source; "": null
};
// What a local company's agent reads before a run: the replication user in
// CONFIGURACION (SYSDBA; the password is the server's) and a row per peer.
void configureReplication(db::Connection& local, const std::vector<PeerRow>& peers);
void addPeer(db::Connection& local, const PeerRow& peer);

}  // namespace replica::test
