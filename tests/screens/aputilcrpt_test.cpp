#include "screens/aputilcrpt.h"

#include <gtest/gtest.h>

#include <random>

using namespace replica;
using namespace std::string_literals;
using APUtilCrpt::KeyTable;

namespace {

std::string randomBytes(std::mt19937& rng, std::size_t length) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s(length, '\0');
    for (char& c : s) {
        c = static_cast<char>(byte(rng));
    }
    return s;
}

}  // namespace

TEST(APUtilCrpt, DecodeUndoesEncodeForEveryByteStringAndKeyTable) {
    std::mt19937 rng(20260522);
    const std::vector<KeyTable> tables = {
        APUtilCrpt::kKey, {0, 0, 0, 0}, {9, 1, 2, 3}, {0, 255, 254, 253}, {5, 1000, 7, 65535}};
    std::uniform_int_distribution<std::size_t> length(0, 700);  // past 256: the length wraps
    for (const KeyTable& key : tables) {
        for (int i = 0; i < 300; ++i) {
            const std::string plain = randomBytes(rng, length(rng));
            const std::string coded = APUtilCrpt::encode(plain, key);
            ASSERT_EQ(coded.size(), plain.size());
            ASSERT_EQ(APUtilCrpt::decode(coded, key), plain);
        }
    }
    EXPECT_EQ(APUtilCrpt::encode(""), "");
    EXPECT_EQ(APUtilCrpt::decode(APUtilCrpt::encode("clave ñ\0x"s)), "clave ñ\0x"s);
}

TEST(APUtilCrpt, PositionsCycleThroughEntriesOneTwoThreeAndNeverUseEntryZero) {
    // Equal bytes at every position: the output differs only by position
    // and key entry, so the shift of each position can be read back.
    const std::string plain(10, 'a');
    const KeyTable key = {100, 1, 20, 50};
    const std::string coded = APUtilCrpt::encode(plain, key);
    auto shift = [&](std::size_t p) {  // 1-based
        return (static_cast<unsigned char>(coded[p - 1]) + 256 - 'a' - plain.size() - p) % 256;
    };
    for (std::size_t p : {1u, 4u, 7u, 10u}) {
        EXPECT_EQ(shift(p), 1u) << "position " << p;
    }
    for (std::size_t p : {2u, 5u, 8u}) {
        EXPECT_EQ(shift(p), 20u) << "position " << p;
    }
    for (std::size_t p : {3u, 6u, 9u}) {
        EXPECT_EQ(shift(p), 50u) << "position " << p;
    }
    // Entry 0 changes nothing.
    EXPECT_EQ(APUtilCrpt::encode(plain, {0, 1, 20, 50}), coded);
}
