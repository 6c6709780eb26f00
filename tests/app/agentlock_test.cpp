#include "app/agentlock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

// A lock belongs to an open file, so a second open in this same process
// stands for a second agent.
TEST(AgentLock, OneHolderPerCompanyAndDirectoryUntilItIsGone) {
    test::TempDir dir, other;
    auto first = std::make_unique<AgentLock>();
    ASSERT_EQ(first->acquire(dir.path(), "001"), AgentLock::Result::Acquired);
    EXPECT_EQ(first->path(), dir.file("replica-001.lock"));

    AgentLock second;
    EXPECT_EQ(second.acquire(dir.path(), "001"), AgentLock::Result::Held);
    EXPECT_EQ(second.holder(), static_cast<long>(::getpid()));
    EXPECT_EQ(alreadyRunningMessage("001", second),
              "Ya hay un agente en marcha para la compañía 001 (" + dir.file("replica-001.lock") +
                  ", proceso " + std::to_string(::getpid()) + "); este no se inicia.");

    // Another company, or the same company in another directory, is free.
    AgentLock otherCompany, otherDirectory;
    EXPECT_EQ(otherCompany.acquire(dir.path(), "002"), AgentLock::Result::Acquired);
    EXPECT_EQ(otherDirectory.acquire(other.path(), "001"), AgentLock::Result::Acquired);

    first.reset();
    EXPECT_EQ(second.acquire(dir.path(), "001"), AgentLock::Result::Acquired);
}

TEST(AgentLock, DirectoryThatCannotHoldTheFileIsAnError) {
    test::TempDir dir;
    AgentLock lock;
    EXPECT_EQ(lock.acquire(dir.file("no-existe"), "001"), AgentLock::Result::Failed);
    EXPECT_EQ(lock.error(), "No se pudo abrir el archivo de bloqueo " +
                                dir.file("no-existe/replica-001.lock") +
                                ": No such file or directory");
}

TEST(AgentLock, AnyCodeMakesOneFileNameOfItsOwn) {
    EXPECT_EQ(AgentLock::fileName("001"), "replica-001.lock");
    EXPECT_EQ(AgentLock::fileName("../x"), "replica-%2E%2E%2Fx.lock");
    EXPECT_EQ(AgentLock::fileName("a b"), "replica-a%20b.lock");
    EXPECT_NE(AgentLock::fileName("a%20b"), AgentLock::fileName("a b"));
}

}  // namespace
}  // namespace replica::app
