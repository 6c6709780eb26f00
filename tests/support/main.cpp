// The main of every test program.
//
// Each test process gets its own Firebird lock folder (FIREBIRD_LOCK), unless
// one is set already: the embedded engine serialises its start-up on a lock
// file there, and a stray process holding the machine-wide one would stall
// every test behind it. Processes a test starts inherit the folder, so they
// share the databases of their parent safely. The user's own settings
// (XDG_CONFIG_HOME) live in that folder too, so no test reads or changes the
// settings of the person running it. After the tests the engine is stopped
// before the exit handlers run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/db/connection.h"

int main(int argc, char** argv) {
    std::string lockDir;
    if (!std::getenv("FIREBIRD_LOCK")) {
        std::string templ =
            (std::filesystem::temp_directory_path() / "replica-fblock-XXXXXX").string();
        if (mkdtemp(templ.data())) {
            lockDir = templ;
            setenv("FIREBIRD_LOCK", lockDir.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (lockDir + "/config").c_str(), 1);
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    replica::db::shutdownClient();
    if (!lockDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(lockDir, ec);
    }
    return result;
}
