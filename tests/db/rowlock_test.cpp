// Rows held locked by an open transaction: what the agent uses to keep a
// second agent of its company out, and what it must leave alone (the ERP's
// own writes).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "engine/db/query.h"
#include "engine/db/rowlock.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

namespace replica {
namespace {

using namespace std::chrono_literals;

constexpr const char* kLockSql = "SELECT RPCO_COD FROM REPLICA_COMPANIA WITH LOCK";

class RowLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        erp = test::createCompany(dir.file("c.fdb"));
        erp->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ACTIVA) "
            "VALUES ('002', 'Sur', '/srv', 'S')");
        erp->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ACTIVA) "
            "VALUES ('003', 'Oeste', '/srv', 'S')");
        for (db::Connection* c : {&first, &second}) {
            c->configureLike(*erp);
        }
    }

    std::string text(const std::string& sql) {
        db::Query q(*erp);
        q.open(sql);
        return q.asText(0);
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> erp;  // the ERP's own connection
    db::Connection first;
    db::Connection second;
};

TEST_F(RowLockTest, SecondHolderIsRefusedAtOnceUntilTheFirstReleases) {
    db::RowLock a(first);
    db::RowLock b(second);
    ASSERT_EQ(a.acquire(kLockSql), db::RowLock::Result::Held);
    EXPECT_EQ(a.rows(), 2);
    second.open();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(b.acquire(kLockSql), db::RowLock::Result::Busy);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);  // no wait
    EXPECT_FALSE(b.held());

    a.release();
    EXPECT_EQ(b.acquire(kLockSql), db::RowLock::Result::Held);
    EXPECT_EQ(a.acquire(kLockSql), db::RowLock::Result::Busy);
    // The lock goes with its connection: a holder that ends without
    // releasing (its process killed) frees the rows all the same.
    second.close();
    EXPECT_EQ(a.acquire(kLockSql), db::RowLock::Result::Held);
}

// While the rows are held the ERP goes on: reads see the rows as
// committed, and writes to every other table, and new companies, go
// through at once. Only a change to a held row waits for the release (a
// writer that does not wait is refused instead), and then goes through.
TEST_F(RowLockTest, ErpWritesGoOnWhileTheRowsAreHeld) {
    db::RowLock lock(first);
    ASSERT_EQ(lock.acquire(kLockSql), db::RowLock::Result::Held);

    EXPECT_EQ(text("select RPCP_NOMBRE from REPLICA_COMPANIA where RPCO_COD = '002'"), "Sur");
    const auto started = std::chrono::steady_clock::now();
    erp->execute(
        "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER) VALUES ('002', 11, "
        "'I')");
    erp->execute("INSERT INTO ENTRADAS (ENTR_ID, PREF_PRE, ENTR_NUMERO) VALUES (1, 'EN', '1')");
    erp->execute(
        "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, CONF_VALOR) "
        "VALUES ('M', 'C', 'P', 'V')");
    erp->execute("UPDATE CONFIGURACION SET CONF_VALOR = 'W' WHERE CONF_MODULO = 'M'");
    erp->execute(
        "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_ACTIVA) VALUES ('004', "
        "'Este', 'N')");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    // A writer that does not wait is told at once.
    db::Connection noWait;
    noWait.configureLike(*erp);
    db::RowLock editor(noWait);
    EXPECT_EQ(editor.acquire("SELECT RPCO_COD FROM REPLICA_COMPANIA WHERE RPCO_COD = '002' "
                             "WITH LOCK"),
              db::RowLock::Result::Busy);
    EXPECT_EQ(editor.acquire("SELECT RPCO_COD FROM REPLICA_COMPANIA WHERE RPCO_COD = '004' "
                             "WITH LOCK"),
              db::RowLock::Result::Held);
    editor.release();

    // A waiting writer of a held row goes through once the lock is gone.
    db::Connection waiting;
    waiting.configureLike(*erp);
    std::atomic<bool> done{false};
    auto update = std::async(std::launch::async, [&] {
        waiting.execute("UPDATE REPLICA_COMPANIA SET RPCP_NOMBRE = 'Sur 2' WHERE RPCO_COD = '002'");
        done = true;
    });
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(done);
    lock.release();
    update.get();
    EXPECT_EQ(text("select RPCP_NOMBRE from REPLICA_COMPANIA where RPCO_COD = '002'"), "Sur 2");
}

}  // namespace
}  // namespace replica
