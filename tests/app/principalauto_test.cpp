#include "app/principalauto.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/db/query.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

// The program's QApplication is made by its test environment (qtapp_test).
void ensureApplication() {
    ASSERT_NE(QApplication::instance(), nullptr);
}

// DIR/datos/general.fdb listing companies 001, 002 and 003, and company
// databases for 001 (two branches) and 002 (one); 003 has no database.
struct Installation {
    test::TempDir dir;
    std::unique_ptr<db::Connection> general;
    std::unique_ptr<db::Connection> north;
    std::unique_ptr<db::Connection> south;

    Installation() {
        const std::string datos = dir.file("datos");
        std::filesystem::create_directories(datos + "/001");
        std::filesystem::create_directories(datos + "/002");
        general = test::createGeneral(datos + "/general.fdb");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Norte')");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('002', 'Sur')");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('003', 'Oeste')");
        north = test::createCompany(datos + "/001/norvale.fdb");
        north->execute("insert into SUCURSALES (SUCU_ID, SUCU_NOMBRE) values (1, 'Centro')");
        north->execute("insert into SUCURSALES (SUCU_ID, SUCU_NOMBRE) values (2, 'Puerto')");
        south = test::createCompany(datos + "/002/norvale.fdb");
        south->execute("insert into SUCURSALES (SUCU_ID, SUCU_NOMBRE) values (1, 'Playa')");
        setenv("REPLICA_APP_DIR", dir.path().c_str(), 1);
        ensureApplication();
    }
    ~Installation() { unsetenv("REPLICA_APP_DIR"); }

    CommandLine commandLine(const std::string& company, const std::string& fifth = "") const {
        CommandLine cl;
        cl.server = dir.path();
        cl.user = "sysdba";
        cl.password = "masterkey";
        cl.company = company;
        cl.skipErrors = fifth;
        return cl;
    }
};

// A window whose message boxes are recorded instead of waiting.
struct Screen {
    Tfprincipalauto w;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = true;
    std::function<void(const std::string&)> onMessage;

    explicit Screen(CommandLine cl) : w(std::move(cl)) {
        w.setConfirmHook([this](const QString& text) {
            questions.push_back(text.toStdString());
            return answer;
        });
        w.setMessageHook([this](const QString& text, bool) {
            messages.push_back(text.toStdString());
            if (onMessage) {
                onMessage(text.toStdString());
            }
        });
    }
    template <typename T>
    T* get(const char* name) {
        T* widget = w.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* name) { return get<QLineEdit>(name)->text(); }
    QStringList items(const char* name) {
        QStringList list;
        auto* box = get<QComboBox>(name);
        for (int i = 0; i < box->count(); ++i) {
            list << box->itemText(i);
        }
        return list;
    }
};

TEST(MainScreen, ShowsItsCaptionsAndDefaults) {
    ensureApplication();
    Screen s{CommandLine{}};
    EXPECT_EQ(s.w.windowTitle(), QString::fromUtf8("Envío de información"));
    EXPECT_EQ(s.text("NroOp"), "100");
    EXPECT_EQ(s.text("NroOpE"), "100");
    EXPECT_EQ(s.text("Minut"), "1");
    EXPECT_EQ(s.text("Pref"), "");
    EXPECT_TRUE(s.get<QLineEdit>("EServidor")->isReadOnly());
    EXPECT_TRUE(s.get<QLineEdit>("EUltenvio")->isReadOnly());
    EXPECT_EQ(s.get<QCheckBox>("ckreciente")->text(),
              QString::fromUtf8("Enviar lo más reciente primero"));
    EXPECT_FALSE(s.get<QCheckBox>("ckreciente")->isChecked());
    EXPECT_EQ(s.get<QCheckBox>("CkError")->text(), "No reintentar errores");
    EXPECT_FALSE(s.get<QCheckBox>("CkError")->isChecked());
    EXPECT_EQ(s.get<QLabel>("Label8")->text(), "Ultimo error:");
    EXPECT_EQ(s.get<QLabel>("LRevision")->text(), "Rev:2026/05/22");
    EXPECT_EQ(s.get<QComboBox>("LCiaOri")->currentText(), "");

    QStringList captions;
    for (const QLabel* label : s.w.findChildren<QLabel*>()) {
        captions << label->text();
    }
    for (const char* caption :
         {"Servidor:", "Compañía Local:", "Agencia:", "Prefijo a enviar:", "Operaciones a traer:",
          "Operaciones a enviar:", "Frecuencia:", "minutos", "Ultima actualización:"}) {
        EXPECT_TRUE(captions.contains(QString::fromUtf8(caption))) << caption;
    }

    EXPECT_EQ(s.get<QPushButton>("SpeedButton1")->text(), "Enviar");
    EXPECT_TRUE(s.get<QPushButton>("SpeedButton1")->isEnabled());
    EXPECT_EQ(s.get<QPushButton>("BCancelar")->text(), "Cancelar");
    // No company yet: only the log view can open.
    for (const char* name :
         {"BMensajes", "BPendienteEnvio", "BPendienteDescarga", "BCompanias", "BConfDocumentos"}) {
        EXPECT_FALSE(s.get<QPushButton>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(s.get<QPushButton>("BRegistros")->isEnabled());
    EXPECT_FALSE(s.get<QPushButton>("BDetener")->isEnabled());
    EXPECT_TRUE(s.get<QFrame>("PProgreso")->isHidden());
    EXPECT_TRUE(s.get<QLineEdit>("EEvento")->isHidden());
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 1800000);
}

TEST(MainScreen, EnviarWithoutCompanyOnlyShowsItsMessage) {
    ensureApplication();
    int statements = 0;
    db::Connection::setTraceHook([&](const db::Connection&, const std::string&) { ++statements; });
    Screen s{CommandLine{}};
    s.get<QPushButton>("SpeedButton1")->click();
    db::Connection::setTraceHook({});

    EXPECT_EQ(s.messages, std::vector<std::string>{"Debe indicar la compañía de origen."});
    EXPECT_EQ(statements, 0);
    EXPECT_EQ(s.text("EUltenvio"), "");
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 1800000);
    EXPECT_FALSE(s.w.lastReport().started);
}

TEST(MainScreen, CommandLineStartConnectsTheCompanyRunsOnceAndRearmsTheTimer) {
    Installation inst;
    Screen s{inst.commandLine("001", "1")};
    s.get<QLineEdit>("Minut")->setText("5");
    QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);
    s.w.FormActivate();

    Session& session = s.w.session();
    EXPECT_EQ(session.general().path(), inst.dir.path() + "/datos/general.fdb");
    EXPECT_EQ(session.general().userName(), "sysdba");  // as given
    EXPECT_EQ(session.local().path(), inst.dir.path() + "/datos/001/norvale.fdb");
    EXPECT_EQ(session.local().userName(), "SYSDBA");
    EXPECT_NE(session.password().encoded(), "masterkey");
    EXPECT_EQ(session.password().decoded(), "masterkey");
    EXPECT_EQ(s.text("EServidor").toStdString(), inst.dir.path());
    EXPECT_EQ(s.items("LCiaOri"), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(s.get<QComboBox>("LCiaOri")->currentText(), "001");
    EXPECT_EQ(s.items("LAgencia"), (QStringList{"Todas", "Centro", "Puerto"}));
    EXPECT_TRUE(s.get<QCheckBox>("CkError")->isChecked());

    EXPECT_EQ(runs.count(), 1);
    EXPECT_TRUE(s.w.lastReport().started);
    EXPECT_TRUE(s.w.lastReport().finished);
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(s.text("EUltenvio"), "Sin envios hasta ahora.");
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 5 * 60000);
    EXPECT_TRUE(s.get<QFrame>("PProgreso")->isHidden());

    // Later activations do nothing.
    s.w.FormActivate();
    EXPECT_EQ(runs.count(), 1);

    // A frequency of 0 leaves the timer without ticks.
    s.get<QLineEdit>("Minut")->setText("0");
    s.w.Timer1Timer();
    EXPECT_EQ(runs.count(), 2);
    EXPECT_FALSE(s.w.timer().isActive());
}

TEST(MainScreen, ChoosingAnotherCompanyClosesThePreviousConnectionFirst) {
    Installation inst;
    Screen s{inst.commandLine("001")};
    s.w.FormActivate();
    auto* box = s.get<QComboBox>("LCiaOri");
    db::Connection& local = s.w.session().local();

    box->setCurrentIndex(box->findText("002"));
    EXPECT_TRUE(local.isOpen());
    EXPECT_EQ(local.path(), inst.dir.path() + "/datos/002/norvale.fdb");
    EXPECT_EQ(s.items("LAgencia"), (QStringList{"Todas", "Playa"}));

    // 003 has no database: the open fails, and 002's connection is already
    // closed rather than left serving the wrong company.
    box->setCurrentIndex(box->findText("003"));
    EXPECT_FALSE(local.isOpen());
    EXPECT_EQ(local.path(), inst.dir.path() + "/datos/003/norvale.fdb");
    EXPECT_TRUE(s.items("LAgencia").isEmpty());
    const QString error = s.get<QLabel>("Label8")->text();
    EXPECT_TRUE(error.startsWith("Ultimo error: ")) << error.toStdString();
    EXPECT_GT(error.size(), QString("Ultimo error: ").size());
    EXPECT_NE(test::slurp(inst.dir.file("errorenvio.txt")).find("003"), std::string::npos);
    EXPECT_TRUE(s.messages.empty());
}

TEST(MainScreen, CommandLineStartThatCannotOpenItsDatabasesRunsNothing) {
    Installation inst;
    struct Case {
        const char* what;
        std::string server;
        std::string company;
    } cases[] = {
        {"no GENERAL.FDB", inst.dir.file("nowhere"), "001"},
        {"company without database", inst.dir.path(), "003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandLine cl = inst.commandLine(c.company);
        cl.server = c.server;
        cl.once = true;
        Screen s{cl};
        QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
        QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);
        s.w.FormActivate();
        EXPECT_EQ(runs.count(), 0);
        EXPECT_TRUE(s.messages.empty());
        EXPECT_TRUE(s.get<QLabel>("Label8")->text().startsWith("Ultimo error: "));
        ASSERT_EQ(quit.count(), 1);
        EXPECT_EQ(quit.at(0).at(0).toInt(), kExitNotStarted);
    }
    EXPECT_FALSE(test::slurp(inst.dir.file("errorenvio.txt")).empty());
}

TEST(MainScreen, UnknownCompanyLeavesTheSelectorEmptyAndTheRunRefuses) {
    Installation inst;
    CommandLine cl = inst.commandLine("009");
    cl.once = true;
    Screen s{cl};
    QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
    s.w.FormActivate();
    EXPECT_EQ(s.get<QComboBox>("LCiaOri")->currentText(), "");
    EXPECT_EQ(s.messages, std::vector<std::string>{"Debe indicar la compañía de origen."});
    ASSERT_EQ(quit.count(), 1);
    EXPECT_EQ(quit.at(0).at(0).toInt(), kExitNotStarted);
}

TEST(MainScreen, InteractiveStartUsesTheLoginAndCancellingEndsTheProgram) {
    Installation inst;
    {
        Screen s{CommandLine{}};
        QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
        s.w.setLoginHook([](Tfprincipalauto&) { return false; });
        s.w.FormActivate();
        ASSERT_EQ(quit.count(), 1);
        EXPECT_EQ(quit.at(0).at(0).toInt(), kExitCompleted);
        EXPECT_EQ(s.get<QComboBox>("LCiaOri")->count(), 0);
    }
    {
        Screen s{CommandLine{}};
        QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
        QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);
        s.w.setLoginHook([&](Tfprincipalauto& w) {
            w.session().identify(inst.dir.path(), "sysdba", "masterkey");
            return true;
        });
        s.w.FormActivate();
        EXPECT_EQ(quit.count(), 0);
        EXPECT_EQ(runs.count(), 0);  // no run until the operator asks for one
        EXPECT_EQ(s.get<QComboBox>("LCiaOri")->count(), 3);
        EXPECT_EQ(s.get<QComboBox>("LCiaOri")->currentText(), "");
        EXPECT_EQ(s.text("EServidor").toStdString(), inst.dir.path());
    }
}

TEST(MainScreen, CloseAndSecondEnviarDuringARunWaitForTheRunToReturn) {
    Installation inst;
    Screen s{inst.commandLine("001")};
    s.w.FormActivate();
    s.w.show();
    QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);

    // A frequency that is not a number is reported at the end of the run,
    // while the run is still in progress: the test acts from there.
    s.get<QLineEdit>("Minut")->setText("x");
    bool pendingSeen = false;
    bool visibleDuringRun = false;
    s.onMessage = [&](const std::string&) {
        if (!s.w.runInProgress()) {
            return;
        }
        s.get<QPushButton>("SpeedButton1")->click();  // ignored
        s.get<QPushButton>("BCancelar")->click();     // deferred
        pendingSeen = s.w.closePending();
        visibleDuringRun = s.w.isVisible();
    };
    s.get<QPushButton>("SpeedButton1")->click();

    EXPECT_EQ(runs.count(), 1);
    EXPECT_EQ(s.messages.size(), 1U);
    EXPECT_TRUE(pendingSeen);
    EXPECT_EQ(s.questions, std::vector<std::string>{
                               "Hay un envío en curso. ¿Desea cerrar el programa cuando termine?"});
    EXPECT_TRUE(visibleDuringRun);
    EXPECT_FALSE(s.w.isVisible());  // closed once the run returned
    EXPECT_FALSE(s.w.closePending());
    // The bad frequency kept the previous interval and the timer.
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 60000);
}

}  // namespace
}  // namespace replica::app
