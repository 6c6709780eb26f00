#pragma once
// Temporary folders and databases for the tests: every test works on real
// Firebird databases that live only as long as the test.

#include <memory>
#include <string>

#include "engine/db/connection.h"

namespace replica::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Creates a database at path (forced writes off: tests need no crash
// safety), runs script on it and returns it open.
std::unique_ptr<db::Connection> createDatabase(const std::string& path,
                                               const std::string& script = {});

// Opens the database at path as SYSDBA, the tests' and benchmarks' user.
std::unique_ptr<db::Connection> openDatabase(const std::string& path);

// Reads a whole file, "" when it does not exist.
std::string slurp(const std::string& path);

}  // namespace replica::test
