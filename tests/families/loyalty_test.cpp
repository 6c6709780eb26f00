// Loyalty points between two real company databases: the per-document points
// records (found by document type, prefix and number) and the redemptions.

#include <gtest/gtest.h>

#include "engine/documentcopy.h"
#include "families/sales.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::vector<std::string>;

void insertRecord(db::Connection& c, int id, int type, const std::string& pref,
                  const std::string& number, int iddoc) {
    c.execute(
        "INSERT INTO PUNTOS_CLIENTE (PTCL_ID, PTCL_TIPODOC, PTCL_PREF, PTCL_NUMERO, PTCL_IDDOC, "
        "TERC_NIT, PTCL_FECHA, PTCL_PUNTOS, PTCL_ESTADO) VALUES (" +
        sqlInt(id) + ", " + sqlInt(type) + ", " + Q(pref) + ", " + Q(number) + ", " +
        sqlInt(iddoc) + ", '900123', '2024-03-04', 12, 'A')");
}

class PointsRecords : public TwoCompanies {
  protected:
    Handler records = documentHandler(families::salesDocument(235));

    EventState handle(const std::string& oper, int id, const std::string& code,
                      const std::string& pref = "FA31", const std::string& number = "00000045") {
        return run(records, event(235, oper, id, pref, number, "", code));
    }
};

TEST_F(PointsRecords, ACopyKeepsItsIdAndTakesTheDocumentIdFromTheDestinationsLedger) {
    insertRecord(*source, 70, 31, "FA31", "00000045", 45);
    insertRecord(*source, 71, 33, "DV33", "00000009", 9);
    destination->execute(
        "INSERT INTO MOVIMIENTO_CLIENTES (MVCL_ID, MVCL_TIPOREF, MVCL_PREFREF, MVCL_NUMREF, "
        "MVCL_IDREF) VALUES (1, 31, 'FA31', '00000045', 501)");
    std::vector<std::string> sent;
    traceDestination(sent);

    EventState s = handle("I", 70, "31");
    ASSERT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.completionNote, "");
    // An annul letter copies too; a document the ledger does not hold leaves
    // the document id null.
    s = handle("A", 71, "33", "DV33", "00000009");
    ASSERT_FALSE(s.failed) << lastEventError();
    const std::string compared =
        "select PTCL_ID, PTCL_TIPODOC, PTCL_PREF, PTCL_NUMERO, TERC_NIT, "
        "PTCL_FECHA, PTCL_PUNTOS, PTCL_ESTADO from PUNTOS_CLIENTE";
    EXPECT_EQ(rows(*destination, compared), rows(*source, compared));
    EXPECT_EQ(column(*destination, "select PTCL_IDDOC from PUNTOS_CLIENTE order by PTCL_ID"),
              (Texts{"501", "<null>"}));
    EXPECT_EQ(sent[1],
              "dst: SELECT * FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = 31 AND PTCL_PREF = 'FA31' "
              "AND PTCL_NUMERO = '00000045'");
    EXPECT_EQ(sent[2],
              "dst: SELECT MVCL_IDREF FROM MOVIMIENTO_CLIENTES WHERE MVCL_TIPOREF = 31 AND "
              "MVCL_PREFREF = 'FA31' AND MVCL_NUMREF = '00000045'");
}

TEST_F(PointsRecords, ARecordAlreadyThereIsLeftAsItIsAndNoted) {
    insertRecord(*source, 70, 31, "FA31", "00000045", 45);
    // The destination's own record of the document, made by its own copy.
    insertRecord(*destination, 3, 31, "FA31", "00000045", 501);
    destination->execute("update PUNTOS_CLIENTE set PTCL_PUNTOS = 40");
    const Rows before = rows(*destination, "select * from PUNTOS_CLIENTE");
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = handle("U", 70, "31");

    EXPECT_FALSE(s.failed) << lastEventError();
    EXPECT_EQ(s.completionNote, "Registro ya encontrado.");
    // Read and looked up, nothing written.
    EXPECT_EQ(sent, (Texts{"src: select * from PUNTOS_CLIENTE where PTCL_ID = 70",
                           "dst: SELECT * FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = 31 AND "
                           "PTCL_PREF = 'FA31' AND PTCL_NUMERO = '00000045'"}));
    EXPECT_EQ(rows(*destination, "select * from PUNTOS_CLIENTE"), before);
}

struct DeleteCase {
    const char* name;
    const char* code;
    bool failed;
    std::int64_t remaining;
    Texts sent;
    const char* error;
};
void PrintTo(const DeleteCase& c, std::ostream* os) {
    *os << c.name;
}

class PointsRecordDelete : public PointsRecords,
                           public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(PointsRecordDelete, FindsTheRecordByTheTypeInTheCodeAndSendsNothingForANonNumber) {
    const DeleteCase& c = GetParam();
    insertRecord(*destination, 70, 31, "FA31", "00000045", 501);
    std::vector<std::string> sent;
    traceDestination(sent);

    const EventState s = handle("D", 70, c.code);

    EXPECT_EQ(s.failed, c.failed);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(count(*destination, "select count(*) from PUNTOS_CLIENTE"), c.remaining);
    EXPECT_EQ(lastEventError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointsRecordDelete,
    ::testing::Values(
        DeleteCase{"Present",
                   "31",
                   false,
                   0,
                   {"dst: SELECT PTCL_ID FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = 31 AND PTCL_PREF "
                    "= 'FA31' AND PTCL_NUMERO = '00000045'",
                    "dst: DELETE FROM PUNTOS_CLIENTE WHERE PTCL_ID = 70"},
                   ""},
        DeleteCase{"Absent",
                   "33",
                   false,
                   1,
                   {"dst: SELECT PTCL_ID FROM PUNTOS_CLIENTE WHERE PTCL_TIPODOC = 33 AND PTCL_PREF "
                    "= 'FA31' AND PTCL_NUMERO = '00000045'"},
                   ""},
        DeleteCase{
            "NotANumber", "31 OR 1=1", true, 1, {}, "RPEV_CODIGO vacío o no numérico: '31 OR 1=1'"},
        DeleteCase{"Empty", "", true, 1, {}, "RPEV_CODIGO vacío o no numérico: ''"}),
    [](const auto& info) { return std::string(info.param.name); });

class Redemptions : public TwoCompanies {
  protected:
    Handler redemptions = documentHandler(families::salesDocument(81));

    static void insertRedemption(db::Connection& c, int id, int points, const std::string& obs) {
        c.execute(
            "INSERT INTO PUNTOS_REDENCION (PTRE_ID, PREF_PRE, PTRE_NUMERO, TERC_NIT, PTRE_PUNTOS, "
            "PTRE_OBS, PTRE_ANULADO) VALUES (" +
            sqlInt(id) + ", 'PR81', '00000005', '900123', " + sqlInt(points) + ", " + Q(obs) +
            ", 'N')");
    }

    EventState copy(const std::string& oper) {
        return run(redemptions, event(81, oper, 5, "PR81", "00000005", "PR81"));
    }
};

TEST_F(Redemptions, ANewOneTakesTheGeneratorId) {
    destination->execute("ALTER SEQUENCE GEN_PUNTOS_REDENCION RESTART WITH 200");
    insertRedemption(*source, 5, 25, "canje");
    for (Phase p : {Phase::Download, Phase::Upload}) {
        phase = p;
        destination->execute("delete from PUNTOS_REDENCION");
        ASSERT_FALSE(copy("I").failed) << lastEventError();
        EXPECT_EQ(column(*destination,
                         "select PTRE_ID || '/' || PTRE_PUNTOS || '/' || PTRE_OBS "
                         "from PUNTOS_REDENCION"),
                  Texts{(p == Phase::Download ? "201" : "202") + std::string("/25.00/canje")});
    }
}

class RedemptionAlreadyThere : public Redemptions, public ::testing::WithParamInterface<Phase> {};

TEST_P(RedemptionAlreadyThere, IsReplacedInPlaceWhenDownloadedAndLeftAloneWhenUploaded) {
    phase = GetParam();
    insertRedemption(*source, 5, 25, "corregida");
    insertRedemption(*destination, 900, 10, "original");

    ASSERT_FALSE(copy("U").failed) << lastEventError();
    EXPECT_EQ(column(*destination,
                     "select PTRE_ID || '/' || PTRE_PUNTOS || '/' || PTRE_OBS "
                     "from PUNTOS_REDENCION"),
              Texts{phase == Phase::Download ? "900/25.00/corregida" : "900/10.00/original"});
}

INSTANTIATE_TEST_SUITE_P(Phases, RedemptionAlreadyThere,
                         ::testing::Values(Phase::Download, Phase::Upload), [](const auto& info) {
                             return std::string(info.param == Phase::Upload ? "Upload"
                                                                            : "Download");
                         });

}  // namespace
}  // namespace replica
