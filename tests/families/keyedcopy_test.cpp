// The keyed record copy itself: the texts its keys build, and the parts of
// the mechanism that families beyond the items lean on (a natural key read
// from the source, a header whose absence ends the copy, a found record
// left as it is), on families written for the test.

#include <gtest/gtest.h>

#include "engine/keyedcopy.h"
#include "families/items.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

class KeyedCopyTest : public TwoCompanies {};

// One key built from an event (and a source row with CONC_COD 12 and
// CONC_NOMBRE "O'Hara", CONC_FECHA 2026-02-03): the text it becomes, or the
// message that refuses the event.
struct KeyCase {
    const char* name;
    Key key;
    const char* code;
    const char* iddoc;
    const char* expected;
    bool refused = false;
};

const KeyCase kKeys[] = {
    {"CodeQuoted", key::code(), "A'B", "", "'A''B'"},
    {"CodeAsNumber", key::codeNumber(), " 42 ", "", "42"},
    {"CodeNotANumber", key::codeNumber(), "4 or 1=1", "",
     "RPEV_CODIGO vacío o no numérico: '4 or 1=1'", true},
    {"Iddoc", key::iddoc(), "", "-7", "-7"},
    {"IddocEmpty", key::iddoc(), "", "", "RPEV_IDDOC vacío o no numérico: ''", true},
    {"SecondPartQuoted", key::codePart(2), "F|G'|S", "", "'G''|S'"},
    {"ColumnByNameQuoted", key::column("CONC_NOMBRE"), "", "", "'O''Hara'"},
    {"DateColumnInIsoForm", key::column("CONC_FECHA"), "", "", "'2026-02-03'"},
    {"ColumnAsNumber", key::columnNumber(0), "", "", "12"},
    {"TextColumnAsNumber", key::columnNumber("CONC_NOMBRE"), "", "",
     "CONC_NOMBRE vacío o no numérico: 'O'Hara'", true},
};

TEST_F(KeyedCopyTest, KeysBecomeQuotedTextsOrCheckedNumbers) {
    source->execute(
        "INSERT INTO CONCEPTOS_NOMINA (CONC_COD, CONC_NOMBRE, CONC_FECHA) VALUES (12, 'O''Hara', "
        "'2026-02-03')");
    db::Query row(*source);
    row.open("select * from CONCEPTOS_NOMINA");
    for (const KeyCase& c : kKeys) {
        std::string built;
        Event e = event(96, "I", std::nullopt, "", "", "", c.code);
        e.iddocText = c.iddoc;
        const KeyedText text{"x = ", c.key};
        const EventState s = run(
            [&](HandlerContext& ctx) {
                const std::vector<std::string> parts =
                    splitJoinedCode(ctx.event.code, 2).value_or(std::vector<std::string>{});
                built = text.build({ctx, parts, &row});
            },
            e);
        EXPECT_EQ(s.failed, c.refused) << c.name;
        EXPECT_EQ(c.refused ? lastEventError() : built.substr(4), c.expected) << c.name;
    }
}

// Overtime-like records: found by employee, year and period read from the
// source, the destination keeping its own id.
const KeyedFamily kByNaturalKey = {
    .type = 192,
    .tables = {{.source = KeyedText{"select * from NOMINA_HORASEXT where NOEX_ID = ", key::iddoc()},
                .lookup = KeyedText{"SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ",
                                    key::column("TERC_NIT"),
                                    " AND NOEX_ANO = ", key::columnNumber("NOEX_ANO"),
                                    " AND NOEX_PERIODIO = ", key::columnNumber("NOEX_PERIODIO")},
                .keepOnUpdate = std::vector<Col>{0}}},
    .deleteForm = {.kind = DeleteKind::FirstRow,
                   .text = KeyedText{"SELECT * FROM NOMINA_HORASEXT WHERE TERC_NIT = ",
                                     key::column("TERC_NIT"),
                                     " AND NOEX_ANO = ", key::columnNumber("NOEX_ANO"),
                                     " AND NOEX_PERIODIO = ", key::columnNumber("NOEX_PERIODIO")},
                   .keySource =
                       KeyedText{"select TERC_NIT, NOEX_ANO, NOEX_PERIODIO from NOMINA_HORASEXT "
                                 "where NOEX_ID = ",
                                 key::iddoc()}},
};

TEST_F(KeyedCopyTest, NaturalKeyFromTheSourceFindsTheRecordUnderAnotherId) {
    const Handler h = keyedHandler(kByNaturalKey);
    source->execute(
        "INSERT INTO NOMINA_HORASEXT (NOEX_ID, TERC_NIT, NOEX_ANO, NOEX_PERIODIO, NOEX_HED) VALUES "
        "(5, '80''1', 2026, 3, 4.5)");
    for (const char* row : {"(40, '80''1', 2026, 3, 1)", "(41, '80''1', 2026, 4, 1)"}) {
        destination->execute(
            std::string("INSERT INTO NOMINA_HORASEXT (NOEX_ID, TERC_NIT, NOEX_ANO, NOEX_PERIODIO, "
                        "NOEX_HED) VALUES ") +
            row);
    }

    EventState s = run(h, event(192, "U", 5, "", ""));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination,
                     "select NOEX_ID || '=' || NOEX_HED from NOMINA_HORASEXT "
                     "order by NOEX_ID"),
              (std::vector<std::string>{"40=4.50", "41=1.00"}));

    s = run(h, event(192, "D", 5, "", ""));
    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select NOEX_ID from NOMINA_HORASEXT"),
              std::vector<std::string>{"41"});
}

TEST_F(KeyedCopyTest, DeleteWhoseKeyIsGoneFromTheSourceStaysPendingAndSendsNothing) {
    destination->execute(
        "INSERT INTO NOMINA_HORASEXT (NOEX_ID, TERC_NIT, NOEX_ANO, NOEX_PERIODIO) VALUES (40, '', "
        "0, 0)");
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = run(keyedHandler(kByNaturalKey), event(192, "D", 5, "", ""));

    EXPECT_TRUE(s.failed);
    EXPECT_EQ(sent, std::vector<std::string>{"src: select TERC_NIT, NOEX_ANO, NOEX_PERIODIO from "
                                             "NOMINA_HORASEXT where NOEX_ID = 5"});
    EXPECT_EQ(lastEventError(), goneKeyMessage("select TERC_NIT, NOEX_ANO, NOEX_PERIODIO from "
                                               "NOMINA_HORASEXT where NOEX_ID = 5"));
    EXPECT_EQ(count(*destination, "select count(*) from NOMINA_HORASEXT"), 1);
}

// An interface-like header with its account rows: no rows without their
// header in the source, but a refused header does not stop them.
const KeyedFamily kHeaderAndRows = {
    .type = 111,
    .tables = {{.source = KeyedText{"select * from interfaz_bancos where inba_id = ", key::iddoc()},
                .lookup = KeyedText{"SELECT * FROM INTERFAZ_BANCOS WHERE INBA_ID = ", key::iddoc()},
                .endsWhenGone = true},
               {.source =
                    KeyedText{"select * from interfaz_bancos_ctas where inba_id = ", key::iddoc()},
                .lookup = KeyedText{"SELECT * FROM INTERFAZ_BANCOS_CTAS WHERE INBA_ID = ",
                                    key::iddoc(), " AND INBC_ITEM = ", key::columnNumber(1)},
                .rowSet = true}},
};

TEST_F(KeyedCopyTest, RowsFollowTheirHeaderOnlyWhileTheSourceHasIt) {
    const Handler h = keyedHandler(kHeaderAndRows);
    for (int item : {1, 2}) {
        source->execute("INSERT INTO INTERFAZ_BANCOS_CTAS (INBA_ID, INBC_ITEM) VALUES (3, " +
                        sqlInt(item) + ")");
    }
    EventState s = run(h, event(111, "U", 3, "", ""));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from INTERFAZ_BANCOS_CTAS"), 0);

    source->execute("INSERT INTO INTERFAZ_BANCOS (INBA_ID, INBA_NOMBRE) VALUES (3, 'Bancos')");
    destination->execute("CREATE EXCEPTION E_NO 'encabezado rechazado'");
    destination->execute(
        "CREATE TRIGGER T_NO FOR INTERFAZ_BANCOS BEFORE INSERT AS BEGIN EXCEPTION E_NO; END");
    s = run(h, event(111, "U", 3, "", ""));
    EXPECT_TRUE(s.failed);
    EXPECT_NE(lastEventError().find("encabezado rechazado"), std::string::npos);
    EXPECT_EQ(count(*destination, "select count(*) from INTERFAZ_BANCOS_CTAS"), 2);
}

TEST_F(KeyedCopyTest, FoundRecordTheFamilyLeavesIsNotWrittenAndNotAFailure) {
    KeyedFamily f = {
        .type = 102,
        .tables = {{.source = KeyedText{"select * from terceros where terc_nit = ", key::code()},
                    .lookup = KeyedText{"SELECT * FROM TERCEROS WHERE TERC_NIT = ", key::code()},
                    .leaveExisting = [](KeyedStep& step) {
                        return step.destination.asText("TERC_EMPL") == "S";
                    }}}};
    source->execute("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('9', 'fuente')");
    source->execute("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('8', 'fuente')");
    destination->execute(
        "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_EMPL) VALUES ('9', 'empleado', 'S')");
    destination->execute(
        "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_EMPL) VALUES ('8', 'otro', 'N')");

    EXPECT_FALSE(run(keyedHandler(f), event(102, "U", std::nullopt, "", "", "", "9")).failed);
    EXPECT_FALSE(run(keyedHandler(f), event(102, "U", std::nullopt, "", "", "", "8")).failed);

    EXPECT_EQ(column(*destination, "select TERC_NOMBRE from TERCEROS order by TERC_NIT"),
              (std::vector<std::string>{"fuente", "empleado"}));
}

// Every text an event of a family sends, in its phase, as written.
TEST_F(KeyedCopyTest, UnitsSendTheTextsOfTheirPhase) {
    source->execute("INSERT INTO UNIDAD_ARTICULO (ARTI_COD, UNAR_UNIDAD) VALUES ('A''1', 'CAJA')");
    const Handler units = keyedHandler(families::itemFamily(124));
    std::vector<std::string> sent;
    traceDestination(sent);

    run(units, event(124, "I", std::nullopt, "", "", "", "A'1", "CAJA"));
    run(units, event(124, "D", std::nullopt, "", "", "", "A'1", "CAJA"));
    phase = Phase::Upload;
    run(units, event(124, "I", std::nullopt, "", "", "", "A'1", "CAJA"));
    run(units, event(124, "D", std::nullopt, "", "", "", "A'1", "CAJA"));
    db::Connection::setTraceHook({});

    EXPECT_EQ(
        sent,
        (std::vector<std::string>{
            "src: select * from unidad_articulo where arti_cod = 'A''1' and unar_unidad = 'CAJA'",
            "dst: SELECT * from UNIDAD_ARTICULO where arti_cod = 'A''1' AND UNAR_UNIDAD = 'CAJA'",
            "dst: SELECT * from UNIDAD_ARTICULO where arti_cod = 'A''1' and unar_unidad = 'CAJA'",
            "src: select * from unidad_articulo where arti_cod = 'A''1' AND UNAR_UNIDAD = 'CAJA'",
            "dst: SELECT * from UNIDAD_ARTICULO where arti_cod = 'A''1' AND UNAR_UNIDAD = 'CAJA'",
            "dst: SELECT * from UNIDAD_ARTICULO where arti_cod = 'A''1' AND UNAR_UNIDAD = 'CAJA'",
        }));
}

}  // namespace
}  // namespace replica
