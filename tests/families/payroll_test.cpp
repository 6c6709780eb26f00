// Payroll records between two real company databases, through the agent's
// catalogue: receivables that keep their id, novelties and overtime found by
// their natural key, concepts that only come down.

#include <gtest/gtest.h>

#include "engine/eventloop.h"
#include "engine/keyedcopy.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

class Payroll : public TwoCompanies {
  protected:
    static void insertReceivableLine(db::Connection& c, int id, int item, int type, int docId,
                                     const std::string& prefix) {
        c.execute(
            "INSERT INTO NOMINA_CARTERA_DETALLE (NCAR_ID, NCDE_ITEM, NCDE_TIPODOC, NCDE_IDDOC, "
            "NCDE_PREF, NCDE_NUMERO, NCDE_VALOR) VALUES (" +
            sqlInt(id) + ", " + sqlInt(item) + ", " + sqlInt(type) + ", " + sqlInt(docId) + ", " +
            Q(prefix) + ", '00000001', 100)");
    }
    static void insertNovelty(db::Connection& c, int id, const std::string& date,
                              const std::string& value) {
        c.execute(
            "INSERT INTO NOMINA_NOVEDADES (NONO_ID, TERC_NIT, TNOV_COD, NONO_FECHA, NONO_VALOR) "
            "VALUES (" +
            sqlInt(id) + ", '80''1', 'VAC', " + Q(date) + ", " + value + ")");
    }
    static void insertNoveltyLines(db::Connection& c, int id, int lines) {
        for (int item = 1; item <= lines; ++item) {
            c.execute(
                "INSERT INTO NOMINA_NOVEDADES_DETALLE (NONO_ID, NOND_ITEM, CONC_COD, NOND_VALOR) "
                "VALUES (" +
                sqlInt(id) + ", " + sqlInt(item) + ", " + sqlInt(10 * id + item) + ", 1)");
        }
    }
    static void insertOvertime(db::Connection& c, int id, int period, const std::string& hours) {
        c.execute(
            "INSERT INTO NOMINA_HORASEXT (NOEX_ID, TERC_NIT, NOEX_ANO, NOEX_PERIODIO, NOEX_HED) "
            "VALUES (" +
            sqlInt(id) + ", '80''1', 2026, " + sqlInt(period) + ", " + hours + ")");
    }
    std::vector<std::string> noveltyLines() {
        return column(*destination,
                      "select NONO_ID || '/' || NOND_ITEM || '=' || CONC_COD from "
                      "NOMINA_NOVEDADES_DETALLE order by NONO_ID, NOND_ITEM");
    }
};

// A receivable line collects a customer document: its type code, the
// document in the destination (or none) and the id its fourth column gets.
struct CollectedCase {
    int type;
    const char* prefix;
    const char* destinationDocument;  // the destination's row with id 500 + line, or null
    int expectedId;
};

const CollectedCase kCollected[] = {
    {31, "FA",
     "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (501, 'FA', "
     "'00000001')",
     501},
    {33, "DV",
     "INSERT INTO DEVOLUCIONES_VENTAS (DEVT_ID, PREF_PRE, DEVT_NUMERO) VALUES (502, "
     "'DV', '00000001')",
     502},
    {41, "ND",
     "INSERT INTO NOTAS_DEBITO_CLIENTES (NDCL_ID, PREF_PRE, NDCL_NUMERO) VALUES (503, "
     "'ND', '00000001')",
     503},
    {42, "NC",
     "INSERT INTO NOTAS_CREDITO_CLIENTES (NCCL_ID, PREF_PRE, NCCL_NUMERO) VALUES (504, "
     "'NC', '00000001')",
     504},
    {45, "AN",
     "INSERT INTO ANTICIPOS_CLIENTE (ANCL_ID, PREF_PRE, ANCL_NUMERO) VALUES (505, "
     "'AN', '00000001')",
     505},
    {45, "AX", nullptr, 0},  // the destination has no such advance
    {21, "FC",
     "INSERT INTO FACTURAS_COMPRA (FACO_ID, PREF_PRE, FACO_NUMERO) VALUES (507, 'FC', "
     "'00000001')",
     0},                  // a supplier invoice is no customer document
    {0, "", nullptr, 0},  // the line names no document
};

TEST_F(Payroll, ReceivableKeepsItsIdAndItsLinesPointAtTheDestinationsDocuments) {
    source->execute(
        "INSERT INTO NOMINA_CARTERA (NCAR_ID, TERC_NIT, NCAR_VALOR) VALUES (5, '80''1', 300)");
    int item = 0;
    for (const CollectedCase& c : kCollected) {
        ++item;
        insertReceivableLine(*source, 5, item, c.type, 90 + item, c.prefix);
        if (c.destinationDocument) {
            destination->execute(c.destinationDocument);
        }
    }
    std::vector<std::string> expected;
    item = 0;
    for (const CollectedCase& c : kCollected) {
        expected.push_back("5/" + std::to_string(++item) + "=" + std::to_string(c.expectedId));
    }
    const std::string lines =
        "select NCAR_ID || '/' || NCDE_ITEM || '=' || NCDE_IDDOC from NOMINA_CARTERA_DETALLE "
        "order by NCDE_ITEM";

    EventState s = dispatch(event(94, "I", 5, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select NCAR_ID || '=' || NCAR_VALOR from NOMINA_CARTERA"),
              std::vector<std::string>{"5=300.00"});
    EXPECT_EQ(column(*destination, lines), expected);

    // A replay replaces the lines under the one header.
    source->execute("DELETE FROM NOMINA_CARTERA_DETALLE WHERE NCDE_ITEM > 1");
    source->execute("UPDATE NOMINA_CARTERA SET NCAR_VALOR = 250");
    phase = Phase::Upload;
    s = dispatch(event(94, "U", 5, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select NCAR_ID || '=' || NCAR_VALOR from NOMINA_CARTERA"),
              std::vector<std::string>{"5=250.00"});
    EXPECT_EQ(column(*destination, lines), std::vector<std::string>{"5/1=501"});

    // "A" deletes the header and leaves its lines; "D" copies what the
    // source has, its new header taking over the lines "A" left (written
    // again under the same id, they would end the run).
    s = dispatch(event(94, "A", 5, "", ""));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from NOMINA_CARTERA"), 0);
    EXPECT_EQ(column(*destination, lines), std::vector<std::string>{"5/1=501"});
    s = dispatch(event(94, "D", 5, "", ""));
    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(count(*destination, "select count(*) from NOMINA_CARTERA"), 1);
    EXPECT_EQ(column(*destination, lines), std::vector<std::string>{"5/1=501"});
}

TEST_F(Payroll, NoveltyIsFoundByEmployeeTypeAndDateAndKeepsTheIdItGotFromTheView) {
    destination->execute("ALTER SEQUENCE GEN_NOMINA_NOVEDADES RESTART WITH 40");
    insertNovelty(*source, 5, "2026-03-04", "10");
    insertNoveltyLines(*source, 5, 3);
    // Same employee and type, day and month the other way round.
    insertNovelty(*destination, 9, "2026-04-03", "99");
    insertNoveltyLines(*destination, 9, 1);
    const std::string headers =
        "select NONO_ID || '=' || NONO_FECHA || ' ' || NONO_VALOR from NOMINA_NOVEDADES order by "
        "NONO_ID";

    EventState s = dispatch(event(193, "I", 5, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, headers),
              (std::vector<std::string>{"9=2026-04-03 99.00", "41=2026-03-04 10.00"}));
    EXPECT_EQ(noveltyLines(),
              (std::vector<std::string>{"9/1=91", "41/1=51", "41/2=52", "41/3=53"}));

    // A later change: found by its key, its id stays, its lines are replaced.
    source->execute("UPDATE NOMINA_NOVEDADES SET NONO_VALOR = 12");
    source->execute("DELETE FROM NOMINA_NOVEDADES_DETALLE WHERE NOND_ITEM = 3");
    phase = Phase::Upload;
    s = dispatch(event(193, "U", 5, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, headers),
              (std::vector<std::string>{"9=2026-04-03 99.00", "41=2026-03-04 12.00"}));
    EXPECT_EQ(noveltyLines(), (std::vector<std::string>{"9/1=91", "41/1=51", "41/2=52"}));

    // "D" while the source still has it: that date's novelty goes, its lines
    // are left to the database.
    s = dispatch(event(193, "D", 5, "", ""));
    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, headers), std::vector<std::string>{"9=2026-04-03 99.00"});
    EXPECT_EQ(noveltyLines(), (std::vector<std::string>{"9/1=91", "41/1=51", "41/2=52"}));
}

// A document whose second of three lines is refused: the event waits, and
// neither its header nor its first line stays (unlike other documents, the
// undo of these two takes the lines too).
TEST_F(Payroll, RefusedSecondLineTakesBackTheHeaderAndTheFirstLine) {
    const struct {
        int type;
        const char* header;
        const char* lines;
        const char* item;
    } kDocuments[] = {{94, "NOMINA_CARTERA", "NOMINA_CARTERA_DETALLE", "NCDE_ITEM"},
                      {193, "NOMINA_NOVEDADES", "NOMINA_NOVEDADES_DETALLE", "NOND_ITEM"}};
    source->execute("INSERT INTO NOMINA_CARTERA (NCAR_ID, TERC_NIT) VALUES (5, '80''1')");
    for (int item = 1; item <= 3; ++item) {
        insertReceivableLine(*source, 5, item, 0, 0, "");
    }
    insertNovelty(*source, 5, "2026-03-04", "10");
    insertNoveltyLines(*source, 5, 3);
    destination->execute("CREATE EXCEPTION E_NO 'linea rechazada'");
    for (const auto& d : kDocuments) {
        destination->execute(std::string("CREATE TRIGGER T_") + d.lines + " FOR " + d.lines +
                             " BEFORE INSERT AS BEGIN IF (NEW." + d.item +
                             " = 2) THEN EXCEPTION E_NO; END");

        const EventState s = dispatch(event(d.type, "I", 5, "", ""));

        EXPECT_TRUE(s.failed) << d.type;
        EXPECT_NE(lastEventError().find("linea rechazada"), std::string::npos) << lastEventError();
        EXPECT_EQ(count(*destination, std::string("select count(*) from ") + d.header), 0);
        EXPECT_EQ(count(*destination, std::string("select count(*) from ") + d.lines), 0);
    }
}

// Overtime in each phase: the texts sent, and the destination's record under
// another id updated in place, then deleted.
TEST_F(Payroll, OvertimeIsFoundByEmployeeYearAndPeriodAsEachPhaseWritesThem) {
    insertOvertime(*source, 5, 3, "4.5");
    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        destination->execute("DELETE FROM NOMINA_HORASEXT");
        insertOvertime(*destination, 40, 3, "1");
        insertOvertime(*destination, 41, 4, "1");
        std::vector<std::string> sent;
        traceDestination(sent);

        EventState s = dispatch(event(192, "U", 5, "", "", "", "80'1"));
        db::Connection::setTraceHook({});
        ASSERT_FALSE(s.failed) << lastEventError();
        EXPECT_EQ(column(*destination,
                         "select NOEX_ID || '=' || NOEX_HED from NOMINA_HORASEXT order by 1"),
                  (std::vector<std::string>{"40=4.50", "41=1.00"}));
        traceDestination(sent);
        s = dispatch(event(192, "D", 5, "", "", "", "80'1"));
        db::Connection::setTraceHook({});
        EXPECT_FALSE(s.failed) << lastEventError();
        EXPECT_EQ(column(*destination, "select NOEX_ID from NOMINA_HORASEXT"),
                  std::vector<std::string>{"41"});

        const std::vector<std::string> kDownload = {
            "src: select * from NOMINA_HORASEXT where NOEX_ID = 5",
            "dst: SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = '80''1' AND NOEX_ANO = 2026 AND "
            "NOEX_PERIODIO = 3",
            "src: select NOEX_ANO, NOEX_PERIODIO from NOMINA_HORASEXT where NOEX_ID = 5",
            "dst: SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = '80''1' AND NOEX_ANO = 2026 AND "
            "NOEX_PERIODIO = 3",
        };
        const std::vector<std::string> kUpload = {
            "src: select * from NOMINA_HORASEXT where NOEX_ID = 5",
            "dst: SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = '80''1' AND NOEX_PERIODIO = '3' "
            "AND NOEX_ANO = '2026'",
            "src: select TERC_NIT, NOEX_ANO, NOEX_PERIODIO from NOMINA_HORASEXT where NOEX_ID = 5",
            "dst: SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = '80''1' AND NOEX_ANO = '2026' AND "
            "NOEX_PERIODIO = 3",
        };
        EXPECT_EQ(sent, p == Phase::Download ? kDownload : kUpload);
    }
    // A new record keeps the source's id.
    destination->execute("DELETE FROM NOMINA_HORASEXT");
    EXPECT_FALSE(dispatch(event(192, "I", 5, "", "", "", "80'1")).failed);
    EXPECT_EQ(column(*destination, "select NOEX_ID from NOMINA_HORASEXT"),
              std::vector<std::string>{"5"});
}

// A deletion whose record is already gone from the source has no key to
// find the destination's copy by: it waits with a message, sends nothing to
// the destination, and the run goes on.
TEST_F(Payroll, DeletionsWhoseSourceRecordIsGoneWaitAndTheRunGoesOn) {
    insertOvertime(*destination, 40, 3, "1");
    insertNovelty(*destination, 41, "2026-03-04", "10");
    insertOvertime(*source, 6, 4, "2");
    const struct {
        int type;
        const char* oper;
        int iddoc;
    } kEvents[] = {{192, "D", 5}, {193, "D", 5}, {192, "I", 6}};
    int id = 0;
    for (const auto& e : kEvents) {
        source->execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, "
            "RPEV_IDDOC, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG) VALUES (" +
            sqlInt(++id) + ", '001', " + sqlInt(e.type) + ", " + Q(e.oper) + ", " +
            sqlInt(e.iddoc) + ", '80''1', '2026-01-01', '08:00:00')");
    }
    std::vector<std::string> sent;
    traceDestination(sent);
    const Catalogue catalogue = families::catalogue();
    EventLoop loop(op, logs, errors, catalogue);
    const PhaseSetup setup{Phase::Download, source.get(), destination.get(), &options, {}, ""};
    loop.select(setup, downloadEventsSql("10", "001", false, false));
    LoopCounts counts;

    loop.handleAll(setup, counts);
    db::Connection::setTraceHook({});

    EXPECT_EQ(counts.completed, 1);
    EXPECT_EQ(counts.failed, 2);
    EXPECT_EQ(column(*source,
                     "select RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID < 3 order by RPEV_ID"),
              (std::vector<std::string>{
                  goneKeyMessage("select NOEX_ANO, NOEX_PERIODIO from NOMINA_HORASEXT where "
                                 "NOEX_ID = 5"),
                  goneKeyMessage("select TERC_NIT, TNOV_COD, NONO_FECHA from NOMINA_NOVEDADES "
                                 "where NONO_ID = 5")}));
    std::vector<std::string> toDestination;
    for (const std::string& sql : sent) {
        if (sql.rfind("dst: ", 0) == 0) {
            toDestination.push_back(sql);
        }
    }
    EXPECT_EQ(toDestination,
              std::vector<std::string>{"dst: SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = "
                                       "'80''1' AND NOEX_ANO = 2026 AND NOEX_PERIODIO = 4"});
    EXPECT_EQ(count(*destination, "select count(*) from NOMINA_HORASEXT"), 2);
    EXPECT_EQ(count(*destination, "select count(*) from NOMINA_NOVEDADES"), 1);
}

TEST_F(Payroll, ConceptsComeDownOnlyAndTheirDeleteRemovesTheConcept) {
    source->execute("INSERT INTO CONCEPTOS_NOMINA (CONC_COD, CONC_NOMBRE) VALUES (12, 'Bono')");
    destination->execute("INSERT INTO CONCEPTOS_NOMINA (CONC_COD, CONC_NOMBRE) VALUES (13, 'x')");

    phase = Phase::Upload;
    EventState s = dispatch(event(96, "I", 12, "", ""));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select CONC_COD from CONCEPTOS_NOMINA"),
              std::vector<std::string>{"13"});

    phase = Phase::Download;
    s = dispatch(event(96, "I", 12, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination,
                     "select CONC_COD || '=' || CONC_NOMBRE from CONCEPTOS_NOMINA "
                     "order by 1"),
              (std::vector<std::string>{"12=Bono", "13=x"}));
    s = dispatch(event(96, "D", 13, "", ""));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select CONC_COD from CONCEPTOS_NOMINA"),
              std::vector<std::string>{"12"});
}

}  // namespace
}  // namespace replica
