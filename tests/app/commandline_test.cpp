#include "app/commandline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/appdir.h"

namespace replica::app {
namespace {

TEST(CommandLine, PositionsKeepTheirMeaningWhereverTheOptionsStand) {
    const CommandLine cl =
        parseCommandLine({"srv", "--once", "usr", "pw", "001", "1", "--headless", "other"});
    EXPECT_TRUE(cl.once);
    EXPECT_TRUE(cl.headless);
    EXPECT_EQ(cl.server, "srv");
    EXPECT_EQ(cl.user, "usr");
    EXPECT_EQ(cl.password, "pw");
    EXPECT_EQ(cl.company, "001");
    EXPECT_EQ(cl.skipErrors, "1");
    EXPECT_EQ(cl.serverOverride, "other");
    EXPECT_TRUE(cl.commandLineMode());
    EXPECT_TRUE(cl.error.empty());
}

TEST(CommandLine, ValuesThatLookLikeOptions) {
    // A password may begin with a dash; after "--" even "--once" is a value.
    CommandLine cl = parseCommandLine({"srv", "usr", "-secreto", "001"});
    EXPECT_EQ(cl.password, "-secreto");
    EXPECT_TRUE(cl.error.empty());
    cl = parseCommandLine({"--once", "--", "srv", "usr", "--headless", "001"});
    EXPECT_TRUE(cl.once);
    EXPECT_FALSE(cl.headless);
    EXPECT_EQ(cl.password, "--headless");
    // An empty company (a script passing "") is not command-line mode.
    cl = parseCommandLine({"srv", "usr", "pw", ""});
    EXPECT_FALSE(cl.commandLineMode());
    cl = parseCommandLine({"a", "b", "c", "d", "e", "f", "g"});
    EXPECT_EQ(cl.serverOverride, "f");
    EXPECT_EQ(cl.ignored, std::vector<std::string>{"g"});
}

TEST(ApplicationDirectory, EnvironmentReplacesTheSettingAndAbsenceIsReported) {
    std::vector<std::string> told;
    auto notify = [&](const std::string& m) { told.push_back(m); };

    setenv(kDirectoryEnvironment, "/srv/replica", 1);
    EXPECT_EQ(applicationDirectory(notify), "/srv/replica");
    EXPECT_TRUE(told.empty());

    // An empty variable is treated as unset.
    setenv(kDirectoryEnvironment, "", 1);
    const std::string dir = applicationDirectory(notify);
    unsetenv(kDirectoryEnvironment);
    if (!dir.empty()) {
        GTEST_SKIP() << "this machine has the installation setting: " << dir;
    }
    EXPECT_EQ(told, std::vector<std::string>{
                        "No se encontró la Clave "
                        "HKEY_LOCAL_MACHINE\\Software\\QTX\\NorvaleERP2026\\Directorio"});
}

}  // namespace
}  // namespace replica::app
