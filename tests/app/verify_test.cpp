// `replica verify` on a demo installation the agent replicated: everything
// equal; then each kind of fault reported as what it is, --dry-run writing
// nothing, and --requeue followed by a run bringing agreement back.

#include "app/verify.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/db/connection.h"
#include "engine/db/query.h"
#include "screens/gridtools.h"
#include "screens/verificar.h"
#include "tests/support/program.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

class VerifyCommand : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        demo::InstallationOptions o;
        o.companies = {"001", "002"};
        demo::buildInstallation(dir.path(), o);
        demo::SimulationOptions activity;
        activity.seed = 3;
        activity.documents = 8;
        // Brands, one of them deleted in the source (and by the run in the
        // destination) since.
        activity.masters = 4;
        activity.masterDeletions = 1;
        activity.types = {15, 16, 204};
        demo::simulate(*open("002"), activity);
        ASSERT_EQ(run("--headless --once " + connection()).status, 0);
    }

    std::unique_ptr<db::Connection> open(const std::string& company) {
        return test::openDatabase(demo::companyPath(dir.path(), company));
    }
    std::string connection() const { return "'" + dir.path() + "' SYSDBA masterkey 001"; }
    test::ProgramResult run(const std::string& args) {
        return test::runProgram(dir.path(), args, dir.file("output.txt"));
    }
    static std::int64_t count(db::Connection& c, const std::string& sql) {
        db::Query q(c);
        q.open(sql);
        return q.asInt(0);
    }
    // The id of the n-th kit assembly (by number) in company.
    std::string assembly(db::Connection& c, int n) {
        db::Query q(c);
        q.open("select ENSA_ID from ENSAMBLES order by ENSA_NUMERO");
        for (int i = 1; i < n; ++i) {
            q.next();
        }
        return q.asText(0);
    }
};

TEST_F(VerifyCommand, ReportsEachFaultAndRequeueBringsAgreementBack) {
    const test::ProgramResult equal = run("verify " + connection());
    EXPECT_EQ(equal.status, kVerifyAgrees) << equal.output;
    EXPECT_NE(equal.output.find("Todo coincide."), std::string::npos);
    std::string gone;

    {
        // Closed before the program runs: the embedded engine opens a file
        // in one process at a time.
        auto local = open("001");
        const std::string first = assembly(*local, 1);
        local->execute(
            "delete from ENSAMBLES_DETALLE where ENSA_ID = " + first +
            " and ENSD_ITEM = (select max(ENSD_ITEM) from ENSAMBLES_DETALLE where ENSA_ID = " +
            first + ")");
        local->execute("update ENSAMBLES_DETALLE set ENSD_CANT = ENSD_CANT + 1 where ENSA_ID = " +
                       assembly(*local, 2));
        const std::string third = assembly(*local, 3);
        local->execute("delete from ENSAMBLES_DETALLE where ENSA_ID = " + third);
        local->execute("delete from ENSAMBLES where ENSA_ID = " + third);
        // A brand lost, one changed, and the deleted one back in the
        // destination only.
        auto source = open("002");
        db::Query sent(*source);
        sent.open(
            "select RPEV_CODIGO, RPEV_OPER from REPLICA_EVENTOS where RPEV_TIPO = 204 "
            "order by RPEV_ID desc");
        std::vector<std::string> brands;
        for (sent.first(); !sent.eof(); sent.next()) {
            if (sent.asText(1) == "D") {
                gone = sent.asText(0);
            } else if (sent.asText(0) != gone) {
                brands.push_back(sent.asText(0));
            }
        }
        ASSERT_FALSE(gone.empty());
        ASSERT_GE(brands.size(), 3U);
        local->execute("delete from MARCAS where MARC_COD = '" + brands[0] + "'");
        local->execute("update MARCAS set MARC_NOMBRE = 'Otra' where MARC_COD = '" + brands[1] +
                       "'");
        local->execute("INSERT INTO MARCAS (MARC_COD) VALUES ('" + gone + "')");
    }

    const test::ProgramResult found = run("verify --json " + connection());
    EXPECT_EQ(found.status, kVerifyDiffers) << found.output;
    EXPECT_NE(found.output.find("\"different\":3"), std::string::npos) << found.output;
    EXPECT_NE(found.output.find("\"missing\":2"), std::string::npos) << found.output;
    EXPECT_NE(found.output.find("\"extra\":1"), std::string::npos) << found.output;
    const test::ProgramResult listed = run("verify " + connection());
    EXPECT_NE(listed.output.find("distinto en 001: tipo 204 MARC_COD="), std::string::npos)
        << listed.output;

    const auto pending = [&] {
        auto source = open("002");
        return count(*source, "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null");
    };
    const std::int64_t before = pending();
    const test::ProgramResult dry = run("verify --requeue --dry-run " + connection());
    EXPECT_EQ(dry.status, kVerifyDiffers);
    EXPECT_NE(dry.output.find("Se encolaría en 002"), std::string::npos) << dry.output;
    EXPECT_EQ(pending(), before);

    EXPECT_EQ(run("verify --requeue " + connection()).status, kVerifyDiffers);
    EXPECT_EQ(pending(), before + 5);
    ASSERT_EQ(run("--headless --once " + connection()).status, 0);
    // What nothing sends (the brand the source deleted) stays, as it is.
    const test::ProgramResult again = run("verify --json " + connection());
    EXPECT_EQ(again.status, kVerifyDiffers) << again.output;
    EXPECT_NE(again.output.find("\"missing\":0,\"extra\":1,\"different\":0"), std::string::npos)
        << again.output;
    {
        auto local = open("001");
        local->execute("delete from MARCAS where MARC_COD = '" + gone + "'");
    }
    EXPECT_EQ(run("verify " + connection()).status, kVerifyAgrees);
    EXPECT_EQ(run("verify --with 009 " + connection()).status, kVerifyCannotRun);
}

// The window's "Verificar": the same comparison on the session's open
// connection, within the period chosen, a list of what differs, its export,
// and the chosen documents queued again where they come from.
TEST_F(VerifyCommand, TheWindowListsThePeriodsDifferencesAndQueuesTheChosenOnesAgain) {
    auto local = open("001");
    auto source = open("002");
    const std::string first = assembly(*local, 1);
    const std::string firstThere = assembly(*source, 1);
    // An old document (outside the period) that lost its lines, a line
    // changed, a document deleted.
    local->execute("update ENSAMBLES set ENSA_FECHA = '2020-01-15' where ENSA_ID = " + first);
    source->execute("update ENSAMBLES set ENSA_FECHA = '2020-01-15' where ENSA_ID = " + firstThere);
    local->execute("delete from ENSAMBLES_DETALLE where ENSA_ID = " + first);
    local->execute("update ENSAMBLES_DETALLE set ENSD_CANT = ENSD_CANT + 1 where ENSA_ID = " +
                   assembly(*local, 2));
    const std::string third = assembly(*local, 3);
    local->execute("delete from ENSAMBLES_DETALLE where ENSA_ID = " + third);
    local->execute("delete from ENSAMBLES where ENSA_ID = " + third);

    screens::Tfverificar screen(
        [&](const Period& period) {
            VerifyOptions options;
            options.period = period;
            VerifyReport r = verifyCompany(*local, "001", "", options, {});
            return screens::VerifyOutcome{r.pairs, r.errors};
        },
        [&](const std::vector<Requeued>& events) {
            return requeueInPeers(*local, "001", "", events);
        });
    QStringList said;
    screen.hooks().message =
        screen.hooks().warning = [&](QWidget*, const QString& t) { said << t; };
    screen.hooks().confirm = [&](QWidget*, const QString& t) {
        said << t;
        return true;
    };
    const auto findings = [&] {
        std::multiset<std::string> out;
        for (int r = 0; r < screen.model()->rowCount(); ++r) {
            out.insert(screen.model()->item(r, 3)->text().toStdString() + " en " +
                       screen.model()->item(r, 4)->text().toStdString());
        }
        return out;
    };
    screen.VerificarClick();
    EXPECT_EQ(findings(),
              (std::multiset<std::string>{"distinto en 001", "distinto en 001", "falta en 001"}));
    EXPECT_TRUE(screen.summaryLabel()->text().startsWith("Hay diferencias: "))
        << said.join("|").toStdString();

    screen.periodCheck()->setChecked(true);
    screen.sinceEdit()->setText("2021-13-01");
    screen.VerificarClick();  // not a date: said, nothing compared
    EXPECT_TRUE(said.back().contains("AAAA-MM-DD"));
    screen.sinceEdit()->setText("2021-01-01");
    screen.untilEdit()->setText("2100-12-31");
    EXPECT_EQ(screen.period().since, "2021-01-01");
    screen.VerificarClick();
    EXPECT_EQ(findings(), (std::multiset<std::string>{"distinto en 001", "falta en 001"}));

    // The missing one only: one event, written in the database that sent it.
    int missing = 0;
    while (screen.model()->item(missing, 3)->text() != "falta") {
        ++missing;
    }
    screen.grid()->goToRow(
        screen.grid()->proxy()->mapFromSource(screen.model()->index(missing, 0)).row());
    const std::int64_t before =
        count(*source, "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null");
    screen.EncolarClick();
    EXPECT_EQ(count(*source, "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null"),
              before + 1);
    EXPECT_EQ(said.back(), "Se encolaron 1 eventos.");

    screen.hooks().saveFile = [&](QWidget*, const QString&, const QStringList&, QString& file,
                                  int& filter) {
        file = QString::fromStdString(dir.file("informe"));
        filter = 1;  // CSV
        return true;
    };
    screen.GuardarClick();
    const std::string csv = test::slurp(dir.file("informe.csv"));
    EXPECT_NE(csv.find("Compañías,Tipo,Documento,Resultado,En,Diferencias"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
}

// The window's comparison waits for a slow database on a thread of its own,
// on its own connection: the screen's event loop goes on turning, a second
// press is ignored and a close asked for meanwhile closes once it has ended.
TEST_F(VerifyCommand, TheWindowStaysLiveWhileItComparesAndACloseWaitsForTheComparison) {
    std::atomic<int> runs{0};
    screens::Tfverificar screen(
        [&](const Period& period) {
            ++runs;
            auto local = open("001");
            local->execute(
                "execute block as declare t timestamp; begin t = cast('NOW' as timestamp); "
                "while (datediff(millisecond from t to cast('NOW' as timestamp)) < 800) do "
                "begin end end");
            VerifyOptions options;
            options.period = period;
            VerifyReport r = verifyCompany(*local, "001", "", options, {});
            return screens::VerifyOutcome{r.pairs, r.errors};
        },
        {});
    screen.show();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += screen.comparing() ? 1 : 0; });
    ticker.start(20);
    bool pressIgnored = false;
    bool closeWaits = false;
    QTimer::singleShot(300, &screen, [&] {
        screen.VerificarClick();
        pressIgnored = runs == 1 && !screen.verifyButton()->isEnabled();
        screen.reject();
        closeWaits = screen.isVisible() && screen.comparing();
    });
    screen.VerificarClick();
    EXPECT_GT(ticks, 10);
    EXPECT_TRUE(pressIgnored);
    EXPECT_TRUE(closeWaits);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(screen.result(), QDialog::Rejected);
}

TEST(VerifyOptions, AreTakenOutAndTheRestReadsAsTheStatusCommand) {
    std::vector<std::string> args = {"verify",    "--with", "002", "--types=15,16",
                                     "--requeue", "--json", "dir", "SYSDBA",
                                     "pw",        "001"};
    const VerifyOptions o = takeVerifyOptions(args);
    EXPECT_TRUE(o.error.empty());
    EXPECT_EQ(o.with, "002");
    EXPECT_EQ(o.types, (std::set<int>{15, 16}));
    EXPECT_TRUE(o.requeue);
    EXPECT_TRUE(o.period.open());
    EXPECT_EQ(args, (std::vector<std::string>{"status", "--json", "dir", "SYSDBA", "pw", "001"}));
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"verify", "--types", "15,x"},
          std::vector<std::string>{"verify", "--types", "15,,16"},
          std::vector<std::string>{"verify", "--dry-run"},
          std::vector<std::string>{"verify", "--since", "2026-5-1"},
          std::vector<std::string>{"verify", "--until=ayer"}}) {
        std::vector<std::string> copy = bad;
        EXPECT_FALSE(takeVerifyOptions(copy).error.empty()) << bad[1];
    }
}

}  // namespace
}  // namespace replica::app
