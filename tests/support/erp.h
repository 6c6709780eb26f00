#pragma once
// Fresh ERP databases for the tests, built from the demo schema.
//
// The schema scripts are loaded once per test process into template files;
// every database a test asks for is a copy of a template, so it costs a
// file copy rather than a schema load.

#include <memory>
#include <string>

#include "engine/db/connection.h"

namespace replica::test {

// A company database (every table, view and procedure of the ERP) at path,
// returned open as SYSDBA. The parent folder must exist.
std::unique_ptr<db::Connection> createCompany(const std::string& path);
// A GENERAL.FDB (companies and users) at path, returned open.
std::unique_ptr<db::Connection> createGeneral(const std::string& path);

}  // namespace replica::test
