#pragma once
// The demo installation: what an ERP installation looks like on disk, built
// from the schema scripts, for newcomers and for end-to-end tests.
//
//   DIR/datos/general.fdb            companies 001, 002, 003 and a user
//   DIR/datos/NNN/norvale.fdb        one company database each
//   DIR/SERVIDORES.cfg               the login screen's server list
//
// Every company database gets REPLICA_COMPANIA (all three companies on the
// server text DIR, 002 marked as download source; in 002 itself, 001),
// CONFIGURACION with every setting the agent reads (001 takes purchase
// documents as inventory movements and transfers as entries, 002 keeps
// purchase documents as they are, 003 takes them as movements; 001 takes
// sales invoices as inventory exits, 002 and 003 as invoices, and 003 does
// not want their cash-payment lines), SUCURSALES,
// REPLICACION_CONFIGURA (every document type replicated to the other two
// companies) and some master data. Building over an existing installation
// replaces it.

#include <string>
#include <vector>

namespace replica::demo {

struct InstallationOptions {
    std::string user = "SYSDBA";
    std::string password = "masterkey";
    std::vector<std::string> companies = {"001", "002", "003"};
    std::string downloadSource = "002";
    bool forcedWrites = true;
};

// Throws db::Error or std::runtime_error with a clear message on failure.
void buildInstallation(const std::string& dir, const InstallationOptions& options = {});

std::string generalPath(const std::string& dir);
std::string companyPath(const std::string& dir, const std::string& company);

}  // namespace replica::demo
