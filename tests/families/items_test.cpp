// The item families and their satellite tables, each between two real
// company databases and through the agent's catalogue.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "demo/simulator.h"
#include "engine/eventloop.h"
#include "families/items.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;

// The 53 columns an item event writes, as a select list.
std::string itemColumnList() {
    std::string list;
    for (const NamedColumn& c : families::itemColumns()) {
        list += (list.empty() ? "" : ", ") + std::string(c.name);
    }
    return list;
}

class Items : public TwoCompanies {
  protected:
    static void insertItem(db::Connection& c, const std::string& code, const std::string& price) {
        c.execute(
            "INSERT INTO ARTICULO (ARTI_COD, ARTI_DES, ARTI_PRECIO, ARTI_OBS, ARTI_FECHA, "
            "ARTI_COSTOPROM, ARTI_UBICACION) VALUES (" +
            Q(code) + ", 'Tornillo', " + price + ", NULL, NULL, 99, 'B-7')");
    }
    static void insertPhoto(db::Connection& c, const std::string& code, int item) {
        c.execute(
            "INSERT INTO FOTOS_ARTICULO (ARTI_COD, FTAR_ITEM, FTAR_DESCRIPCION, FTAR_FOTO) "
            "VALUES (" +
            Q(code) + ", " + sqlInt(item) + ", 'foto " + std::to_string(item) + "', x'FFD8FF')");
    }
    // A destination trigger that refuses the rows of table for which cond
    // holds, with a message naming the row.
    void refuse(const std::string& table, const std::string& cond, const std::string& what) {
        destination->execute("CREATE EXCEPTION E_" + table + " 'rechazado'");
        destination->execute("CREATE TRIGGER T_" + table + " FOR " + table +
                             " BEFORE INSERT OR UPDATE OR DELETE AS BEGIN IF (" + cond +
                             ") THEN EXCEPTION E_" + table + " " + what + "; END");
    }
    std::string errorFile() {
        std::ifstream in(dir.path() + "/errorenvio.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(Items, ItemWritesItsListedColumnsAndKeepsTheDestinationsOwn) {
    insertItem(*source, "A'1", "12.345678");
    insertItem(*destination, "B", "3");

    EventState s = dispatch(event(101, "I", std::nullopt, "", "", "", "A'1"));
    ASSERT_FALSE(s.failed) << lastEventError();
    // Insert: fixed-point through four decimals, a null price 0, a null text
    // "", a null date null; the columns outside the list take the defaults.
    EXPECT_EQ(rows(*destination,
                   "select ARTI_PRECIO, ARTI_CONSUMO, ARTI_OBS, ARTI_URL, ARTI_FECHA, "
                   "ARTI_COSTOPROM, ARTI_ACTIVO, ARTI_UBICACION from ARTICULO where ARTI_COD = "
                   "'A''1'"),
              (Rows{{"ARTI_PRECIO=12.3457", "ARTI_CONSUMO=0",
                     "ARTI_OBS=", "ARTI_URL=", "ARTI_FECHA=<null>", "ARTI_COSTOPROM=0",
                     "ARTI_ACTIVO=S", "ARTI_UBICACION=<null>"}}));

    // Update: every listed column as the source has it, the others as the
    // destination keeps them.
    destination->execute(
        "update ARTICULO set ARTI_COSTOPROM = 7, ARTI_UBICACION = 'LOCAL', ARTI_PRECIO = 1");
    // (A value in every fixed-point and text column, so that the source's
    // row reads as the destination must store it.)
    std::string update = "update ARTICULO set ARTI_DES = 'Tuerca', ARTI_FECHA = '2026-03-01'";
    for (const NamedColumn& c : families::itemColumns()) {
        if (c.mode != ColumnMode::Variant) {
            update +=
                std::string(", ") + c.name + (c.mode == ColumnMode::Text ? " = 'x'" : " = 2.5");
        }
    }
    source->execute(update);
    s = dispatch(event(101, "U", std::nullopt, "", "", "", "A'1"));
    ASSERT_FALSE(s.failed) << lastEventError();
    const std::string listed = "select " + itemColumnList() + " from ARTICULO where ARTI_COD = ";
    EXPECT_EQ(rows(*destination, listed + "'A''1'"), rows(*source, listed + "'A''1'"));
    EXPECT_EQ(rows(*destination,
                   "select ARTI_COSTOPROM, ARTI_UBICACION from ARTICULO where ARTI_COD = 'A''1'"),
              (Rows{{"ARTI_COSTOPROM=7", "ARTI_UBICACION=LOCAL"}}));

    // "D" deletes that item only; its photo stays.
    insertPhoto(*destination, "A'1", 1);
    s = dispatch(event(101, "D", std::nullopt, "", "", "", "A'1"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select ARTI_COD from ARTICULO"), std::vector<std::string>{"B"});
    EXPECT_EQ(count(*destination, "select count(*) from FOTOS_ARTICULO"), 1);
}

TEST_F(Items, RefusedRecordsLeaveTheEventPendingWithTheFirstMessageWhileTheOthersAreWritten) {
    insertItem(*source, "P", "1");
    for (int i = 1; i <= 4; ++i) {
        insertPhoto(*source, "P", i);
    }
    refuse("FOTOS_ARTICULO", "NEW.FTAR_ITEM IN (2, 3)", "'foto ' || NEW.FTAR_ITEM || ' rechazada'");

    const EventState s = dispatch(event(101, "I", std::nullopt, "", "", "", "P"));

    EXPECT_TRUE(s.failed);
    EXPECT_EQ(column(*destination, "select FTAR_ITEM from FOTOS_ARTICULO order by FTAR_ITEM"),
              (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(column(*destination, "select FTAR_FOTO from FOTOS_ARTICULO where FTAR_ITEM = 4"),
              std::vector<std::string>{"\xFF\xD8\xFF"});
    EXPECT_EQ(count(*destination, "select count(*) from ARTICULO"), 1);
    EXPECT_NE(lastEventError().find("foto 2 rechazada"), std::string::npos) << lastEventError();
    // The later refusal is logged, not put over the first.
    EXPECT_NE(errorFile().find("foto 3 rechazada"), std::string::npos);
}

TEST_F(Items, RefusedItemFollowedByAcceptedPhotosStaysPending) {
    insertItem(*source, "P", "1");
    insertPhoto(*source, "P", 1);
    refuse("ARTICULO", "NEW.ARTI_COD = 'P'", "'articulo rechazado'");

    const EventState s = dispatch(event(101, "I", std::nullopt, "", "", "", "P"));

    EXPECT_TRUE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from FOTOS_ARTICULO"), 1);
    EXPECT_NE(lastEventError().find("articulo rechazado"), std::string::npos) << lastEventError();
}

TEST_F(Items, ItemGoneFromTheSourceStillCopiesItsPhotosAndDocuments) {
    insertPhoto(*source, "G", 1);
    insertPhoto(*source, "G", 2);
    source->execute(
        "INSERT INTO ARTICULO_DOCUMENTOS (ARTI_COD, ARDO_ITEM, ARDO_NOMBRE) VALUES ('G', 1, "
        "'ficha')");
    insertPhoto(*destination, "G", 9);  // only in the destination: stays

    const EventState s = dispatch(event(101, "U", std::nullopt, "", "", "", "G"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(count(*destination, "select count(*) from ARTICULO"), 0);
    EXPECT_EQ(column(*destination, "select FTAR_ITEM from FOTOS_ARTICULO order by FTAR_ITEM"),
              (std::vector<std::string>{"1", "2", "9"}));
    EXPECT_EQ(column(*destination, "select ARDO_NOMBRE from ARTICULO_DOCUMENTOS"),
              std::vector<std::string>{"ficha"});
}

// Units and bar codes: the row named by RPEV_DATOS, in either phase.
struct Satellite {
    int type;
    const char* table;
    const char* keyColumn;
    const char* valueColumn;
    Phase phase;
};

const Satellite kSatellites[] = {
    {124, "UNIDAD_ARTICULO", "UNAR_UNIDAD", "UNAR_DESCRIPCION", Phase::Download},
    {124, "UNIDAD_ARTICULO", "UNAR_UNIDAD", "UNAR_DESCRIPCION", Phase::Upload},
    {125, "BARRAS_ARTICULO", "COBA_COD", "COBA_TIPO", Phase::Download},
    {125, "BARRAS_ARTICULO", "COBA_COD", "COBA_TIPO", Phase::Upload},
};

class ItemSatellite : public TwoCompanies, public ::testing::WithParamInterface<Satellite> {
  protected:
    void insert(db::Connection& c, const std::string& item, const std::string& key,
                const std::string& value) {
        const Satellite& t = GetParam();
        c.execute(std::string("INSERT INTO ") + t.table + " (ARTI_COD, " + t.keyColumn + ", " +
                  t.valueColumn + ") VALUES (" + Q(item) + ", " + Q(key) + ", " + Q(value) + ")");
    }
    std::vector<std::string> destinationRows() {
        const Satellite& t = GetParam();
        return column(*destination, std::string("select ARTI_COD || '/' || ") + t.keyColumn +
                                        " || '=' || " + t.valueColumn + " from " + t.table +
                                        " order by 1");
    }
};

TEST_P(ItemSatellite, OnlyTheRowNamedByTheEventChanges) {
    const Satellite& t = GetParam();
    phase = t.phase;
    insert(*source, "X1", "K'A", "nuevo");
    insert(*source, "X1", "KB", "fuente");
    insert(*destination, "X1", "KB", "destino");
    insert(*destination, "X2", "K'A", "otro");

    EventState s = dispatch(event(t.type, "I", std::nullopt, "", "", "", "X1", "K'A"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(destinationRows(),
              (std::vector<std::string>{"X1/K'A=nuevo", "X1/KB=destino", "X2/K'A=otro"}));

    s = dispatch(event(t.type, "D", std::nullopt, "", "", "", "X1", "K'A"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(destinationRows(), (std::vector<std::string>{"X1/KB=destino", "X2/K'A=otro"}));
    // A deletion of a row the destination does not have completes.
    s = dispatch(event(t.type, "D", std::nullopt, "", "", "", "X1", "K'A"));
    EXPECT_FALSE(s.failed);
}

INSTANTIATE_TEST_SUITE_P(UnitsAndBarCodes, ItemSatellite, ::testing::ValuesIn(kSatellites),
                         [](const auto& info) {
                             return std::to_string(info.param.type) +
                                    (info.param.phase == Phase::Upload ? "Upload" : "Download");
                         });

class Prices : public TwoCompanies {
  protected:
    static void insertPrice(db::Connection& c, int list, const std::string& values) {
        c.execute(
            "INSERT INTO PRECIOS_ARTICULO (LIPR_COD, ARTI_COD, PRAR_FIJO, PRAR_MARGEN, "
            "PRAR_REDON, PRAR_ESCALAS, PRAR_NOMBRE, PRAR_UNIDAD, PRAR_FECHA) VALUES (" +
            sqlInt(list) + ", 'A1', " + values + ")");
    }
    std::vector<std::vector<std::string>> price(int list) {
        return rows(*destination,
                    "select PRAR_FIJO, PRAR_MARGEN, PRAR_REDON, PRAR_ESCALAS, PRAR_NOMBRE, "
                    "PRAR_UNIDAD, PRAR_FECHA from PRECIOS_ARTICULO where LIPR_COD = " +
                        sqlInt(list));
    }
};

TEST_F(Prices, UploadUpdateSparesScalesNameAndUnitWhileDownloadAndInsertWriteThem) {
    insertPrice(*source, 3, "10.123456, NULL, 2, 'S', 'Mayorista', 'CAJA', '2026-01-01'");
    insertPrice(*source, 4, "20, 1, 0, 'N', 'Detal', 'UND', NULL");
    insertPrice(*destination, 3, "1, 1, 1, 'N', 'propio', 'PAR', '2025-05-05'");
    const std::vector<std::vector<std::string>> own = price(3);

    phase = Phase::Upload;
    EventState s = dispatch(event(126, "U", 3, "", "", "", "A1"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(price(3),
              (Rows{{"PRAR_FIJO=10.1235", "PRAR_MARGEN=0", "PRAR_REDON=2", "PRAR_ESCALAS=N",
                     "PRAR_NOMBRE=propio", "PRAR_UNIDAD=PAR", "PRAR_FECHA=2025-05-05"}}));
    // An insert writes all 17, in the upload phase too.
    s = dispatch(event(126, "I", 4, "", "", "", "A1"));
    EXPECT_EQ(price(4), (Rows{{"PRAR_FIJO=20", "PRAR_MARGEN=1", "PRAR_REDON=0", "PRAR_ESCALAS=N",
                               "PRAR_NOMBRE=Detal", "PRAR_UNIDAD=UND", "PRAR_FECHA=<null>"}}));

    phase = Phase::Download;
    s = dispatch(event(126, "U", 3, "", "", "", "A1"));
    EXPECT_EQ(price(3),
              (Rows{{"PRAR_FIJO=10.1235", "PRAR_MARGEN=0", "PRAR_REDON=2", "PRAR_ESCALAS=S",
                     "PRAR_NOMBRE=Mayorista", "PRAR_UNIDAD=CAJA", "PRAR_FECHA=2025-05-05"}}));
    EXPECT_NE(own, price(3));

    s = dispatch(event(126, "D", 3, "", "", "", "A1"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, "select LIPR_COD from PRECIOS_ARTICULO"),
              std::vector<std::string>{"4"});
}

TEST_F(Prices, PriceListThatIsNoWholeNumberSendsNothing) {
    std::vector<std::string> sent;
    traceDestination(sent);
    Event e = event(126, "D", std::nullopt, "", "", "", "A1");
    e.iddocText = "3 or 1=1";

    const EventState s = dispatch(e);

    EXPECT_TRUE(s.failed);
    EXPECT_TRUE(sent.empty()) << sent.front();
    EXPECT_EQ(lastEventError(), "RPEV_IDDOC vacío o no numérico: '3 or 1=1'");
}

TEST_F(Items, ComponentDeleteLeavesTheDestinationWithExactlyTheSourcesComponents) {
    for (int item : {1, 2, 3}) {
        destination->execute(
            "INSERT INTO ARTICULOS_PRODUCTO (ARTI_COD, ARPR_ITEM, ARPR_ARTICULO) VALUES ('KIT', " +
            sqlInt(item) + ", 'viejo')");
    }
    destination->execute(
        "INSERT INTO ARTICULOS_PRODUCTO (ARTI_COD, ARPR_ITEM, ARPR_ARTICULO) VALUES ('OTRO', 1, "
        "'x')");
    // Component 2 was deleted in the source; 1 and 3 remain, 3 changed.
    source->execute(
        "INSERT INTO ARTICULOS_PRODUCTO (ARTI_COD, ARPR_ITEM, ARPR_ARTICULO, ARPR_CANTIDAD) "
        "VALUES ('KIT', 1, 'tornillo', 2.123456)");
    source->execute(
        "INSERT INTO ARTICULOS_PRODUCTO (ARTI_COD, ARPR_ITEM, ARPR_ARTICULO) VALUES ('KIT', 3, "
        "'tuerca')");

    const EventState s = dispatch(event(128, "D", std::nullopt, "", "", "", "KIT"));

    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination,
                     "select ARTI_COD || '/' || ARPR_ITEM || '=' || ARPR_ARTICULO || ' ' || "
                     "coalesce(ARPR_CANTIDAD, '-') from ARTICULOS_PRODUCTO order by 1"),
              (std::vector<std::string>{"KIT/1=tornillo 2.1235", "KIT/3=tuerca -", "OTRO/1=x -"}));
}

TEST_F(Items, AccountingSetupWritesEverySourceRowOverTheFirstDestinationRow) {
    source->execute(
        "INSERT INTO CONTABIL_ARTICULO (ARTI_COD, SUCU_ID, COAR_INVENTARIO) VALUES ('A1', 1, "
        "'1435')");
    source->execute(
        "INSERT INTO CONTABIL_ARTICULO (ARTI_COD, SUCU_ID, COAR_INVENTARIO) VALUES ('A1', 2, "
        "'1436')");

    const EventState s = dispatch(event(127, "D", std::nullopt, "", "", "", "A1"));

    EXPECT_FALSE(s.failed);
    EXPECT_EQ(
        rows(*destination, "select ARTI_COD, SUCU_ID, COAR_INVENTARIO from CONTABIL_ARTICULO"),
        (Rows{{"ARTI_COD=A1", "SUCU_ID=2", "COAR_INVENTARIO=1436"}}));
}

// The joined code taken apart: a table of codes, their parts and the
// parts expected (none: too few "|").
struct Split {
    const char* code;
    int parts;
    std::optional<std::vector<std::string>> expected;
};

TEST(JoinedCode, IsTakenApartAtTheFirstSeparatorsAndTheLastPartRunsToTheEnd) {
    const Split kCases[] = {
        {"F|G", 2, std::vector<std::string>{"F", "G"}},
        {"F|", 2, std::vector<std::string>{"F", ""}},
        {"|G", 2, std::vector<std::string>{"", "G"}},
        {"F|G|S", 2, std::vector<std::string>{"F", "G|S"}},
        {"FG", 2, std::nullopt},
        {"", 2, std::nullopt},
        {"F|G|S", 3, std::vector<std::string>{"F", "G", "S"}},
        {"F||", 3, std::vector<std::string>{"F", "", ""}},
        {"F|G|S|T", 3, std::vector<std::string>{"F", "G", "S|T"}},
        {"F|G", 3, std::nullopt},
    };
    for (const Split& c : kCases) {
        EXPECT_EQ(splitJoinedCode(c.code, c.parts), c.expected) << c.code << " " << c.parts;
    }
}

TEST_F(Items, GroupIsFoundByBothPartsOfItsCodeQuotesIncluded) {
    for (const char* key : {"'F1','G''1'", "'F1','G2'", "'F2','G''1'"}) {
        source->execute(std::string("INSERT INTO GRUPO_INVENTARIO (FAIN_COD, GRIN_COD, "
                                    "GRIN_NOMBRE) VALUES (") +
                        key + ", 'fuente')");
        destination->execute(std::string("INSERT INTO GRUPO_INVENTARIO (FAIN_COD, GRIN_COD, "
                                         "GRIN_NOMBRE) VALUES (") +
                             key + ", 'destino')");
    }
    const std::string all =
        "select FAIN_COD || '|' || GRIN_COD || '=' || GRIN_NOMBRE from GRUPO_INVENTARIO order by 1";

    EventState s = dispatch(event(202, "U", std::nullopt, "", "", "", "F1|G'1"));
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(column(*destination, all),
              (std::vector<std::string>{"F1|G'1=fuente", "F1|G2=destino", "F2|G'1=destino"}));

    s = dispatch(event(202, "D", std::nullopt, "", "", "", "F1|G'1"));
    EXPECT_FALSE(s.failed);
    EXPECT_EQ(column(*destination, all),
              (std::vector<std::string>{"F1|G2=destino", "F2|G'1=destino"}));
}

TEST_F(Items, MalformedJoinedCodeLeavesThatEventPendingAndSendsNothing) {
    destination->execute(
        "INSERT INTO SUBGRUPO_INVENTARIO (FAIN_COD, GRIN_COD, SGIN_COD) VALUES ('F', 'G', '')");
    std::vector<std::string> sent;
    traceDestination(sent);

    for (const auto& [type, code] :
         {std::pair{202, "FG"}, std::pair{203, "F|G"}, std::pair{205, ""}}) {
        for (const char* oper : {"D", "U"}) {
            const EventState s = dispatch(event(type, oper, std::nullopt, "", "", "", code));
            EXPECT_TRUE(s.failed) << type << oper;
            EXPECT_EQ(lastEventError(), malformedCodeMessage(code, type == 203 ? 3 : 2));
        }
    }
    EXPECT_TRUE(sent.empty()) << sent.front();
    EXPECT_EQ(count(*destination, "select count(*) from SUBGRUPO_INVENTARIO"), 1);
}

TEST_F(Items, DiscountLinesTakeTheAnnulLetterAsADeletionAndPlansCopyIt) {
    source->execute("INSERT INTO DESCUENTOS_PRECIOS (DCTP_ID, DCTP_NOMBRE) VALUES (7, 'Feria')");
    source->execute(
        "INSERT INTO DESCUENTOS_PRECIOS_DET (DCTP_ID, ARTI_COD, DCPD_PORCENTAJE) VALUES (7, "
        "'A1', 10)");
    destination->execute(
        "INSERT INTO DESCUENTOS_PRECIOS_DET (DCTP_ID, ARTI_COD, DCPD_PORCENTAJE) VALUES (7, "
        "'A2', 5)");

    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        EXPECT_FALSE(dispatch(event(129, "A", 7, "", "", "", "")).failed) << lastEventError();
        EXPECT_FALSE(dispatch(event(1291, "I", 7, "", "", "", "A1")).failed) << lastEventError();
        EXPECT_EQ(column(*destination, "select DCTP_NOMBRE from DESCUENTOS_PRECIOS"),
                  std::vector<std::string>{"Feria"});
        EXPECT_EQ(column(*destination, "select ARTI_COD from DESCUENTOS_PRECIOS_DET order by 1"),
                  (std::vector<std::string>{"A1", "A2"}));

        EXPECT_FALSE(dispatch(event(1291, "A", 7, "", "", "", "A1")).failed);
        EXPECT_EQ(column(*destination, "select ARTI_COD from DESCUENTOS_PRECIOS_DET"),
                  std::vector<std::string>{"A2"});
        // Deleting the plan leaves its lines to the database.
        EXPECT_FALSE(dispatch(event(129, "D", 7, "", "", "", "")).failed);
        EXPECT_EQ(count(*destination, "select count(*) from DESCUENTOS_PRECIOS"), 0);
        EXPECT_EQ(count(*destination, "select count(*) from DESCUENTOS_PRECIOS_DET"), 1);
    }
}

// A brand still referenced cannot be deleted: the database's refusal stays
// on that event and the loop goes on with the next one.
TEST_F(Items, RefusedBrandDeleteLeavesThatEventPendingAndTheLoopGoesOn) {
    destination->execute("INSERT INTO MARCAS (MARC_COD) VALUES ('M1')");
    refuse("MARCAS", "OLD.MARC_COD = 'M1'", "'marca M1 en uso'");
    source->execute("INSERT INTO MARCAS (MARC_COD, MARC_NOMBRE) VALUES ('M2', 'Segunda')");
    source->execute(
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, RPEV_CODIGO, "
        "RPEV_FECREG, RPEV_HORAREG) VALUES (1, '001', 204, 'D', 'M1', '2026-01-01', '08:00:00')");
    source->execute(
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, RPEV_CODIGO, "
        "RPEV_FECREG, RPEV_HORAREG) VALUES (2, '001', 204, 'I', 'M2', '2026-01-01', '08:00:01')");
    const Catalogue catalogue = families::catalogue();
    EventLoop loop(op, logs, errors, catalogue);
    const PhaseSetup setup{Phase::Download, source.get(), destination.get(), &options, {}, ""};
    loop.select(setup, downloadEventsSql("10", "001", false, false));
    LoopCounts counts;

    loop.handleAll(setup, counts);

    EXPECT_EQ(counts.completed, 1);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(column(*source, "select RPEV_ID from REPLICA_EVENTOS where RPEV_FECREP is null"),
              std::vector<std::string>{"1"});
    EXPECT_NE(column(*source, "select RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = 1")
                  .at(0)
                  .find("marca M1 en uso"),
              std::string::npos);
    EXPECT_EQ(column(*destination, "select MARC_COD from MARCAS order by 1"),
              (std::vector<std::string>{"M1", "M2"}));
}

// What the simulator writes the way the ERP does (photos with their item,
// units and bar codes in RPEV_DATOS, price lists and plans in RPEV_IDDOC,
// joined codes, updates and deletions) replicates whole: every event
// completes and the destination ends with the source's records.
TEST_F(Items, SimulatedActivityLeavesTheDestinationEqualToTheSource) {
    const std::vector<int> types = {101,  124, 125, 126, 127, 128, 129,
                                    1291, 201, 202, 203, 204, 205};
    for (int type : types) {
        source->execute(
            "INSERT INTO REPLICACION_CONFIGURA (REPC_TIPO, REPC_PREF, REPC_REPLICA, "
            "REPC_COMPANIA) VALUES (" +
            sqlInt(type) + ", '', 'S', '001')");
    }
    demo::SimulationOptions o;
    o.seed = 5;
    o.documents = 0;
    o.masters = 3 * static_cast<int>(types.size());
    o.masterUpdates = 12;
    o.masterDeletions = 12;
    o.types = types;
    const demo::SimulationReport report = demo::simulate(*source, o);

    const Catalogue catalogue = families::catalogue();
    EventLoop loop(op, logs, errors, catalogue);
    const PhaseSetup setup{Phase::Download, source.get(), destination.get(), &options, {}, ""};
    loop.select(setup, downloadEventsSql("1000", "001", false, false));
    LoopCounts counts;
    loop.handleAll(setup, counts);

    EXPECT_EQ(counts.completed, report.events) << op.lastError;
    for (const char* sql : {
             "select ARTI_COD from ARTICULO order by 1",
             "select LIPR_COD, ARTI_COD from PRECIOS_ARTICULO order by 1, 2",
             "select * from FOTOS_ARTICULO order by 1, 2",
             "select * from ARTICULO_DOCUMENTOS order by 1, 2",
             "select * from UNIDAD_ARTICULO order by 1, 2",
             "select * from BARRAS_ARTICULO order by 1, 2",
             "select * from ARTICULOS_PRODUCTO order by 1, 2",
             "select * from DESCUENTOS_PRECIOS order by 1",
             "select * from DESCUENTOS_PRECIOS_DET order by 1, 2",
             "select * from FAMILIA_INVENTARIO order by 1",
             "select * from GRUPO_INVENTARIO order by 1, 2",
             "select * from SUBGRUPO_INVENTARIO order by 1, 2, 3",
             "select * from MARCAS order by 1",
             "select * from SUBMARCA order by 1, 2",
         }) {
        EXPECT_EQ(rows(*destination, sql), rows(*source, sql)) << sql;
    }
    // The groups' codes differ in their parts, as real ones do.
    EXPECT_EQ(count(*source, "select count(*) from GRUPO_INVENTARIO where FAIN_COD = GRIN_COD"), 0);
}

}  // namespace
}  // namespace replica
