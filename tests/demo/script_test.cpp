#include <gtest/gtest.h>

#include "demo/script.h"

using replica::demo::splitScript;

TEST(Script, SplitsOnTerminatorsOutsideQuotesAndComments) {
    const auto s = splitScript(
        "CREATE TABLE T (A VARCHAR(10) DEFAULT ';');  -- a ; comment\n"
        "/* block ; comment */ INSERT INTO T VALUES ('x;y');\nCOMMIT;\n"
        "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN EXIT; END^\nSET TERM ; ^\n"
        "SELECT 1 FROM RDB$DATABASE");
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0], "CREATE TABLE T (A VARCHAR(10) DEFAULT ';')");
    EXPECT_EQ(s[1], "INSERT INTO T VALUES ('x;y')");
    EXPECT_EQ(s[2], "CREATE PROCEDURE P AS BEGIN EXIT; END");
    EXPECT_EQ(s[3], "SELECT 1 FROM RDB$DATABASE");
}
