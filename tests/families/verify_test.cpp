// The comparison of two companies, on documents the agent copied between
// two real company databases, and the events it queues again.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

#include "engine/verify.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;

class Verify : public TwoCompanies {
  protected:
    std::vector<ComparedFamily> families = comparedFamilies(families::documentFamilies());

    static void insertEntry(db::Connection& c, int id, const std::string& number, int lines) {
        c.execute(
            "INSERT INTO ENTRADAS (ENTR_ID, TIDO_COD, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, "
            "BODE_COD, NUMOK) VALUES (" +
            sqlInt(id) + ", 11, 'EN', " + Q(number) + ", '2024-03-05', '01', 'S')");
        for (int i = 1; i <= lines; ++i) {
            // Six decimals in the source: the copy keeps four.
            c.execute(
                "INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM, ARTI_COD, ENDE_CANT, "
                "ENDE_COSTO, ENDE_COSTOPROM) VALUES (" +
                sqlInt(id) + ", " + sqlInt(i) + ", 'A', " + sqlInt(i) + ", 1.5, 12.345678)");
        }
    }

    PairReport compareNow() {
        PairReport report{.source = "002", .destination = "001"};
        compare(*source, *destination, families, report);
        return report;
    }

    static const FamilyTally& tally(const PairReport& r, int type) {
        for (const FamilyTally& t : r.families) {
            if (t.type == type) {
                return t;
            }
        }
        throw std::logic_error("no tally");
    }

    void copyAll() {
        for (int id = 1; id <= 4; ++id) {
            EXPECT_FALSE(dispatch(event(11, "I", id, "EN", "000" + std::to_string(id))).failed);
        }
    }
};

TEST_F(Verify, ComparesOnlyFamiliesStoredUnderTheSourcesPrefixAndNumber) {
    std::set<int> types;
    for (const ComparedFamily& f : families) {
        types.insert(f.type);
    }
    EXPECT_TRUE(types.contains(11));
    EXPECT_TRUE(types.contains(12));
    // The adjustment is stored under the receiving prefix and found by its
    // concept: not by prefix and number.
    EXPECT_FALSE(types.contains(14));
    EXPECT_EQ(types.size(), families.size());
}

TEST_F(Verify, CopiedDocumentsAgreeAndEachFaultIsReportedAsWhatItIs) {
    // Entries also hold mapped copies of other documents (its own case
    // below); here they stand for any document copied as itself.
    for (ComparedFamily& f : families) {
        f.sharedTable = false;
    }
    for (int id = 1; id <= 4; ++id) {
        insertEntry(*source, id, "000" + std::to_string(id), 2);
    }
    copyAll();
    PairReport equal = compareNow();
    EXPECT_TRUE(equal.agrees());
    EXPECT_EQ(tally(equal, 11).equal, 4);

    auto idOf = [this](const std::string& number) {
        return sqlInt(
            count(*destination, "select ENTR_ID from ENTRADAS where ENTR_NUMERO = " + Q(number)));
    };
    destination->execute("delete from ENTRADAS_DETALLE where ENDE_ITEM = 2 and ENTR_ID = " +
                         idOf("0001"));
    destination->execute("update ENTRADAS_DETALLE set ENDE_COSTO = 2 where ENTR_ID = " +
                         idOf("0002"));
    destination->execute("delete from ENTRADAS_DETALLE where ENTR_ID = " + idOf("0003"));
    destination->execute("delete from ENTRADAS where ENTR_ID = " + idOf("0003"));
    insertEntry(*destination, 900, "0900", 1);

    const PairReport r = compareNow();
    EXPECT_EQ(tally(r, 11).equal, 1);
    EXPECT_EQ(tally(r, 11).missing, 1);
    EXPECT_EQ(tally(r, 11).extra, 1);
    EXPECT_EQ(tally(r, 11).different, 2);
    std::map<std::string, Discrepancy> byNumber;
    for (const Discrepancy& d : r.discrepancies) {
        byNumber[d.number] = d;
    }
    ASSERT_EQ(byNumber.size(), 4U);
    EXPECT_EQ(byNumber["0001"].finding, Finding::Different);
    EXPECT_NE(byNumber["0001"].what.find("ENTRADAS_DETALLE.líneas: 2 / 1"), std::string::npos)
        << byNumber["0001"].what;
    EXPECT_EQ(byNumber["0002"].what, "ENTRADAS_DETALLE.ENDE_COSTO: 3 / 4");
    EXPECT_EQ(byNumber["0003"].finding, Finding::Missing);
    EXPECT_EQ(byNumber["0003"].id, 3);
    EXPECT_EQ(byNumber["0900"].finding, Finding::Extra);

    // Queued again in the source, the next copy brings the pair back into
    // agreement but for the extra document, which nothing sends.
    const std::vector<Requeued> events = requeueEvents(r);
    ASSERT_EQ(events.size(), 3U);
    requeue(*source, events);
    EXPECT_EQ(count(*source,
                    "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null and "
                    "RPEV_COMPANIA = '001' and RPEV_TIPO = 11 and RPEV_OPER in ('I', "
                    "'U') and RPEV_IDDOC in (1, 2, 3)"),
              3);
    for (const Requeued& e : events) {
        EXPECT_FALSE(dispatch(event(e.type, e.operation, e.id, e.prefix, e.number)).failed);
    }
    const PairReport again = compareNow();
    EXPECT_EQ(tally(again, 11).equal, 4);
    ASSERT_EQ(again.discrepancies.size(), 1U);
    EXPECT_EQ(again.discrepancies[0].finding, Finding::Extra);
}

TEST_F(Verify, ADocumentOnlyTheSendingDestinationHoldsIsMissingInTheSource) {
    insertEntry(*destination, 7, "0007", 1);
    PairReport report{.source = "002", .destination = "001", .destinationSendsBack = true};
    compare(*source, *destination, families, report);
    ASSERT_EQ(report.discrepancies.size(), 1U);
    EXPECT_EQ(report.discrepancies[0].finding, Finding::Missing);
    EXPECT_EQ(report.discrepancies[0].at, Side::Source);
    const std::vector<Requeued> events = requeueEvents(report);
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].database, "001");
    EXPECT_EQ(events[0].company, "002");
    EXPECT_EQ(events[0].operation, "I");
}

TEST_F(Verify, ATableThatAlsoHoldsMappedCopiesClaimsNoExtraAndLeavesRepeatedNumbers) {
    for (const ComparedFamily& f : families) {
        EXPECT_EQ(f.sharedTable, f.type == 11 || f.type == 12) << f.type;
    }
    insertEntry(*source, 1, "0001", 1);
    insertEntry(*destination, 1, "0001", 2);
    insertEntry(*destination, 2, "0001", 1);  // a mapped copy numbered alike
    insertEntry(*destination, 3, "0900", 1);
    const PairReport r = compareNow();
    EXPECT_TRUE(r.agrees());
    EXPECT_EQ(tally(r, 11).equal, 0);
}

// Master records: found by key, compared on the columns the copy keeps, and
// queued again with the event fields their key came from.
TEST_F(Verify, MasterRecordsAreMatchedByKeyAndQueuedAgainUnderTheirEventFields) {
    const std::vector<ComparedRecord> records = comparedRecords(families::keyedFamilies());
    std::map<int, ComparedRecord> byType;
    for (const ComparedRecord& r : records) {
        byType[r.type] = r;
    }
    // A record left as it is when the destination holds it, a set of rows
    // per event: nothing to hold the destination to.
    EXPECT_FALSE(byType.contains(102));
    EXPECT_FALSE(byType.contains(124));
    ASSERT_TRUE(byType.contains(126));
    EXPECT_EQ(byType[126].table, "PRECIOS_ARTICULO");
    EXPECT_EQ(byType[126].kept.size(), 3U);
    ASSERT_TRUE(byType.contains(101));
    EXPECT_FALSE(byType[101].columns.empty());

    for (const char* brand : {"B1", "B2", "B3"}) {
        source->execute(std::string("INSERT INTO MARCAS (MARC_COD, MARC_NOMBRE) VALUES ('") +
                        brand + "', 'Marca')");
        EXPECT_FALSE(dispatch(event(204, "I", std::nullopt, "", "", "", brand)).failed);
    }
    source->execute(
        "INSERT INTO GRUPO_INVENTARIO (FAIN_COD, GRIN_COD, GRIN_MARGEN) VALUES "
        "('F1', 'G1', 1.25)");
    EXPECT_FALSE(dispatch(event(202, "I", std::nullopt, "", "", "", "F1|G1")).failed);
    // A price: the copy writes its null consumption as 0, and the upload
    // keeps the destination's name: neither is a difference.
    source->execute(
        "INSERT INTO PRECIOS_ARTICULO (LIPR_COD, ARTI_COD, PRAR_FIJO) VALUES "
        "(4, 'A1', 10.5)");
    EXPECT_FALSE(dispatch(event(126, "I", 4, "", "", "", "A1")).failed);
    destination->execute("update PRECIOS_ARTICULO set PRAR_NOMBRE = 'Otro'");
    const std::vector<ComparedRecord> compared = {byType[204], byType[202], byType[126]};
    const auto compareRecordsNow = [&] {
        PairReport report{.source = "002", .destination = "001"};
        compareRecords(*source, *destination, compared, report);
        return report;
    };
    EXPECT_TRUE(compareRecordsNow().agrees());

    destination->execute("delete from MARCAS where MARC_COD = 'B1'");
    destination->execute("update MARCAS set MARC_NOMBRE = 'Otra' where MARC_COD = 'B2'");
    destination->execute("INSERT INTO MARCAS (MARC_COD) VALUES ('B9')");
    destination->execute("delete from GRUPO_INVENTARIO");
    const PairReport r = compareRecordsNow();
    std::map<std::string, Discrepancy> byKey;
    for (const Discrepancy& d : r.discrepancies) {
        byKey[d.key] = d;
    }
    ASSERT_EQ(byKey.size(), 4U);
    EXPECT_EQ(byKey["MARC_COD=B1"].finding, Finding::Missing);
    EXPECT_EQ(byKey["MARC_COD=B2"].finding, Finding::Different);
    EXPECT_EQ(byKey["MARC_COD=B2"].what, "MARC_NOMBRE: Marca / Otra");
    EXPECT_EQ(byKey["MARC_COD=B9"].finding, Finding::Extra);
    EXPECT_EQ(byKey["FAIN_COD=F1, GRIN_COD=G1"].finding, Finding::Missing);
    EXPECT_EQ(tally(r, 204).equal, 1);
    EXPECT_EQ(tally(r, 126).equal, 1);

    const std::vector<Requeued> events = requeueEvents(r);
    ASSERT_EQ(events.size(), 3U);
    requeue(*source, events);
    EXPECT_EQ(count(*source,
                    "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null and "
                    "RPEV_COMPANIA = '001' and RPEV_IDDOC is null and RPEV_CODIGO in ('B1', 'B2', "
                    "'F1|G1')"),
              3);
    for (const Requeued& e : events) {
        EXPECT_FALSE(
            dispatch(event(e.type, e.operation, std::nullopt, "", "", "", e.code, e.data)).failed);
    }
    const PairReport again = compareRecordsNow();
    ASSERT_EQ(again.discrepancies.size(), 1U);
    EXPECT_EQ(again.discrepancies[0].key, "MARC_COD=B9");
}

TEST_F(Verify, ReadsEachTableOncePerDatabase) {
    std::vector<std::string> sent;
    db::Connection::setTraceHook([&sent](const db::Connection&, const std::string& sql) {
        if (sql.find("ENTRADAS") != std::string::npos ||
            sql.find("entradas") != std::string::npos) {
            sent.push_back(sql);
        }
    });
    for (int id = 1; id <= 4; ++id) {
        insertEntry(*source, id, "000" + std::to_string(id), 2);
    }
    sent.clear();
    compareNow();
    std::size_t reads = 0;
    for (const std::string& sql : sent) {
        reads += sql.rfind("select entr_id, pref_pre", 0) == 0 ||
                 sql.find("from ENTRADAS_DETALLE group") != std::string::npos;
    }
    EXPECT_EQ(reads, 4U);  // headers and lines, in each database
}

}  // namespace
}  // namespace replica
