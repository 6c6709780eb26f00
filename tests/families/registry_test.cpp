// Every family row against the ERP's document table: a family spells its
// SQL texts out in full, and this is what keeps them naming the tables the
// table says the document has.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/db/text.h"
#include "erp/documents.h"
#include "families/all.h"

namespace replica {
namespace {

std::string upper(const std::string& s) {
    return db::upperCase(s);
}

// The table a "select * from T where ..." text reads.
std::string tableRead(const std::string& sql) {
    const std::string u = upper(sql);
    const std::size_t from = u.find(" FROM ");
    if (from == std::string::npos) {
        return {};
    }
    const std::size_t start = from + 6;
    const std::size_t end = u.find(' ', start);
    return u.substr(start, end - start);
}

const erp::Document& documentOf(int type) {
    const erp::Document* d = erp::document(type);
    EXPECT_NE(d, nullptr) << "type " << type << " is not in the ERP's table";
    static const erp::Document kNone{};
    return d ? *d : kNone;
}

TEST(FamilyRows, DocumentRowsReadTheTablesOfTheirDocument) {
    for (const DocumentFamily* f : families::documentFamilies()) {
        SCOPED_TRACE("type " + std::to_string(f->type));
        const erp::Document& doc = documentOf(f->type);
        ASSERT_NE(doc.table, nullptr);
        EXPECT_NE(doc.events, erp::Events::None);
        EXPECT_EQ(tableRead(f->source), upper(doc.table)) << f->source;
        if (doc.idColumn) {
            EXPECT_NE(upper(f->source).find(" WHERE " + upper(doc.idColumn) + " = "),
                      std::string::npos)
                << f->source;
        }
        std::set<std::string> details;
        for (const char* t : doc.details) {
            details.insert(upper(t));
        }
        for (const DetailTable& t : f->details) {
            EXPECT_EQ(details.count(tableRead(t.source)), 1u) << t.source;
        }
        // Copied as itself, a document takes its ids from its own view and
        // writes its own detail tables.
        if (!f->header.isMapped()) {
            if (!f->generator.empty()) {
                ASSERT_NE(doc.generator, nullptr);
                EXPECT_EQ(upper(f->generator),
                          upper(std::string("select * from ") + doc.generator));
            }
            for (const DetailTable& t : f->details) {
                EXPECT_EQ(tableRead(t.destination), tableRead(t.source)) << t.destination;
            }
        }
    }
}

TEST(FamilyRows, MasterRowsReadTheTableOfTheirRecord) {
    for (const KeyedFamily* f : families::keyedFamilies()) {
        SCOPED_TRACE("type " + std::to_string(f->type));
        const erp::Document& doc = documentOf(f->type);
        ASSERT_NE(doc.table, nullptr);
        EXPECT_NE(doc.events, erp::Events::None);
        if (f->tables.empty()) {
            continue;  // a delete form alone
        }
        for (Phase phase : {Phase::Download, Phase::Upload}) {
            const std::string source = f->tables.front().source.in(phase).spelled();
            EXPECT_EQ(tableRead(source), upper(doc.table)) << source;
        }
    }
}

// Every event type of the ERP's table has a form, but those left pending on
// purpose.
TEST(FamilyRows, EveryEventTypeHasAFamily) {
    std::set<int> handled;
    for (const DocumentFamily* f : families::documentFamilies()) {
        handled.insert(f->type);
    }
    for (const KeyedFamily* f : families::keyedFamilies()) {
        handled.insert(f->type);
    }
    for (int code : families::pendingCodes()) {
        handled.insert(code);
    }
    for (const erp::Document& d : erp::documents()) {
        if (d.events != erp::Events::None) {
            EXPECT_EQ(handled.count(d.code), 1u) << d.code << " " << d.record;
        }
    }
}

}  // namespace
}  // namespace replica
