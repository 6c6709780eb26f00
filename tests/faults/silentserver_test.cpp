// A server that stops answering (SIGSTOP) under the database layer: every
// call, the handshake of a new connection included, is given up after the
// connection's time limit with an outage error, and a write given up is no
// refused row.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "tests/support/erp.h"
#include "tests/support/fbserver.h"
#include "tests/support/tempdir.h"

namespace replica::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kLimit{2};

class SilentServer : public ::testing::Test {
  protected:
    void SetUp() override {
        createCompany(dir.file("c.fdb"))->close();
        server = std::make_unique<FirebirdServer>(dir.file("fb"));
        if (!server->running()) {
            GTEST_SKIP() << server->why();
        }
    }
    std::unique_ptr<db::Connection> connect() {
        auto c = std::make_unique<db::Connection>();
        c->setPath(server->remote(dir.file("c.fdb")));
        c->setUserName("SYSDBA");
        c->setPassword("masterkey");
        c->setTimeout(kLimit);
        c->open();
        return c;
    }
    // Runs call, which must fail as given up after the limit.
    template <typename F>
    void expectGivenUp(db::Connection& c, F call) {
        const auto started = Clock::now();
        try {
            call();
            ADD_FAILURE() << "a frozen server answered";
        } catch (const db::Error& e) {
            EXPECT_EQ(e.message(), db::timeoutMessage(c.path(), kLimit));
            EXPECT_TRUE(db::isOutage(e)) << e.gdsCode();
        }
        const auto waited = Clock::now() - started;
        EXPECT_GE(waited, kLimit - 100ms);
        EXPECT_LT(waited, kLimit + 8s);
    }

    TempDir dir;
    std::unique_ptr<FirebirdServer> server;
};

TEST_F(SilentServer, EveryCallIsGivenUpAfterTheLimit) {
    auto c = connect();
    db::Query q(*c);
    q.open("select count(*) from CONFIGURACION");
    server->freeze();

    expectGivenUp(*c, [&] { q.open("select count(*) from CONFIGURACION"); });
    EXPECT_TRUE(c->lost());
    // Gone for good: the next call fails at once, and closing does not wait.
    const auto started = Clock::now();
    EXPECT_THROW(c->execute("delete from CONFIGURACION"), db::Error);
    c->close();
    EXPECT_LT(Clock::now() - started, 1s);
    EXPECT_FALSE(c->lost());

    // A new connection gives up its handshake.
    db::Connection late;
    late.configureLike(*c);
    expectGivenUp(late, [&] { late.open(); });
    EXPECT_FALSE(late.isOpen());

    server->thaw();
    c->open();
    q.open("select count(*) from CONFIGURACION");
    EXPECT_EQ(q.asInt(0), 0);
}

TEST_F(SilentServer, WriteGivenUpIsNoRefusedRowAndLeavesNothing) {
    auto c = connect();
    db::RecordSet rs(*c);
    rs.open("select * from CONFIGURACION");
    rs.append();
    rs.set(rs.requireIndex("CONF_MODULO"), db::Value("M"));
    rs.set(rs.requireIndex("CONF_CATEGORIA"), db::Value("C"));
    rs.set(rs.requireIndex("CONF_PROPIEDAD"), db::Value("P"));
    rs.set(rs.requireIndex("CONF_VALOR"), db::Value("V"));
    rs.post();
    server->freeze();
    int refused = 0;
    expectGivenUp(*c, [&] { rs.apply(0, [&](const db::Error&) { ++refused; }); });
    EXPECT_EQ(refused, 0);
    server->thaw();

    auto again = connect();
    db::Query q(*again);
    q.open("select count(*) from CONFIGURACION");
    EXPECT_EQ(q.asInt(0), 0);
}

}  // namespace
}  // namespace replica::test
