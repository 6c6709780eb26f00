#include "tests/support/erp.h"

#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "demo/script.h"
#include "tests/support/tempdir.h"

namespace replica::test {

namespace {

struct Templates {
    TempDir dir;
    std::string company;
    std::string general;
};

std::string buildTemplate(const TempDir& dir, const std::string& name, const std::string& schema) {
    const std::string path = dir.file(name);
    auto conn = createDatabase(path);
    demo::loadSchema(*conn, std::string(REPLICA_DEMO_SQL_DIR), schema);
    conn->close();
    return path;
}

Templates& templates() {
    static Templates t;
    static std::once_flag once;
    std::call_once(once, [] {
        t.company = buildTemplate(t.dir, "company.fdb", "company");
        t.general = buildTemplate(t.dir, "general.fdb", "general");
    });
    return t;
}

std::unique_ptr<db::Connection> copyOf(const std::string& from, const std::string& path) {
    std::filesystem::copy_file(from, path, std::filesystem::copy_options::overwrite_existing);
    auto conn = std::make_unique<db::Connection>();
    conn->setPath(path);
    conn->setUserName("SYSDBA");
    conn->setPassword("masterkey");
    conn->open();
    return conn;
}

}  // namespace

std::unique_ptr<db::Connection> createCompany(const std::string& path) {
    return copyOf(templates().company, path);
}

std::unique_ptr<db::Connection> createGeneral(const std::string& path) {
    return copyOf(templates().general, path);
}

}  // namespace replica::test
