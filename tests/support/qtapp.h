#pragma once
// One QApplication for a whole Qt test program, on the offscreen platform
// unless the environment chose another. It is created before the first test
// and destroyed after the last one, before the exit handlers run: a
// QApplication left to static destruction crashes as Qt tears itself down.
//
// The user's own settings (the operator's remembered choices) go to a
// folder of the program's own, never to the real user's, and every test
// starts without any: what one test remembers never reaches the next.
//
// A test program registers it once:
//   REPLICA_QT_TEST_APPLICATION("app_tests");

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
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
        m_settings = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
    }
    void TearDown() override {
        m_app.reset();
        m_settings.reset();
    }

  private:
    const char* m_name;
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<QTemporaryDir> m_settings;
};

class ForgetChoices : public ::testing::EmptyTestEventListener {
  public:
    void OnTestStart(const ::testing::TestInfo&) override {
        if (QCoreApplication::instance()) {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QTX", "replica");
            settings.clear();
            settings.sync();
        }
    }
};

inline ::testing::Environment* registerQtApplication(const char* name) {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetChoices);
    return ::testing::AddGlobalTestEnvironment(new QtApplication(name));
}

}  // namespace replica::test

#define REPLICA_QT_TEST_APPLICATION(name)                                  \
    [[maybe_unused]] static ::testing::Environment* const kQtApplication = \
        ::replica::test::registerQtApplication(name)
