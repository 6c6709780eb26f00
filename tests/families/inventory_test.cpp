// The inventory document families, each between two real company databases,
// and their place in the event catalogue.

#include <gtest/gtest.h>

#include "engine/catalogue.h"
#include "families/all.h"
#include "families/inventory.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

struct Family {
    int type;
    const char* table;
    const char* id;
    const char* number;
    const char* annul;
    const char* detail;
    const char* item;
    const char* generator;  // the sequence behind the family's id view
    bool writesNumOk;
};

const Family kFamilies[] = {
    {12, "SALIDAS", "SALI_ID", "SALI_NUMERO", "SALI_ANULADO", "SALIDAS_DETALLE", "SADE_ITEM",
     "GEN_SALIDAS", true},
    {13, "TRASFERENCIAS", "TRAN_ID", "TRAN_NUMERO", "TRAN_ANULADO", "TRASFERENCIAS_DETALLE",
     "TRAS_ITEM", "GEN_TRASFERENCIAS", true},
    {15, "ENSAMBLES", "ENSA_ID", "ENSA_NUMERO", "ENSA_ANULADO", "ENSAMBLES_DETALLE", "ENSD_ITEM",
     "GEN_ENSAMBLES", true},
    {16, "DESENSAMBLES", "DESE_ID", "DESE_NUMERO", "DESE_ANULADO", "DESENSAMBLES_DETALLE",
     "DESD_ITEM", "GEN_DESENSAMBLES", true},
    {17, "RESERVAS", "RESE_ID", "RESE_NUMERO", "RESE_ANULADO", "RESERVAS_DETALLE", "REDE_ITEM",
     "GEN_RESERVAS", false},
    {18, "ORDENES_INVENTARIO", "ORIN_ID", "ORIN_NUMERO", "ORIN_ANULADO", "ORDENINVENTARIO_DETALLE",
     "ORDE_ITEM", "GEN_ORDENES_INVENTARIO", false},
};

class InventoryFamily : public TwoCompanies, public ::testing::WithParamInterface<Family> {
  protected:
    void insertDocument(db::Connection& c, int id, const std::string& numok, int lines) {
        const Family& f = GetParam();
        c.execute(std::string("INSERT INTO ") + f.table + " (" + f.id + ", TIDO_COD, PREF_PRE, " +
                  f.number + ", BODE_COD, " + f.annul + ", NUMOK) VALUES (" + sqlInt(id) + ", " +
                  sqlInt(f.type) + ", 'PR', '00000042', '01', 'N', " + Q(numok) + ")");
        for (int i = 1; i <= lines; ++i) {
            c.execute(std::string("INSERT INTO ") + f.detail + " (" + f.id + ", " + f.item +
                      ", ARTI_COD) VALUES (" + sqlInt(id) + ", " + sqlInt(i) + ", 'ART" +
                      std::to_string(i) + "')");
        }
    }
    std::string header() {
        const Family& f = GetParam();
        return std::string("select ") + f.id + ", PREF_PRE, " + f.number + ", BODE_COD, " +
               f.annul + ", NUMOK from " + f.table;
    }
};

TEST_P(InventoryFamily, CopiesReplacesAnnulsAndDeletesItsDocument) {
    const Family& f = GetParam();
    const Handler h = documentHandler(families::inventoryDocument(f.type));
    insertDocument(*source, 77, "S", 3);
    destination->execute(std::string("ALTER SEQUENCE ") + f.generator + " RESTART WITH 300");

    EventState s = run(h, event(f.type, "I", 77, "PR", "00000042"));
    ASSERT_FALSE(s.failed) << lastEventError();
    const std::string id =
        column(*destination, std::string("select ") + f.id + " from " + f.table).at(0);
    EXPECT_NE(id, "77");
    EXPECT_EQ(id, column(*destination,
                         std::string("select gen_id(") + f.generator + ", 0) from rdb$database")
                      .at(0));
    EXPECT_EQ(column(*destination, std::string("select NUMOK from ") + f.table),
              std::vector<std::string>{f.writesNumOk ? "N" : "S"});
    EXPECT_EQ(column(*destination,
                     std::string("select ") + f.id + " from " + f.detail + " order by " + f.item),
              std::vector<std::string>(3, id));

    // Replay: one header, same id, lines replaced; every column but the id
    // is rewritten from the source. A family that marks new headers with
    // NUMOK "N" keeps the destination's own mark on a replace.
    destination->execute(std::string("update ") + f.table + " set NUMOK = 'X'");
    source->execute(std::string("update ") + f.table + " set BODE_COD = '02'");
    source->execute(std::string("delete from ") + f.detail + " where " + f.item + " = 1");
    s = run(h, event(f.type, "U", 77, "PR", "00000042"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(rows(*destination, header()),
              (std::vector<std::vector<std::string>>{
                  {std::string(f.id) + "=" + id, "PREF_PRE=PR", std::string(f.number) + "=00000042",
                   "BODE_COD=02", std::string(f.annul) + "=N",
                   std::string("NUMOK=") + (f.writesNumOk ? "X" : "S")}}));
    EXPECT_EQ(column(*destination,
                     std::string("select ") + f.item + " from " + f.detail + " order by " + f.item),
              (std::vector<std::string>{"2", "3"}));

    s = run(h, event(f.type, "A", 77, "PR", "00000042"));
    EXPECT_EQ(column(*destination, std::string("select ") + f.annul + " from " + f.table),
              std::vector<std::string>{"S"});

    s = run(h, event(f.type, "D", 77, "PR", "00000042"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + f.table), 0);
    EXPECT_EQ(count(*destination, std::string("select count(*) from ") + f.detail), 2);
}

TEST_P(InventoryFamily, WritesTheSameRowsWhicheverPhaseAppliesIt) {
    const Family& f = GetParam();
    const Handler h = documentHandler(families::inventoryDocument(f.type));
    insertDocument(*source, 77, "S", 2);
    run(h, event(f.type, "I", 77, "PR", "00000042"));

    auto third = test::createCompany(dir.file("other.fdb"));
    std::swap(destination, third);
    phase = Phase::Upload;
    run(h, event(f.type, "I", 77, "PR", "00000042"));
    std::swap(destination, third);

    EXPECT_EQ(rows(*third, std::string("select * from ") + f.table),
              rows(*destination, std::string("select * from ") + f.table));
    EXPECT_EQ(rows(*third, std::string("select * from ") + f.detail + " order by " + f.item),
              rows(*destination, std::string("select * from ") + f.detail + " order by " + f.item));
}

TEST_P(InventoryFamily, GeneratorWithoutRowKeepsTheSourceIdForTheLines) {
    const Family& f = GetParam();
    const std::string viewName = families::inventoryDocument(f.type).generator.substr(14);
    destination->execute("CREATE OR ALTER VIEW " + viewName +
                         " (ID) AS SELECT 0 FROM RDB$DATABASE WHERE 1 = 0");
    insertDocument(*source, 77, "S", 2);

    const EventState s = run(documentHandler(families::inventoryDocument(f.type)),
                             event(f.type, "I", 77, "PR", "00000042"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(s.destinationId, 77);
    EXPECT_EQ(column(*destination, std::string("select ") + f.id + " from " + f.detail),
              std::vector<std::string>(2, "77"));
}

INSTANTIATE_TEST_SUITE_P(Documents, InventoryFamily, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::to_string(info.param.type); });

class Adjustment : public TwoCompanies {
  protected:
    Handler adjustments = documentHandler(families::inventoryDocument(14));

    void insertAdjustment(db::Connection& c, int id, const std::string& pref,
                          const std::string& number, const std::string& conc, int lines) {
        c.execute(
            "INSERT INTO AJUSTES (AJUS_ID, TIDO_COD, PREF_PRE, AJUS_NUMERO, AJUS_CONC, BODE_COD, "
            "AJUS_ANULADO, NUMOK) VALUES (" +
            sqlInt(id) + ", 14, " + Q(pref) + ", " + Q(number) + ", " + Q(conc) +
            ", '01', 'N', 'S')");
        for (int i = 1; i <= lines; ++i) {
            c.execute("INSERT INTO AJUSTES_DETALLE (AJUS_ID, AJDE_ITEM, AJDE_CANT) VALUES (" +
                      sqlInt(id) + ", " + sqlInt(i) + ", 2.5)");
        }
    }
};

TEST_F(Adjustment, IsStoredUnderTheReceivingPrefixAndFoundAgainByItsConcept) {
    insertAdjustment(*source, 8, "AJ", "000123", "Conteo fisico", 2);

    EventState s = run(adjustments, event(14, "I", 8, "AJ", "000123", "BB"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(rows(*destination, "select PREF_PRE, AJUS_NUMERO, AJUS_CONC, NUMOK from AJUSTES"),
              (std::vector<std::vector<std::string>>{{"PREF_PRE=BB", "AJUS_NUMERO=000123",
                                                      "AJUS_CONC=Ajuste No.AJ000123", "NUMOK=N"}}));
    const std::string id = column(*destination, "select AJUS_ID from AJUSTES").at(0);

    // Hand edits of the three columns are rewritten by the next copy, the
    // other columns come from the source again, the lines are replaced.
    destination->execute("update AJUSTES set PREF_PRE = 'ZZ', NUMOK = 'S', BODE_COD = '07'");
    source->execute("delete from AJUSTES_DETALLE where AJDE_ITEM = 1");
    s = run(adjustments, event(14, "U", 8, "AJ", "000123", "BB"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(
        rows(*destination, "select AJUS_ID, PREF_PRE, BODE_COD, AJUS_CONC, NUMOK from AJUSTES"),
        (std::vector<std::vector<std::string>>{{"AJUS_ID=" + id, "PREF_PRE=BB", "BODE_COD=01",
                                                "AJUS_CONC=Ajuste No.AJ000123", "NUMOK=N"}}));
    EXPECT_EQ(column(*destination, "select AJDE_ITEM from AJUSTES_DETALLE"),
              std::vector<std::string>{"2"});

    run(adjustments, event(14, "A", 8, "AJ", "000123", "BB"));
    EXPECT_EQ(column(*destination, "select AJUS_ANULADO from AJUSTES"),
              std::vector<std::string>{"S"});

    // Renamed by hand, it is no longer recognised: a second copy appears.
    destination->execute("update AJUSTES set AJUS_CONC = 'A mano'");
    run(adjustments, event(14, "U", 8, "AJ", "000123", "BB"));
    EXPECT_EQ(count(*destination, "select count(*) from AJUSTES"), 2);

    run(adjustments, event(14, "D", 8, "AJ", "000123", "BB"));
    EXPECT_EQ(column(*destination, "select AJUS_CONC from AJUSTES"),
              std::vector<std::string>{"A mano"});
}

TEST_F(Adjustment, QuotesInPrefixAndNumberStayInsideTheConcept) {
    insertAdjustment(*source, 8, "A'J", "00'12", "Conteo", 1);
    // A destination adjustment that a broken literal would match instead.
    insertAdjustment(*destination, 90, "XX", "1", "Ajuste No.A", 0);

    EventState s = run(adjustments, event(14, "I", 8, "A'J", "00'12", "BB"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, "select AJUS_CONC from AJUSTES order by AJUS_ID"),
              (std::vector<std::string>{"Ajuste No.A'J00'12", "Ajuste No.A"}));

    s = run(adjustments, event(14, "U", 8, "A'J", "00'12", "BB"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from AJUSTES"), 2);

    run(adjustments, event(14, "D", 8, "A'J", "00'12", "BB"));
    EXPECT_EQ(column(*destination, "select AJUS_CONC from AJUSTES"),
              std::vector<std::string>{"Ajuste No.A"});
}

TEST_F(Adjustment, LookupTextIsTheConceptLiteral) {
    std::vector<std::string> sent;
    traceDestination(sent);
    run(adjustments, event(14, "A", 8, "A'J", "000123", "BB"));
    EXPECT_EQ(sent, std::vector<std::string>{
                        "dst: SELECT * FROM AJUSTES WHERE AJUS_CONC = 'Ajuste No.A''J000123'"});
}

TEST(InventoryCatalogue, RoutesEveryInventoryCodeInBothPhases) {
    const Catalogue c = families::catalogue();
    for (int code : {11, 12, 13, 14, 15, 16, 17, 18}) {
        for (Phase p : {Phase::Download, Phase::Upload}) {
            const auto d = c.handlerFor(p, code);
            EXPECT_EQ(d.route, Catalogue::Route::Handle) << code;
            EXPECT_NE(d.handler, nullptr);
        }
    }
    EXPECT_EQ(c.handlerFor(Phase::Upload, 96).route, Catalogue::Route::Default);
    EXPECT_EQ(c.handlerFor(Phase::Download, 236).route, Catalogue::Route::Default);
    EXPECT_EQ(c.handlerFor(Phase::Download, 9999).route, Catalogue::Route::Default);
}

class ReferenceLookup : public TwoCompanies {};

TEST_F(ReferenceLookup, CodesOutsideTheTableRunNoQuery) {
    int sent = 0;
    db::Connection::setTraceHook([&](const db::Connection&, const std::string&) { ++sent; });
    for (int code : {26, 30, 44}) {
        EXPECT_EQ(referenceId(*destination, code, "FV", "0001"), std::nullopt) << code;
        EXPECT_EQ(referenceSql(code, "FV", "0001"), "");
    }
    db::Connection::setTraceHook({});
    EXPECT_EQ(sent, 0);
}

TEST_F(ReferenceLookup, FindsTheDestinationIdByPrefixAndNumber) {
    destination->execute(
        "INSERT INTO SALIDAS (SALI_ID, PREF_PRE, SALI_NUMERO) VALUES (31, 'S''A', '0001')");
    EXPECT_EQ(referenceSql(12, "S'A", "0001"),
              "select sali_id from salidas where pref_pre = 'S''A' and sali_numero = '0001'");
    EXPECT_EQ(referenceId(*destination, 12, "S'A", "0001"), 31);
    EXPECT_EQ(referenceId(*destination, 12, "S'A", "0002"), std::nullopt);
    EXPECT_EQ(referenceSql(20, "P", "1"),
              "select prde_id from produccion_entrada_enc where prde_pref = 'P' and "
              "prde_numero = '1'");
}

}  // namespace
}  // namespace replica
