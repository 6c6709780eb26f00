#include "app/principalauto.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/db/query.h"
#include "engine/operator.h"
#include "tests/support/erp.h"
#include "tests/support/fbserver.h"
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
        // Shown without a command line, the window would ask for a login.
        w.setLoginHook([](Tfprincipalauto&) { return false; });
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
    EXPECT_EQ(s.get<QLabel>("Label8")->text(), QString::fromUtf8("Último error:"));
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

// The operator's choice of whole documents outlives the window and reaches
// the run; it starts unchecked.
TEST(MainScreen, WholeDocumentsChoiceIsRememberedForTheNextStartAndReachesTheRun) {
    ensureApplication();
    test::TempDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(home.path()));
    {
        Screen s{CommandLine{}};
        auto* box = s.get<QCheckBox>("CkCompletos");
        EXPECT_EQ(box->text(), "Documentos completos (todo o nada)");
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(s.w.screenOperator().inputs().atomicDocuments);
        box->setChecked(true);
        EXPECT_TRUE(s.w.screenOperator().inputs().atomicDocuments);
    }
    {
        Screen s{CommandLine{}};
        EXPECT_TRUE(s.get<QCheckBox>("CkCompletos")->isChecked());
        s.get<QCheckBox>("CkCompletos")->setChecked(false);
    }
    Screen s{CommandLine{}};
    EXPECT_FALSE(s.get<QCheckBox>("CkCompletos")->isChecked());
}

// What the operator typed and chose comes back at the next start; what a
// run or the program set does not.
TEST(MainScreen, TheOperatorsChoicesComeBackAfterARestart) {
    ensureApplication();
    QRect placed;
    {
        Screen s{CommandLine{}};
        for (const char* name : {"NroOp", "NroOpE", "Minut"}) {
            auto* edit = s.get<QLineEdit>(name);
            edit->selectAll();
            QTest::keyClicks(edit, name == std::string("Minut") ? "7" : "40");
        }
        s.get<QCheckBox>("ckreciente")->click();
        s.get<QCheckBox>("CkError")->click();
        s.w.screenOperator().setDownloadCount("3");  // the run's, not the operator's
        s.w.show();
        s.w.setGeometry(40, 50, 700, 640);
        QApplication::processEvents();
        placed = s.w.geometry();
    }
    {
        Screen s{CommandLine{}};
        EXPECT_EQ(s.text("NroOp"), "40");
        EXPECT_EQ(s.text("NroOpE"), "40");
        EXPECT_EQ(s.text("Minut"), "7");
        EXPECT_TRUE(s.get<QCheckBox>("ckreciente")->isChecked());
        EXPECT_TRUE(s.get<QCheckBox>("CkError")->isChecked());
        EXPECT_EQ(s.w.geometry().size(), placed.size());
        EXPECT_EQ(s.w.screenOperator().inputs().frequency, "7");
        s.get<QCheckBox>("CkError")->click();
    }
    Screen s{CommandLine{}};
    EXPECT_FALSE(s.get<QCheckBox>("CkError")->isChecked());
    EXPECT_TRUE(s.get<QCheckBox>("ckreciente")->isChecked());
}

// "Enviar" by hand says in a box why the run was refused; the timer's run
// says it only on the label and in the log, for no one may be there.
TEST(MainScreen, EnviarWithoutCompanyOnlyShowsItsMessage) {
    ensureApplication();
    test::TempDir dir;
    setenv("REPLICA_APP_DIR", dir.path().c_str(), 1);
    int statements = 0;
    db::Connection::setTraceHook([&](const db::Connection&, const std::string&) { ++statements; });
    Screen s{CommandLine{}};
    s.get<QPushButton>("SpeedButton1")->click();
    s.w.Timer1Timer();
    db::Connection::setTraceHook({});
    unsetenv("REPLICA_APP_DIR");

    EXPECT_EQ(s.messages, std::vector<std::string>{"Debe indicar la compañía de origen."});
    EXPECT_EQ(s.get<QLabel>("Label8")->text(),
              QString::fromUtf8("Último error: Debe indicar la compañía de origen."));
    const std::string log = test::slurp(dir.file("errorenvio.txt"));
    EXPECT_NE(log.find("Debe indicar"), log.rfind("Debe indicar")) << log;
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

    // Between runs a new frequency takes effect as it is entered, and one
    // that is not a number is said at once, the interval kept.
    s.get<QLineEdit>("Minut")->setText("7");
    emit s.get<QLineEdit>("Minut")->editingFinished();
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 7 * 60000);
    s.get<QLineEdit>("Minut")->setText("abc");
    emit s.get<QLineEdit>("Minut")->editingFinished();
    EXPECT_EQ(s.messages, std::vector<std::string>{kFrequencyMessage});
    EXPECT_EQ(s.w.timer().interval(), 7 * 60000);
    EXPECT_EQ(runs.count(), 2);
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
    EXPECT_TRUE(error.startsWith(QString::fromUtf8("Último error: "))) << error.toStdString();
    EXPECT_GT(error.size(), QString::fromUtf8("Último error: ").size());
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
        EXPECT_TRUE(
            s.get<QLabel>("Label8")->text().startsWith(QString::fromUtf8("Último error: ")));
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
    // No one may be there to click a box.
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(s.get<QLabel>("Label8")->text(),
              QString::fromUtf8("Último error: Debe indicar la compañía de origen."));
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

// The run's cleanup deletes an old replicated event whose trigger keeps the
// database busy for a while: the window's event loop goes on turning, and
// what the operator presses meanwhile is acted on at once. No box waits for
// a click during the run (a bad frequency is said on the label), a second
// "Enviar" starts nothing, and a close asked for finishes the document in
// hand, then closes.
TEST(MainScreen, TheWindowStaysLiveWhileARunWaitsAndActsOnButtonsAtOnce) {
    Installation inst;
    inst.north->execute(
        "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_CODIGO, RPEV_FECREG, "
        "RPEV_HORAREG, RPEV_OPER, RPEV_FECREP, RPEV_HORAREP) values ('002', 999, 'X', "
        "CURRENT_DATE - 30, CURRENT_TIME, 'I', CURRENT_DATE - 30, CURRENT_TIME)");
    inst.north->execute(
        "create trigger SLOW_DELETE for REPLICA_EVENTOS before delete as declare t timestamp; "
        "begin t = cast('NOW' as timestamp); while (datediff(millisecond from t to cast('NOW' as "
        "timestamp)) < 1500) do begin end end");
    Screen s{inst.commandLine("001")};
    s.get<QLineEdit>("Minut")->setText("x");
    s.w.show();
    QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += s.w.runInProgress() ? 1 : 0; });
    ticker.start(20);
    bool stopActedOn = false;
    bool closeWaits = false;
    QString caption;
    QTimer::singleShot(300, &s.w, [&] {
        ASSERT_TRUE(s.w.runInProgress());
        s.get<QPushButton>("SpeedButton1")->click();  // ignored
        s.get<QPushButton>("BDetener")->click();
        stopActedOn = s.w.session().driver().stopRequested() && s.w.runInProgress();
        caption = s.get<QLabel>("LProgreso")->text();
        s.get<QPushButton>("BCancelar")->click();
        closeWaits = s.w.closePending() && s.w.isVisible();
    });
    s.w.FormActivate();

    EXPECT_EQ(runs.count(), 1);
    EXPECT_GT(ticks, 10);
    EXPECT_TRUE(stopActedOn);
    EXPECT_EQ(caption, QString::fromUtf8("Deteniendo el envío después del documento en curso..."));
    EXPECT_TRUE(closeWaits);
    EXPECT_TRUE(s.messages.empty()) << s.messages.front();
    EXPECT_EQ(s.questions, std::vector<std::string>{
                               "Hay un envío en curso. ¿Desea cerrar el programa cuando termine?"});
    EXPECT_TRUE(s.w.lastReport().finished);
    EXPECT_FALSE(s.w.isVisible());  // closed once the run returned
    EXPECT_FALSE(s.w.closePending());
    EXPECT_TRUE(s.get<QLabel>("Label8")->text().contains(QString::fromUtf8(kFrequencyMessage)));
    // The bad frequency kept the previous interval and the timer.
    EXPECT_TRUE(s.w.timer().isActive());
    EXPECT_EQ(s.w.timer().interval(), 1800000);
}

// A server killed under the agent: the run that finds it gone ends without
// a box and with the timer armed, and once the server is back the next run
// works, with no company chosen again.
TEST(MainScreen, AnOutageLeavesTheTimerArmedAndTheNextRunReconnects) {
    Installation inst;
    // The server opens the files itself: the embedded engine lets them go.
    inst.general.reset();
    inst.north.reset();
    inst.south.reset();
    test::FirebirdServer server(inst.dir.file("fb"));
    if (!server.running()) {
        GTEST_SKIP() << server.why();
    }
    CommandLine cl = inst.commandLine("001");
    cl.server = server.remote(inst.dir.path());
    Screen s{cl};
    s.get<QLineEdit>("Minut")->setText("5");
    s.w.FormActivate();
    ASSERT_TRUE(s.w.lastReport().finished) << s.get<QLabel>("Label8")->text().toStdString();

    server.kill();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        s.w.Timer1Timer();
        EXPECT_FALSE(s.w.lastReport().finished);
        EXPECT_TRUE(s.w.lastReport().outage);
        EXPECT_TRUE(s.w.timer().isActive());
        EXPECT_EQ(s.w.timer().interval(), 5 * 60000);
    }
    EXPECT_TRUE(s.messages.empty()) << s.messages.front();
    EXPECT_TRUE(s.get<QLabel>("Label8")->text().startsWith(QString::fromUtf8("Último error: ")));
    EXPECT_NE(s.w.countdownText(), QString::fromUtf8("sin envíos automáticos"));

    ASSERT_TRUE(server.start()) << server.why();
    s.w.Timer1Timer();
    EXPECT_TRUE(s.w.lastReport().finished) << s.get<QLabel>("Label8")->text().toStdString();
    EXPECT_FALSE(s.w.lastReport().outage);
    EXPECT_TRUE(s.w.timer().isActive());
}

// The tray's own menu, owned by the window, opens its actions whatever the
// window's state; the icon is not beside a window on screen.
TEST(MainScreen, TheTrayHasItsOwnMenuAndOnlyStandsInForAHiddenWindow) {
    ensureApplication();
    Screen s{CommandLine{}};
    s.w.show();
    QApplication::processEvents();
    EXPECT_FALSE(s.w.trayIcon()->isVisible());
    s.w.showMinimized();
    QApplication::processEvents();
    QMenu* menu = s.w.trayIcon()->contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->parent(), &s.w);
    // A right click while minimised is the menu's, not a restore.
    emit s.w.trayIcon()->activated(QSystemTrayIcon::Context);
    QApplication::processEvents();
    EXPECT_TRUE(s.w.isMinimized());
    menu->popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_TRUE(menu->isVisible());
    menu->actions().front()->trigger();
    menu->hide();
    QApplication::processEvents();
    EXPECT_FALSE(s.w.isMinimized());
    EXPECT_TRUE(s.w.isVisible());
}

TEST(MainScreen, NothingMovesDuringARunAndTheProgressPanelComesBackAfterAFailedEvent) {
    ensureApplication();
    Screen s{CommandLine{}};
    s.w.show();
    auto geometryOf = [&] {
        std::vector<QRect> out{s.w.geometry()};
        for (const char* name :
             {"SpeedButton1", "BDetener", "BCancelar", "BMensajes", "BRegistros", "LRevision"}) {
            QWidget* w = s.w.findChild<QWidget*>(name);
            out.push_back(QRect(w->mapTo(&s.w, QPoint(0, 0)), w->size()));
        }
        out.push_back(s.get<QLabel>("Label8")->geometry());
        return out;
    };
    QApplication::processEvents();
    const std::vector<QRect> idle = geometryOf();
    Operator& op = s.w.screenOperator();

    op.showProgress("Descargando información del servidor ...");
    op.setProgressMaximum(3);
    op.showEventLine("11,I,EI123," + std::string(300, 'x'));
    op.stepProgress();
    QApplication::processEvents();
    EXPECT_EQ(geometryOf(), idle);
    // A failed event: the capture hides the panel and writes a long error.
    op.setLastError("Ultimo error: " + std::string(400, 'e') + " /una/ruta/sin/espacios/" +
                    std::string(200, 'r'));
    op.hideProgress();
    QApplication::processEvents();
    EXPECT_EQ(geometryOf(), idle);
    EXPECT_TRUE(s.get<QFrame>("PProgreso")->isHidden());
    EXPECT_TRUE(s.get<QLabel>("Label8")->toolTip().endsWith(QString(200, 'r')));
    // The next event's step shows it again, where it was.
    op.showEventLine("999,I,1,C1");
    op.stepProgress();
    QApplication::processEvents();
    EXPECT_FALSE(s.get<QFrame>("PProgreso")->isHidden());
    EXPECT_EQ(s.get<QProgressBar>("ProgressBar1")->value(), 2);
    op.hideEventLine();
    op.hideProgress();
    QApplication::processEvents();
    EXPECT_EQ(geometryOf(), idle);
}

TEST(MainScreen, CancelarAsksWhileTheTimerIsArmedAndNoKeepsTheProgramRunning) {
    ensureApplication();
    Screen s{CommandLine{}};
    s.w.show();
    s.answer = false;
    s.get<QPushButton>("BCancelar")->click();
    EXPECT_EQ(s.questions, std::vector<std::string>{"Al cerrar el programa se detienen los envíos "
                                                    "automáticos. ¿Desea cerrarlo?"});
    EXPECT_TRUE(s.w.isVisible());
    s.answer = true;
    s.get<QPushButton>("BCancelar")->click();
    EXPECT_FALSE(s.w.isVisible());

    // Without automatic runs there is nothing to lose: no question. And a
    // close the program asks for (a stop signal) never waits for one.
    Screen idle{CommandLine{}};
    idle.w.show();
    idle.w.timer().stop();
    idle.get<QPushButton>("BCancelar")->click();
    EXPECT_FALSE(idle.w.isVisible());
    Screen signalled{CommandLine{}};
    signalled.w.show();
    signalled.w.close();
    EXPECT_FALSE(signalled.w.isVisible());
    EXPECT_TRUE(idle.questions.empty());
    EXPECT_TRUE(signalled.questions.empty());
}

TEST(MainScreen, ScreenButtonsFollowTheCompanyAndTheBoxShowsItsCodeAndName) {
    Installation inst;
    Screen s{CommandLine{}};
    s.w.setLoginHook([&](Tfprincipalauto& w) {
        w.session().identify(inst.dir.path(), "sysdba", "masterkey");
        return true;
    });
    s.w.FormActivate();
    auto* box = s.get<QComboBox>("LCiaOri");
    EXPECT_FALSE(s.get<QPushButton>("BCompanias")->isEnabled());
    box->setCurrentIndex(box->findText("002"));
    EXPECT_EQ(box->currentText(), "002");  // still keyed on the code
    EXPECT_EQ(s.w.companyShown(), "002 - Sur");
    for (const char* name :
         {"BPendienteEnvio", "BPendienteDescarga", "BCompanias", "BConfDocumentos"}) {
        EXPECT_TRUE(s.get<QPushButton>(name)->isEnabled()) << name;
    }
    // A company whose database cannot be opened leaves them disabled.
    box->setCurrentIndex(box->findText("003"));
    EXPECT_EQ(s.w.companyShown(), "003 - Oeste");
    for (const char* name :
         {"BMensajes", "BPendienteEnvio", "BPendienteDescarga", "BCompanias", "BConfDocumentos"}) {
        EXPECT_FALSE(s.get<QPushButton>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(s.get<QPushButton>("BRegistros")->isEnabled());
}

TEST(MainScreen, PlatformTextsAreSpanishAndCaptionsStandAlone) {
    ensureApplication();
    QGuiApplication::setApplicationDisplayName(QString::fromUtf8("Norvale Envio automático"));
    Screen s{CommandLine{}};
    // The platform appends a display name to every caption: there is none.
    EXPECT_TRUE(QGuiApplication::applicationDisplayName().isEmpty());
    EXPECT_EQ(s.w.windowTitle(), QString::fromUtf8("Envío de información"));
    // The program's title still names it where the program is named.
    EXPECT_TRUE(
        s.w.trayIcon()->toolTip().startsWith(QString::fromUtf8("Norvale Envio automático")));

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("&Sí"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QString::fromUtf8("Cancelar"));
    // The save dialog's own labels.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"),
              QString::fromUtf8("&Nombre de fichero:"));
}

}  // namespace
}  // namespace replica::app
