#include <gtest/gtest.h>

#include "engine/db/value.h"

using replica::db::Currency;
using replica::db::Decimal;
using replica::db::Value;

TEST(Currency, RoundsToFourDecimalsHalfAwayFromZero) {
    struct Case {
        Decimal in;
        const char* out;
    };
    const Case cases[] = {
        {{12345678, -6}, "12.3457"},
        {{5, -5}, "0.0001"},
        {{-5, -5}, "-0.0001"},
        {{4, -5}, "0"},
        {{-4, -5}, "0"},
        {{1250, -2}, "12.5"},
        {{7, 0}, "7"},
        {{-123456789012345, -6}, "-123456789.0123"},
        {{99995, -5}, "1"},
        {{10, -1}, "1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Currency::fromDecimal(c.in).toString(), c.out) << c.in.toString();
    }
}

TEST(Currency, ParsesPlainDecimalTextAndRejectsTheRest) {
    EXPECT_EQ(Currency::parse("12.345678").raw(), 123457);
    EXPECT_EQ(Currency::parse("-0.00005").raw(), -1);
    EXPECT_EQ(Currency::parse("3").raw(), 30000);
    EXPECT_THROW(Currency::parse(""), std::invalid_argument);
    EXPECT_THROW(Currency::parse("1,5"), std::invalid_argument);
    EXPECT_THROW(Currency::parse("abc"), std::invalid_argument);
}

TEST(Value, TextFormsAreLocaleFree) {
    EXPECT_EQ(Value(Decimal{120, -2}).asText(), "1.2");
    EXPECT_EQ(Value(Decimal{-5, -3}).asText(), "-0.005");
    EXPECT_EQ(Value(replica::db::Date{2026, 3, 7}).asText(), "2026-03-07");
    EXPECT_EQ(Value(replica::db::Time{9, 5, 3, 1234}).asText(), "09:05:03");
    EXPECT_EQ(Value().asText(), "");
    EXPECT_EQ(Value(std::int64_t{-42}).asText(), "-42");
}

TEST(Value, IntegerFormRefusesTextThatIsNotAWholeNumber) {
    EXPECT_EQ(Value("  80 ").asInt(), 80);
    EXPECT_EQ(Value(Decimal{125, -1}).asInt(), 13);
    EXPECT_EQ(Value(Decimal{-125, -1}).asInt(), -13);
    EXPECT_THROW(Value("5 or 1=1").asInt(), std::invalid_argument);
    EXPECT_THROW(Value("").asInt(), std::invalid_argument);
    EXPECT_EQ(Value().asInt(), 0);
}

TEST(Value, DecimalsCompareByValueWhateverTheirScale) {
    EXPECT_EQ(Value(Decimal{120, -2}), Value(Decimal{12, -1}));
    EXPECT_NE(Value(Decimal{121, -2}), Value(Decimal{12, -1}));
    EXPECT_NE(Value(std::int64_t{1}), Value("1"));
}
