#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "engine/event.h"
#include "engine/sql.h"

using namespace replica;

TEST(Sql, QDoublesInnerQuotes) {
    EXPECT_EQ(Q("abc"), "'abc'");
    EXPECT_EQ(Q(""), "''");
    EXPECT_EQ(Q("O'Brien"), "'O''Brien'");
    EXPECT_EQ(Q("''"), "''''''");
    EXPECT_EQ(Q("x'; DELETE FROM T; --"), "'x''; DELETE FROM T; --'");
    EXPECT_EQ("'Ajuste No." + quoteInner("A'1") + "'", "'Ajuste No.A''1'");
}

TEST(Sql, DatesAndDecimalsAreWrittenTheSameInEveryLocale) {
    EXPECT_EQ(sqlDate(db::Date{2026, 1, 2}), "2026-01-02");
    EXPECT_EQ(sqlTime(db::Time{23, 59, 8, 0}), "23:59:08");
    EXPECT_EQ(sqlDecimal(db::Currency::fromRaw(12345678)), "1234.5678");
    EXPECT_EQ(sqlDecimal(db::Currency::fromRaw(-10000)), "-1");
    EXPECT_EQ(sqlDecimal(db::Currency::fromRaw(1234567890000)), "123456789");
}

TEST(Sql, AddDaysCrossesMonthsYearsAndLeapDays) {
    EXPECT_EQ(addDays(db::Date{2026, 3, 5}, -7), (db::Date{2026, 2, 26}));
    EXPECT_EQ(addDays(db::Date{2024, 3, 1}, -1), (db::Date{2024, 2, 29}));
    EXPECT_EQ(addDays(db::Date{2027, 1, 3}, -7), (db::Date{2026, 12, 27}));
}

TEST(Sql, OnlyWholeNumbersPassTheEventValueCheck) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"12", "12"},
        {" 12 ", "12"},  // CHAR padding
        {"-5", "-5"},
        {"+7", "7"},
        {"007", "7"},
        {"9223372036854775807", "9223372036854775807"},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"12a", std::nullopt},
        {"1.0", std::nullopt},
        {"1 or 1=1", std::nullopt},
        {"1; DELETE FROM ARTICULO", std::nullopt},
        {"9223372036854775808", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(wholeNumberText(text), expected) << "'" << text << "'";
    }
}
