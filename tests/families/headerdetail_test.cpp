// The header/detail copy, driven through its model instance, the inventory
// entry, between two real company databases.

#include <gtest/gtest.h>

#include "engine/documentcopy.h"
#include "families/inventory.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

class EntryCopy : public TwoCompanies {
  protected:
    Handler entries = documentHandler(families::inventoryDocument(11));

    // An entry with `lines` lines; every line has ENDE_COSTOPROM 12.345678
    // and no lot expiry date.
    static void insertEntry(db::Connection& c, int id, const std::string& pref,
                            const std::string& number, int lines,
                            const std::string& conc = "Compra de mostrador") {
        c.execute(
            "INSERT INTO ENTRADAS (ENTR_ID, TIDO_COD, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, "
            "BODE_COD, TERC_NIT, ENTR_CONC, ENTR_TASACAMBIO, ENTR_ANULADO, ENTR_OBS, NUMOK) "
            "VALUES (" +
            sqlInt(id) + ", 11, " + Q(pref) + ", " + Q(number) + ", '2024-03-05', '01', '900', " +
            Q(conc) + ", 3912.123456, 'N', NULL, 'S')");
        for (int i = 1; i <= lines; ++i) {
            c.execute(
                "INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM, ARTI_COD, BODE_COD, ENDE_CANT, "
                "ENDE_COSTO, ENDE_COSTOPROM, ENDE_VENCELOTE) VALUES (" +
                sqlInt(id) + ", " + sqlInt(i) + ", 'ART" + std::to_string(i) + "', '01', " +
                sqlInt(i) + ", 1.5, 12.345678, NULL)");
        }
    }
};

TEST_F(EntryCopy, NewEntryTakesTheGeneratorIdAndNumOkAndCopiesEveryOtherColumn) {
    insertEntry(*source, 41, "EN", "00000007", 3);
    destination->execute("ALTER SEQUENCE GEN_ENTRADAS RESTART WITH 500");

    const EventState s = run(entries, event(11, "I", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    const std::int64_t id = count(*destination, "select ENTR_ID from ENTRADAS");
    EXPECT_NE(id, 41);
    EXPECT_EQ(id, count(*destination, "select gen_id(GEN_ENTRADAS, 0) from rdb$database"));
    EXPECT_EQ(s.destinationId, id);
    EXPECT_EQ(column(*destination, "select NUMOK from ENTRADAS"), std::vector<std::string>{"N"});
    // Every column but the id and NUMOK as in the source; the header's
    // 6-decimal rate passes through the 4-decimal rule; a null stays null.
    auto expected = rows(*source,
                         "select TIDO_COD, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, BODE_COD, "
                         "TERC_NIT, ENTR_CONC, ENTR_ANULADO, ENTR_OBS from ENTRADAS");
    EXPECT_EQ(rows(*destination,
                   "select TIDO_COD, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, BODE_COD, TERC_NIT, "
                   "ENTR_CONC, ENTR_ANULADO, ENTR_OBS from ENTRADAS"),
              expected);
    EXPECT_EQ(column(*destination, "select ENTR_TASACAMBIO from ENTRADAS"),
              std::vector<std::string>{"3912.1235"});

    EXPECT_EQ(column(*destination, "select ENTR_ID from ENTRADAS_DETALLE order by ENDE_ITEM"),
              std::vector<std::string>(3, std::to_string(id)));
    EXPECT_EQ(column(*destination, "select ENDE_COSTOPROM from ENTRADAS_DETALLE"),
              std::vector<std::string>(3, "12.3457"));
    EXPECT_EQ(column(*destination, "select ENDE_VENCELOTE from ENTRADAS_DETALLE"),
              std::vector<std::string>(3, "<null>"));
    EXPECT_EQ(column(*destination, "select ARTI_COD from ENTRADAS_DETALLE order by ENDE_ITEM"),
              (std::vector<std::string>{"ART1", "ART2", "ART3"}));
}

TEST_F(EntryCopy, ReplayReplacesHeaderAndLinesInPlaceKeepingTheDestinationId) {
    insertEntry(*source, 41, "EN", "00000007", 3);
    run(entries, event(11, "I", 41, "EN", "00000007"));
    const std::int64_t id = count(*destination, "select ENTR_ID from ENTRADAS");
    // Only an insert writes NUMOK "N"; a replace keeps the destination's own mark.
    destination->execute("update ENTRADAS set NUMOK = 'X'");

    source->execute("update ENTRADAS set ENTR_CONC = 'Corregida', BODE_COD = '02'");
    source->execute("delete from ENTRADAS_DETALLE where ENDE_ITEM = 2");
    source->execute("update ENTRADAS_DETALLE set ENDE_CANT = 9 where ENDE_ITEM = 3");
    const EventState s = run(entries, event(11, "U", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(s.destinationId, id);
    EXPECT_EQ(
        rows(*destination, "select ENTR_ID, ENTR_CONC, BODE_COD, NUMOK from ENTRADAS"),
        (std::vector<std::vector<std::string>>{
            {"ENTR_ID=" + std::to_string(id), "ENTR_CONC=Corregida", "BODE_COD=02", "NUMOK=X"}}));
    EXPECT_EQ(column(*destination,
                     "select ENDE_ITEM || ':' || ENDE_CANT from ENTRADAS_DETALLE "
                     "where ENTR_ID = " +
                         std::to_string(id) + " order by ENDE_ITEM"),
              (std::vector<std::string>{"1:1.0000", "3:9.0000"}));
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 2);
}

TEST_F(EntryCopy, GeneratorWithoutRowKeepsTheSourceIdForHeaderAndLines) {
    destination->execute(
        "CREATE OR ALTER VIEW CAMBIE_ID_ENTRADA (ID) AS SELECT 0 FROM RDB$DATABASE WHERE 1 = 0");
    insertEntry(*source, 41, "EN", "00000007", 2);

    const EventState s = run(entries, event(11, "I", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(s.destinationId, 41);
    EXPECT_EQ(column(*destination, "select ENTR_ID from ENTRADAS"), std::vector<std::string>{"41"});
    EXPECT_EQ(column(*destination, "select ENTR_ID from ENTRADAS_DETALLE"),
              std::vector<std::string>(2, "41"));
}

TEST_F(EntryCopy, ThirdOfFiveLinesRefusedLeavesNoLineOfTheDocumentInEitherPhase) {
    destination->execute(
        "ALTER TABLE ENTRADAS_DETALLE ADD CONSTRAINT CK_SIN_TERCERA CHECK (ENDE_ITEM <> 3)");
    insertEntry(*source, 41, "EN", "00000007", 5);
    // A line of another document, which the undo must leave alone.
    insertEntry(*destination, 900, "OT", "00000001", 1);
    std::vector<std::string> sent;
    traceDestination(sent);

    for (Phase p : {Phase::Download, Phase::Upload, Phase::Download}) {
        phase = p;
        sent.clear();
        const EventState s = run(entries, event(11, "I", 41, "EN", "00000007"));
        const std::vector<std::string> undo(sent.end() - 2, sent.end());

        EXPECT_TRUE(s.failed);
        EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS where ENTR_ID <> 900"), 0);
        EXPECT_EQ(column(*destination, "select ENTR_ID from ENTRADAS_DETALLE"),
                  std::vector<std::string>{"900"});
        // Lines four and five were never tried; the undo takes the lines
        // written before the header.
        const std::string id = std::to_string(s.destinationId);
        EXPECT_EQ(undo, (std::vector<std::string>{
                            "dst: delete from entradas_detalle where entr_id = " + id,
                            "dst: DELETE FROM ENTRADAS WHERE ENTR_ID = " + id}));
        EXPECT_NE(lastEventError().find("CK_SIN_TERCERA"), std::string::npos) << lastEventError();
    }
    EXPECT_NE(test::slurp(dir.file("errorenvio.txt")).find("CK_SIN_TERCERA"), std::string::npos);
}

TEST_F(EntryCopy, RefusedHeaderWritesNoLines) {
    destination->execute(
        "ALTER TABLE ENTRADAS ADD CONSTRAINT CK_SIN_BODEGA_09 CHECK (BODE_COD <> '09')");
    insertEntry(*source, 41, "EN", "00000007", 2);
    source->execute("update ENTRADAS set BODE_COD = '09'");

    const EventState s = run(entries, event(11, "I", 41, "EN", "00000007"));

    EXPECT_TRUE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 0);
    EXPECT_NE(lastEventError().find("CK_SIN_BODEGA_09"), std::string::npos);
}

TEST_F(EntryCopy, DeleteRemovesOnlyTheFirstMatchingHeaderAndLeavesLines) {
    insertEntry(*destination, 1, "EN", "00000007", 2);
    insertEntry(*destination, 2, "EN", "00000007", 2);
    insertEntry(*destination, 3, "EN", "00000008", 1);

    EventState s = run(entries, event(11, "D", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS where ENTR_NUMERO = '00000007'"),
              1);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS where ENTR_NUMERO = '00000008'"),
              1);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 5);

    // A document absent from the destination is no error.
    s = run(entries, event(11, "D", 41, "EN", "00000099"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 2);
}

TEST_F(EntryCopy, AnnulWritesOnlyTheAnnulFlag) {
    insertEntry(*destination, 5, "EN", "00000007", 1);
    auto before = rows(*destination, "select * from ENTRADAS");

    const EventState s = run(entries, event(11, "A", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    auto after = rows(*destination, "select * from ENTRADAS");
    ASSERT_EQ(after.size(), 1u);
    for (std::size_t i = 0; i < after[0].size(); ++i) {
        if (after[0][i].rfind("ENTR_ANULADO=", 0) == 0) {
            EXPECT_EQ(after[0][i], "ENTR_ANULADO=S");
        } else {
            EXPECT_EQ(after[0][i], before[0][i]);
        }
    }
    EXPECT_FALSE(run(entries, event(11, "A", 41, "EN", "00000099")).failed);
}

TEST_F(EntryCopy, OperationLetterIsComparedExactly) {
    // A lower-case "d" is not a delete: it copies.
    insertEntry(*source, 41, "EN", "00000007", 1);
    insertEntry(*destination, 5, "EN", "00000007", 0, "Vieja");

    run(entries, event(11, "d", 41, "EN", "00000007"));

    EXPECT_EQ(
        rows(*destination, "select ENTR_ID, ENTR_CONC from ENTRADAS"),
        (std::vector<std::vector<std::string>>{{"ENTR_ID=5", "ENTR_CONC=Compra de mostrador"}}));
}

TEST_F(EntryCopy, VanishedSourceDocumentWritesNothingAndIsNotAFailure) {
    const EventState s = run(entries, event(11, "I", 999, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
}

TEST_F(EntryCopy, IddocThatIsNoWholeNumberLeavesThatEventPendingAndSendsNothing) {
    insertEntry(*source, 41, "EN", "00000007", 1);
    std::vector<std::string> sent;
    traceDestination(sent);
    for (const char* iddoc : {"", "41 or 1=1"}) {
        Event e = event(11, "I", std::nullopt, "EN", "00000007");
        e.iddocText = iddoc;
        sent.clear();

        const EventState s = run(entries, e);

        EXPECT_TRUE(s.failed);
        EXPECT_EQ(sent, std::vector<std::string>{}) << iddoc;
        EXPECT_EQ(lastEventError(), std::string("RPEV_IDDOC vacío o no numérico: '") + iddoc + "'");
    }
    // A delete finds the document by prefix and number: no id needed.
    insertEntry(*destination, 5, "EN", "00000007", 0);
    EXPECT_FALSE(run(entries, event(11, "D", std::nullopt, "EN", "00000007")).failed);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
}

TEST_F(EntryCopy, NullIntoARequiredColumnFailsTheEventNamingTheColumn) {
    destination->execute("ALTER TABLE ENTRADAS ALTER COLUMN ENTR_OBS SET NOT NULL");
    insertEntry(*source, 41, "EN", "00000007", 1);

    EXPECT_TRUE(run(entries, event(11, "I", 41, "EN", "00000007")).failed);
    EXPECT_EQ(op.lastError, "Ultimo error: Los campos ENTR_OBS,  son obligatorios.");
    EXPECT_EQ(lastEventError(), "Field 'ENTR_OBS' must have a value");
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
}

// Lines that do not fit the destination's table fail the event once its
// header is written: the header is taken back, no line is left.
TEST_F(EntryCopy, SourceWithFewerColumnsThanTheDestinationFailsTheEventAndUndoes) {
    destination->execute("ALTER TABLE ENTRADAS_DETALLE ADD ENDE_EXTRA INTEGER");
    insertEntry(*source, 41, "EN", "00000007", 1);

    EXPECT_TRUE(run(entries, event(11, "I", 41, "EN", "00000007")).failed);
    EXPECT_NE(lastEventError().find("columns copied into ENTRADAS_DETALLE"), std::string::npos)
        << lastEventError();
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 0);
}

// Hooks run at their documented points and can change what is written.
TEST_F(EntryCopy, HooksOverrideColumnsAndStepLines) {
    insertEntry(*source, 41, "EN", "00000007", 3);
    DocumentFamily f = families::inventoryDocument(11);
    std::vector<std::string> calls;
    f.afterCopy = [&](HeaderStep& h) {
        calls.push_back(h.generated ? "afterCopy generated" : "afterCopy");
        h.header.set("ENTR_CONC", db::Value("Cambiado"));
    };
    f.beforePost = [&](HeaderStep& h) {
        calls.push_back(h.generated ? "beforePost generated" : "beforePost");
    };
    f.afterHeader = [&](HeaderStep&) { calls.push_back("afterHeader"); };
    f.details[0].beforePost = [](LineStep& l) { l.line.set("ENDE_OBS", db::Value("paso")); };
    f.details[0].afterWrite = [&](LineStep& l) {
        calls.push_back("line " + l.source.asText("ENDE_ITEM"));
    };
    f.afterSuccess = [&](HeaderStep&) { calls.push_back("afterSuccess"); };

    const EventState s = run(documentHandler(f), event(11, "I", 41, "EN", "00000007"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(calls, (std::vector<std::string>{"afterCopy", "beforePost generated", "afterHeader",
                                               "line 1", "line 2", "line 3", "afterSuccess"}));
    EXPECT_EQ(column(*destination, "select ENTR_CONC from ENTRADAS"),
              std::vector<std::string>{"Cambiado"});
    EXPECT_EQ(column(*destination, "select distinct ENDE_OBS from ENTRADAS_DETALLE"),
              std::vector<std::string>{"paso"});
}

TEST_F(EntryCopy, FailedCheckAfterTheLinesRunsTheUndoInOrder) {
    insertEntry(*source, 41, "EN", "00000007", 2);
    DocumentFamily f = families::inventoryDocument(11);
    f.afterDetails = [](HeaderStep& h) { h.ctx.state.failed = true; };
    bool undone = false;
    f.beforeUndo = [&](HeaderStep&) { undone = true; };
    f.afterSuccess = [](HeaderStep&) { FAIL() << "not a success"; };

    const EventState s = run(documentHandler(f), event(11, "I", 41, "EN", "00000007"));

    EXPECT_TRUE(s.failed);
    EXPECT_TRUE(undone);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS"), 0);
    EXPECT_EQ(count(*destination, "select count(*) from ENTRADAS_DETALLE"), 0);
}

TEST_F(EntryCopy, ExitSendsExactlyTheTextsOfItsFamily) {
    source->execute(
        "INSERT INTO SALIDAS (SALI_ID, TIDO_COD, PREF_PRE, SALI_NUMERO) VALUES (7, 12, 'SA', "
        "'0001')");
    source->execute("INSERT INTO SALIDAS_DETALLE (SALI_ID, SADE_ITEM) VALUES (7, 1)");
    destination->execute(
        "ALTER TABLE SALIDAS_DETALLE ADD CONSTRAINT CK_ITEM CHECK (SADE_ITEM <> 2)");
    const Handler exits = documentHandler(families::inventoryDocument(12));
    std::vector<std::string> sent;
    traceDestination(sent);

    run(exits, event(12, "I", 7, "SA", "0001"));
    source->execute("INSERT INTO SALIDAS_DETALLE (SALI_ID, SADE_ITEM) VALUES (7, 2)");
    run(exits, event(12, "U", 7, "SA", "0001"));
    run(exits, event(12, "A", 7, "SA", "0001"));
    run(exits, event(12, "D", 7, "S'A", "0001"));
    db::Connection::setTraceHook({});

    EXPECT_EQ(sent,
              (std::vector<std::string>{
                  "src: select * from salidas where sali_id = 7",
                  "dst: SELECT * FROM SALIDAS WHERE PREF_PRE = 'SA' AND SALI_NUMERO = '0001'",
                  "dst: select * from cambie_id_salida",
                  "src: select * from salidas_detalle where sali_id = 7",
                  "dst: SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = 1",
                  "src: select * from salidas where sali_id = 7",
                  "dst: SELECT * FROM SALIDAS WHERE PREF_PRE = 'SA' AND SALI_NUMERO = '0001'",
                  "dst: delete from salidas_detalle where sali_id = 1",
                  "src: select * from salidas_detalle where sali_id = 7",
                  "dst: SELECT * FROM SALIDAS_DETALLE WHERE SALI_ID = 1",
                  "dst: delete from salidas_detalle where sali_id = 1",
                  "dst: DELETE FROM SALIDAS WHERE SALI_ID = 1",
                  "dst: SELECT * FROM SALIDAS WHERE PREF_PRE = 'SA' AND SALI_NUMERO = '0001'",
                  "dst: SELECT * FROM SALIDAS WHERE PREF_PRE = 'S''A' AND SALI_NUMERO = '0001'",
              }));
}

}  // namespace
}  // namespace replica
