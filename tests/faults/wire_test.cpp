// What a remote attachment asks of the server's wire: compression only when
// the program set it, and the server agreeing to it.

#include <gtest/gtest.h>

#include "engine/db/query.h"
#include "tests/support/erp.h"
#include "tests/support/fbserver.h"
#include "tests/support/tempdir.h"

namespace replica::test {
namespace {

bool compressed(FirebirdServer& server, const std::string& file) {
    db::Connection c;
    c.setPath(server.remote(file));
    c.setUserName("SYSDBA");
    c.setPassword("masterkey");
    db::Query q(c);
    q.open("SELECT RDB$GET_CONTEXT('SYSTEM', 'WIRE_COMPRESSED') FROM RDB$DATABASE");
    return q.asText(0) == "TRUE";
}

TEST(Wire, CompressionIsAskedForOnlyWhenSet) {
    TempDir dir;
    createCompany(dir.file("c.fdb"))->close();
    FirebirdServer server(dir.file("fb"));
    if (!server.running()) {
        GTEST_SKIP() << server.why();
    }
    EXPECT_FALSE(compressed(server, dir.file("c.fdb")));
    db::Connection::setWireCompression(true);
    const bool on = compressed(server, dir.file("c.fdb"));
    db::Connection::setWireCompression(false);
    EXPECT_TRUE(on);
    EXPECT_FALSE(compressed(server, dir.file("c.fdb")));
}

}  // namespace
}  // namespace replica::test
