#include "tests/support/tempdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "demo/script.h"

namespace replica::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "replica-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::unique_ptr<db::Connection> createDatabase(const std::string& path, const std::string& script) {
    auto conn = std::make_unique<db::Connection>();
    conn->setPath(path);
    conn->setUserName("SYSDBA");
    conn->setPassword("masterkey");
    conn->create(false);
    if (!script.empty()) {
        demo::runScript(*conn, script);
    }
    return conn;
}

std::unique_ptr<db::Connection> openDatabase(const std::string& path) {
    auto conn = std::make_unique<db::Connection>();
    conn->setPath(path);
    conn->setUserName("SYSDBA");
    conn->setPassword("masterkey");
    conn->open();
    return conn;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace replica::test
