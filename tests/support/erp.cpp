#include "tests/support/erp.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "demo/script.h"
#include "engine/sql.h"
#include "tests/support/tempdir.h"

namespace replica::test {

namespace {

// The templates outlive the test process: every test runs in a process of
// its own, and building the schema costs more than most tests. They live
// beside the test programs, named after a digest of the schema files, so a
// changed schema gets new ones; each is built under a name of its own and
// renamed into place, so processes that race on the first build each see a
// whole file.
#ifndef REPLICA_TEST_TEMPLATE_DIR
#error "REPLICA_TEST_TEMPLATE_DIR: where the test programs keep their template databases"
#endif

std::string schemaDigest(const std::string& schema) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(REPLICA_DEMO_SQL_DIR) + "/" + schema)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    // FNV-1a over names and contents: enough to tell one schema from another.
    std::uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](const std::string& bytes) {
        for (const char c : bytes) {
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    };
    for (const auto& f : files) {
        mix(f.filename().string());
        mix(slurp(f.string()));
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string buildTemplate(const std::string& schema) {
    const std::filesystem::path dir(REPLICA_TEST_TEMPLATE_DIR);
    const std::filesystem::path path = dir / (schema + "-" + schemaDigest(schema) + ".fdb");
    if (std::filesystem::exists(path)) {
        return path.string();
    }
    std::filesystem::create_directories(dir);
    const std::filesystem::path building =
        dir / (path.stem().string() + "." + std::to_string(getpid()) + ".building");
    std::filesystem::remove(building);
    auto conn = createDatabase(building.string());
    demo::loadSchema(*conn, std::string(REPLICA_DEMO_SQL_DIR), schema);
    conn->close();
    std::filesystem::rename(building, path);
    return path.string();
}

struct Templates {
    std::string company;
    std::string general;
};

Templates& templates() {
    static Templates t;
    static std::once_flag once;
    std::call_once(once, [] {
        t.company = buildTemplate("company");
        t.general = buildTemplate("general");
    });
    return t;
}

std::unique_ptr<db::Connection> copyOf(const std::string& from, const std::string& path) {
    std::filesystem::copy_file(from, path, std::filesystem::copy_options::overwrite_existing);
    return openDatabase(path);
}

}  // namespace

std::unique_ptr<db::Connection> createCompany(const std::string& path) {
    return copyOf(templates().company, path);
}

std::unique_ptr<db::Connection> createGeneral(const std::string& path) {
    return copyOf(templates().general, path);
}

void addPeer(db::Connection& local, const PeerRow& peer) {
    local.execute(
        "insert into REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
        "RPCO_ACTIVA) values (" +
        Q(peer.code) + ", " + Q(peer.name) + ", " + Q(peer.server) + ", " +
        (peer.downloadSource.empty() ? std::string("null") : Q(peer.downloadSource)) + ", " +
        Q(peer.active) + ")");
}

void configureReplication(db::Connection& local, const std::vector<PeerRow>& peers) {
    for (const char* property : {"NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS",
                                 "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS"}) {
        local.execute(
            "insert into CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
            "CONF_VALOR) values ('INVENTARIO', 'ARTICULOS', " +
            Q(property) + ", 'SYSDBA')");
    }
    for (const PeerRow& peer : peers) {
        addPeer(local, peer);
    }
}

}  // namespace replica::test
