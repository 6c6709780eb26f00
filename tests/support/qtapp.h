#pragma once
// One QApplication for a whole Qt test program, on the offscreen platform
// unless the environment chose another. It is created before the first test
// and destroyed after the last one, before the exit handlers run: a
// QApplication left to static destruction crashes as Qt tears itself down.
//
// A test program registers it once:
//   REPLICA_QT_TEST_APPLICATION("app_tests");

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace replica::test {

class QtApplication : public ::testing::Environment {
  public:
    explicit QtApplication(const char* name) : m_name(name) {}
    void SetUp() override {
        if (QApplication::instance()) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        m_argv[0] = const_cast<char*>(m_name);
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    const char* m_name;
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> m_app;
};

}  // namespace replica::test

#define REPLICA_QT_TEST_APPLICATION(name)                                  \
    [[maybe_unused]] static ::testing::Environment* const kQtApplication = \
        ::testing::AddGlobalTestEnvironment(new ::replica::test::QtApplication(name))
