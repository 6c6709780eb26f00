// The pieces every copy mechanism shares: the translation of a line's
// reference to another document, and the catalogue's forms and guards.

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/catalogue.h"
#include "engine/rowcopy.h"
#include "erp/documents.h"
#include "families/all.h"
#include "tests/families/twocompanies.h"

namespace replica {
namespace {

using test::TwoCompanies;
using Otherwise = ReferenceColumns::Otherwise;

// A settled document as an application line names it: type code at
// position 2, id at 3, prefix at 4 and number at 5.
struct ReferenceCase {
    const char* name;
    std::optional<int> type;  // nullopt: null type code
    const char* number;
    std::vector<int> codes;
    Otherwise notFound;
    Otherwise otherCode;
    const char* expectedId;
    bool queried;
};

const ReferenceCase kReferenceCases[] = {
    {"AcceptedCodeFound", 31, "000777", erp::kCustomerDocuments, Otherwise::Zero, Otherwise::Keep,
     "55", true},
    {"AcceptedCodeNotFoundZero", 31, "000778", erp::kCustomerDocuments, Otherwise::Zero,
     Otherwise::Keep, "0", true},
    {"AcceptedCodeNotFoundKeeps", 31, "000778", erp::kCustomerDocuments, Otherwise::Keep,
     Otherwise::Keep, "9", true},
    {"CodeOutsideTheSetRunsNoQuery", 34, "000777", erp::kCustomerDocuments, Otherwise::Zero,
     Otherwise::Keep, "9", false},
    {"CodeOutsideTheSetZero", 21, "000777", erp::kCustomerDocuments, Otherwise::Zero,
     Otherwise::Zero, "0", false},
    {"NullCodeRunsNoQuery", std::nullopt, "000777", erp::kCustomerDocuments, Otherwise::Zero,
     Otherwise::Zero, "0", false},
    {"EveryCodeOfTheLookup", 31, "000777", {}, Otherwise::Zero, Otherwise::Zero, "55", true},
    {"CodeWithoutALookupRow", 26, "000777", {}, Otherwise::Zero, Otherwise::Zero, "0", false},
};

class Reference : public TwoCompanies, public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(Reference, TranslatesOnlyAcceptedCodesAndAppliesTheRuleOtherwise) {
    const ReferenceCase& c = GetParam();
    destination->execute(
        "INSERT INTO FACTURAS (FACT_ID, PREF_PRE, FACT_NUMERO) VALUES (55, 'F''V', '000777')");
    db::RecordSet line(*destination);
    line.open("SELECT * FROM APLICACION_CLIENTE_DETALLE WHERE APCL_ID = 0");
    line.append();
    line.set(2, c.type ? db::Value(*c.type) : db::Value());
    line.set(3, db::Value(9));
    line.set(4, db::Value("F'V"));
    line.set(5, db::Value(c.number));
    std::vector<std::string> sent;
    traceDestination(sent);
    EventState state;
    const Event e = event(43, "I", 1, "AP", "1");
    HandlerContext ctx{phase, e, *source, *destination, options, state, errors, {}};

    const bool found = translateReference(ctx, line,
                                          ReferenceColumns{.codes = c.codes,
                                                           .type = 2,
                                                           .id = "APCD_IDREF",
                                                           .prefix = 4,
                                                           .number = "APCD_NUMREF",
                                                           .notFound = c.notFound,
                                                           .otherCode = c.otherCode});

    EXPECT_EQ(line.editValue(3).asText(), c.expectedId);
    EXPECT_EQ(found, std::string(c.expectedId) == "55");
    if (c.queried) {
        EXPECT_EQ(sent, std::vector<std::string>{
                            "dst: select fact_id from facturas where pref_pre = 'F''V' and "
                            "fact_numero = '" +
                            std::string(c.number) + "'"});
    } else {
        EXPECT_EQ(sent, std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, Reference, ::testing::ValuesIn(kReferenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogueForms, RefusesAnUnlistedCodeAndASecondRegistrationUnderOneCondition) {
    Catalogue c = Catalogue::listed();
    const Handler h = [](HandlerContext&) {};
    EXPECT_THROW(c.add(19, Form{nullptr, h}), std::logic_error);
    c.add(13, Form{inDownload, h});
    EXPECT_THROW(c.add(13, Form{inDownload, h}), std::logic_error);
    c.add(13, Form{inUpload, h});
    EXPECT_THROW(c.set(13, h, h), std::logic_error);
    c.add(14, Form{nullptr, h});
    EXPECT_THROW(c.add(14, Form{nullptr, h}), std::logic_error);
}

TEST(CatalogueForms, TheFirstFormThatAppliesHandlesTheEvent) {
    Catalogue c = Catalogue::listed();
    const Handler download = [](HandlerContext&) {};
    c.add(21, Form{inDownload, download});
    RunOptions o;
    EXPECT_EQ(c.handlerFor(Phase::Download, 21, o).route, Catalogue::Route::Handle);
    EXPECT_EQ(c.handlerFor(Phase::Upload, 21, o).route, Catalogue::Route::Unbuilt);
    EXPECT_EQ(c.handlerFor(Phase::Download, 9999, o).route, Catalogue::Route::Default);
}

TEST(CatalogueForms, EveryListedCodeIsBuiltOrDeliberatelyPending) {
    const Catalogue c = families::catalogue();
    const std::vector<int>& pending = families::pendingCodes();
    for (const CatalogueEntry& e : c.entries()) {
        const bool isPending = std::find(pending.begin(), pending.end(), e.code) != pending.end();
        EXPECT_NE(e.forms.empty(), !isPending) << e.code << " " << e.record;
    }
    for (int code : pending) {
        EXPECT_NE(c.entry(code), nullptr) << code << " is pending but not listed";
    }
}

}  // namespace
}  // namespace replica
