// The main window with its login and operator screens: what each button
// opens and on which database, the login's result, and where unhandled
// errors go before and after the first upload phase.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/principalauto.h"
#include "engine/db/query.h"
#include "engine/sql.h"
#include "screens/ctrlaccesoauto.h"
#include "screens/eventmonitor.h"
#include "screens/pendientes.h"
#include "screens/settingseditor.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

// The program's QApplication is made by its test environment (qtapp_test).
void ensureApplication() {
    ASSERT_NE(QApplication::instance(), nullptr);
}

// GENERAL.FDB with companies 001 and 002 under one folder that is both the
// server text and the application directory. 001 is the local company: it
// downloads from 002 and has a failed event (1) and a pending one (2) for
// company 003, which has no server, so they never cause an upload
// connection; event 4 was replicated today. 002 holds a pending event (7)
// for another company.
struct Installation {
    test::TempDir dir;
    std::unique_ptr<db::Connection> general;
    std::unique_ptr<db::Connection> local;
    std::unique_ptr<db::Connection> server;

    Installation() {
        const std::string datos = dir.file("datos");
        std::filesystem::create_directories(datos + "/001");
        std::filesystem::create_directories(datos + "/002");
        general = test::createGeneral(datos + "/general.fdb");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Norte')");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('002', 'Sur')");
        local = test::createCompany(companyPath("001"));
        server = test::createCompany(companyPath("002"));
        for (const char* field : {"NOMBRE DE USUARIO", "CLAVE DE USUARIO"}) {
            local->execute(
                "INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
                "CONF_VALOR) VALUES ('INVENTARIO', 'ARTICULOS', '" +
                std::string(field) + " PARA REPLICACION DE ARTICULOS', " +
                (std::string(field) == "CLAVE DE USUARIO" ? "'masterkey'" : "'SYSDBA'") + ")");
        }
        local->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) VALUES ('002', 'Sur', " +
            Q(dir.path()) + ", 'S', 'S')");
        addEvent(*local, 1, "003", "'fallo'");
        addEvent(*local, 2, "003");
        addEvent(*local, 4, "003");
        local->execute("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(sqlDate(today())) +
                       ", RPEV_HORAREP = '08:00:00' WHERE RPEV_ID = 4");
        addEvent(*server, 7, "009");
        setenv("REPLICA_APP_DIR", dir.path().c_str(), 1);
        ensureApplication();
    }
    ~Installation() { unsetenv("REPLICA_APP_DIR"); }

    std::string companyPath(const std::string& code) const {
        return dir.path() + "/datos/" + code + "/norvale.fdb";
    }
    static void addEvent(db::Connection& c, int id, const std::string& company,
                         const std::string& error = "NULL", int type = 999) {
        c.execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_OPER, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_ERROR) VALUES (" +
            sqlInt(id) + ", " + Q(company) + ", " + sqlInt(type) + ", 'I', '', '" +
            std::to_string(id) + "', 'C" + std::to_string(id) + "', " + Q(sqlDate(today())) +
            ", '07:00:00', " + error + ")");
    }
    std::string file(const char* name) const { return test::slurp(dir.file(name)); }
};

// What a screen showed when it was opened.
struct Opened {
    QString title;
    std::string database;            // monitors: the path the list was read from
    std::vector<std::string> codes;  // monitors: RPEV_CODIGO of the rows
    int upload = -1;                 // pending monitor: 1 upload, 0 download
};

// The window with recorded boxes. Every dialog it opens is handed to
// onDialog (the login) or recorded and closed at once (the other screens).
struct Window {
    Tfprincipalauto w;
    std::vector<std::string> messages;
    std::vector<std::string> loginBoxes;
    std::vector<Opened> opened;
    std::function<void(screens::Tfaccesoauto&)> onLogin;
    std::function<void()> whileOpen;

    explicit Window(CommandLine cl = {}) : w(std::move(cl)) {
        w.setMessageHook(
            [this](const QString& text, bool) { messages.push_back(text.toStdString()); });
        w.setConfirmHook([](const QString&) { return true; });
        w.setDialogHook([this](QDialog& dialog) {
            if (auto* login = qobject_cast<screens::Tfaccesoauto*>(&dialog)) {
                login->hooks().warning =
                    login->hooks().message = [this](QWidget*, const QString& text) {
                        loginBoxes.push_back(text.toStdString());
                    };
                QTimer::singleShot(0, login, [this, login] { onLogin(*login); });
                return;
            }
            QTimer::singleShot(0, &dialog, [this, &dialog] {
                Opened o;
                o.title = dialog.windowTitle();
                if (auto* monitor = qobject_cast<screens::EventMonitor*>(&dialog)) {
                    o.database = monitor->database() ? monitor->database()->path() : "";
                    for (int r = 0; r < monitor->model()->rowCount(); ++r) {
                        o.codes.push_back(monitor->model()->item(r, 3)->text().toStdString());
                    }
                }
                if (auto* pending = qobject_cast<screens::Tfpendientes*>(&dialog)) {
                    o.upload = pending->uploadMode() ? 1 : 0;
                }
                opened.push_back(o);
                if (whileOpen) {
                    whileOpen();
                }
                dialog.reject();
            });
        });
    }
    QPushButton* button(const char* name) { return w.findChild<QPushButton*>(name); }
    QString label() { return w.findChild<QLabel*>("Label8")->text(); }
    void chooseCompany(const char* code) {
        auto* box = w.findChild<QComboBox*>("LCiaOri");
        box->setCurrentIndex(-1);
        box->setCurrentIndex(box->findText(code));
    }
    // An interactive start that logs in with the access-control screen on
    // server (after a first try on a server that does not exist).
    void logIn(const std::string& server, const std::string& user = "sysdba") {
        onLogin = [server, user](screens::Tfaccesoauto& login) {
            login.userBox()->setText(QString::fromStdString(user));
            login.passwordBox()->setText("masterkey");
            login.serverBox()->setEditText(QString::fromStdString(server + "/nowhere"));
            login.Entrar();
            ASSERT_TRUE(login.isVisible());  // refused: the screen stays for another try
            login.serverBox()->setEditText(QString::fromStdString(server));
            login.Entrar();
            if (login.isVisible()) {
                ADD_FAILURE() << "the login was refused";
                login.Salir();
            }
        };
        w.FormActivate();
    }
};

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(OperatorScreens, TheLoginScreenIdentifiesTheOperatorOrEndsTheProgram) {
    Installation inst;
    {
        Window s;
        QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
        QString title;
        s.onLogin = [&](screens::Tfaccesoauto& login) {
            title = login.windowTitle();
            login.Salir();
        };
        s.w.FormActivate();
        EXPECT_EQ(title, "Control de acceso");
        ASSERT_EQ(quit.count(), 1);
        EXPECT_EQ(quit.at(0).at(0).toInt(), kExitCompleted);
        EXPECT_EQ(s.w.findChild<QComboBox*>("LCiaOri")->count(), 0);
        EXPECT_TRUE(s.w.session().serverText().empty());
    }
    {
        Window s;
        QSignalSpy quit(&s.w, &Tfprincipalauto::quitRequested);
        QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);
        s.logIn(inst.dir.path(), "operador");
        EXPECT_EQ(quit.count(), 0);
        EXPECT_EQ(runs.count(), 0);
        Session& session = s.w.session();
        EXPECT_EQ(s.w.findChild<QLineEdit*>("EServidor")->text().toStdString(), inst.dir.path());
        EXPECT_EQ(session.serverText(), inst.dir.path());
        EXPECT_EQ(session.userName(), "OPERADOR");
        EXPECT_EQ(session.password().decoded(), "masterkey");
        EXPECT_EQ(session.general().userName(), "operador");  // as typed
        // A user other than the owner reads the company list.
        EXPECT_EQ(s.w.findChild<QComboBox*>("LCiaOri")->count(), 2);
        // The refused first try went to the login's handler, before any
        // user was known.
        ASSERT_EQ(s.loginBoxes.size(), 1U);
        const std::string log = inst.file("ERRORES.TXT");
        EXPECT_EQ(lines(log), 1);
        EXPECT_NE(log.find(",,"), std::string::npos);
        EXPECT_NE(log.find("/nowhere/datos/general.fdb"), std::string::npos);
    }
}

TEST(OperatorScreens, EachButtonOpensItsScreenOnItsDatabase) {
    Installation inst;
    CommandLine cl;
    cl.server = inst.dir.path();
    cl.user = "sysdba";
    cl.password = "masterkey";
    cl.company = "001";
    Window s{cl};
    s.w.FormActivate();  // runs once: downloads from 002, uploads nothing
    ASSERT_TRUE(s.w.lastReport().finished);
    ASSERT_TRUE(s.messages.empty());
    // After the run, events of the download source for this company: one
    // pending, one that failed there.
    Installation::addEvent(*inst.server, 8, "001");
    Installation::addEvent(*inst.server, 9, "001", "'fallo al descargar'");

    for (const char* name :
         {"BMensajes", "BPendienteEnvio", "BPendienteDescarga", "BCompanias", "BConfDocumentos"}) {
        ASSERT_TRUE(s.button(name)->isEnabled()) << name;
        s.button(name)->click();
    }
    // A new instance for every press.
    s.button("BPendienteEnvio")->click();

    ASSERT_EQ(s.opened.size(), 6U);
    EXPECT_EQ(s.opened[0].title, "Mensajes de error o advertencia del envio");
    EXPECT_EQ(s.opened[0].database, inst.companyPath("001"));
    // The local failure and this company's failed download at its source.
    EXPECT_EQ(s.opened[0].codes, (std::vector<std::string>{"C1", "C9"}));
    EXPECT_EQ(s.opened[1].title, "Documentos pendientes por transmitir - Pendiente envio");
    EXPECT_EQ(s.opened[1].upload, 1);
    EXPECT_EQ(s.opened[1].database, inst.companyPath("001"));
    EXPECT_EQ(s.opened[1].codes, std::vector<std::string>{"C2"});
    // Download mode: the company's download source.
    EXPECT_EQ(s.opened[2].title.toStdString(),
              "Documentos pendientes por transmitir - Pendiente descarga (" +
                  inst.companyPath("002") + ")");
    EXPECT_EQ(s.opened[2].upload, 0);
    EXPECT_EQ(s.opened[2].database, inst.companyPath("002"));
    // Only what this company's download takes: not 009's event 7.
    EXPECT_EQ(s.opened[2].codes, std::vector<std::string>{"C8"});
    EXPECT_EQ(s.opened[3].title, QString::fromUtf8("Configuración compañías"));
    EXPECT_EQ(s.opened[4].title, QString::fromUtf8("Configuración documentos"));
    EXPECT_EQ(s.opened[5].upload, 1);
    EXPECT_EQ(s.opened[5].codes, std::vector<std::string>{"C2"});
    EXPECT_EQ(s.label(), QString::fromUtf8("Último error:"));
    EXPECT_TRUE(s.messages.empty());
}

TEST(OperatorScreens, RunsAndScreensNeverOverlap) {
    Installation inst;
    CommandLine cl;
    cl.server = inst.dir.path();
    cl.user = "sysdba";
    cl.password = "masterkey";
    cl.company = "001";
    Window s{cl};
    s.w.FormActivate();
    QSignalSpy runs(&s.w, &Tfprincipalauto::runFinished);
    const char* names[] = {"BMensajes",  "BPendienteEnvio", "BPendienteDescarga",
                           "BCompanias", "BConfDocumentos", "BVerificar"};

    // During a run no screen can be opened.
    std::vector<bool> enabledDuringRun;
    std::function<void()> watch = [&] {
        if (!s.w.runInProgress()) {
            QTimer::singleShot(0, &s.w, watch);
            return;
        }
        for (const char* name : names) {
            enabledDuringRun.push_back(s.button(name)->isEnabled());
        }
        s.button("BCompanias")->click();
    };
    QTimer::singleShot(0, &s.w, watch);
    s.button("SpeedButton1")->click();
    EXPECT_EQ(runs.count(), 1);
    EXPECT_EQ(enabledDuringRun, std::vector<bool>(6, false));
    EXPECT_TRUE(s.opened.empty());
    for (const char* name : names) {
        EXPECT_TRUE(s.button(name)->isEnabled()) << name;
    }

    // A tick (or "Enviar") while a screen is open waits for it to close.
    s.w.findChild<QLineEdit*>("Minut")->setText("1");
    int runsWhileOpen = -1;
    s.whileOpen = [&] {
        s.w.Timer1Timer();
        s.w.SpeedButton1Click();
        runsWhileOpen = static_cast<int>(runs.count());
    };
    s.button("BPendienteDescarga")->click();
    EXPECT_EQ(runsWhileOpen, 1);
    EXPECT_EQ(runs.count(), 2);  // one run, right after the screen closed
    EXPECT_FALSE(s.w.screenOpen());
    ASSERT_EQ(s.opened.size(), 1U);
    EXPECT_EQ(s.opened[0].database, inst.companyPath("002"));
}

TEST(OperatorScreens, UnhandledErrorsGoToTheLoginHandlerUntilTheFirstUploadPhase) {
    Installation inst;
    Window s;
    s.logIn(inst.dir.path(), "sysdba");
    ASSERT_EQ(s.loginBoxes.size(), 1U);
    Session& session = s.w.session();
    EXPECT_FALSE(session.captureInstalled());

    session.unhandled("primero");
    ASSERT_EQ(s.loginBoxes.size(), 2U);
    EXPECT_EQ(s.loginBoxes.back(), "Se presento el siguiente error: primero");
    EXPECT_NE(inst.file("ERRORES.TXT").find(",SYSDBA,primero\n"), std::string::npos);

    // No company yet: nothing to open.
    EXPECT_FALSE(s.button("BPendienteDescarga")->isEnabled());

    // A run that ends on an error, and one that downloads but reaches no
    // upload connection, leave the login's handler in place.
    s.chooseCompany("001");
    session.local().close();
    session.local().setPath(inst.dir.file("gone.fdb"));
    s.button("SpeedButton1")->click();
    EXPECT_TRUE(s.w.lastReport().started);
    EXPECT_FALSE(s.w.lastReport().finished);
    // Logged as the login logs, and shown without a box: a run waits for
    // no one.
    EXPECT_EQ(s.loginBoxes.size(), 2U);
    EXPECT_TRUE(s.messages.empty());
    const QString failure = s.label();
    EXPECT_TRUE(failure.startsWith(QString::fromUtf8("Último error: ")) &&
                failure.contains("gone.fdb"))
        << failure.toStdString();
    EXPECT_NE(inst.file("ERRORES.TXT").find("gone.fdb"), std::string::npos);
    s.chooseCompany("002");
    s.chooseCompany("001");
    s.button("SpeedButton1")->click();
    ASSERT_TRUE(s.w.lastReport().finished);
    EXPECT_FALSE(session.captureInstalled());
    // Only the line of company 003's events, which have nowhere to go.
    const std::string errors = inst.file("errorenvio.txt");
    EXPECT_NE(errors.find(noServerMessage("003", 2) + "\n"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(s.label(), failure);

    // The first upload connection hands the errors to the capture for good.
    Installation::addEvent(*inst.local, 3, "002");
    s.button("SpeedButton1")->click();
    ASSERT_TRUE(s.w.lastReport().finished);
    EXPECT_EQ(s.w.lastReport().completed, 1);
    EXPECT_TRUE(session.captureInstalled());
    const int loginBoxes = static_cast<int>(s.loginBoxes.size());
    const std::string errores = inst.file("ERRORES.TXT");
    session.unhandled("tercero");
    s.button("BCompanias")->click();
    session.unhandled("cuarto");
    EXPECT_EQ(static_cast<int>(s.loginBoxes.size()), loginBoxes);
    EXPECT_EQ(inst.file("ERRORES.TXT"), errores);
    EXPECT_NE(inst.file("errorenvio.txt").find(",tercero\n"), std::string::npos);
    EXPECT_EQ(s.label(), QString::fromUtf8("Último error: cuarto"));
}

// An interactive start, identified without the login screen.
void startWithoutRun(Window& s, const Installation& inst, const char* company) {
    s.w.setLoginHook([&inst](Tfprincipalauto& w) {
        w.session().identify(inst.dir.path(), "sysdba", "masterkey");
        return true;
    });
    s.w.FormActivate();
    s.chooseCompany(company);
}

TEST(OperatorScreens,
     PendienteDescargaListsTheDownloadSourceBeforeAndAfterRunsThatConnectedOthers) {
    Installation inst;
    // 003 becomes an upload destination: each run connects to it last.
    std::filesystem::create_directories(inst.dir.file("datos/003"));
    auto third = test::createCompany(inst.companyPath("003"));
    inst.local->execute(
        "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
        "RPCO_ACTIVA) VALUES ('003', 'Oeste', " +
        Q(inst.dir.path()) + ", 'N', 'S')");
    Installation::addEvent(*third, 30, "009");
    Window s;
    startWithoutRun(s, inst, "001");

    // Before any run the run's own server connection has no database.
    s.button("BPendienteDescarga")->click();
    ASSERT_EQ(s.opened.size(), 1U);
    EXPECT_EQ(s.opened[0].database, inst.companyPath("002"));
    EXPECT_TRUE(s.opened[0].codes.empty());  // 002's only event is for 009
    EXPECT_TRUE(s.messages.empty());

    // Each run connects 003 last (the upload of event 2).
    for (int run = 0; run < 2; ++run) {
        Installation::addEvent(*inst.local, 40 + run, "003");
        s.button("SpeedButton1")->click();
        ASSERT_TRUE(s.w.lastReport().finished);
        ASSERT_GE(s.w.lastReport().completed, 1);
        s.button("BPendienteDescarga")->click();
        ASSERT_EQ(s.opened.size(), static_cast<std::size_t>(2 + run));
        EXPECT_EQ(s.opened.back().database, inst.companyPath("002"));
    }
    // Its own connection is closed with the screen; the run's is untouched.
    EXPECT_FALSE(s.w.session().downloadSource().isOpen());

    // No download source, or one that cannot be opened: said plainly, and
    // no screen opens.
    s.messages.clear();  // the destination's missing settings, told by the runs
    inst.local->execute("UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'N'");
    s.button("BPendienteDescarga")->click();
    EXPECT_EQ(s.messages, std::vector<std::string>{kNoDownloadSourceMessage});
    inst.local->execute(
        "UPDATE REPLICA_COMPANIA SET RPCO_ERRO = 'S', RPCO_SERVIDOR = '/nowhere' WHERE "
        "RPCO_COD = '002'");
    s.button("BPendienteDescarga")->click();
    ASSERT_EQ(s.messages.size(), 2U);
    EXPECT_EQ(s.messages[1].rfind(
                  "No se pudo conectar con el servidor /nowhere/datos/002/norvale.fdb\n", 0),
              0U)
        << s.messages[1];
    EXPECT_EQ(s.opened.size(), 3U);
}

TEST(OperatorScreens, DetenerStopsAfterTheEventInHandAndTheSummaryAndTrayTellTheRun) {
    Installation inst;
    for (int id = 11; id <= 13; ++id) {
        Installation::addEvent(*inst.server, id, "001");
    }
    // A document event without its id fails (and stays pending).
    Installation::addEvent(*inst.server, 10, "001", "NULL", 11);
    inst.server->execute("UPDATE REPLICA_EVENTOS SET RPEV_HORAREG = '06:00:00' WHERE RPEV_ID = 10");
    // Event 11 takes a while to be marked: the run, on its own thread, is
    // still on it when the window sees it.
    inst.server->execute(
        "create trigger SLOW_MARK for REPLICA_EVENTOS before update as declare t timestamp; "
        "begin if (NEW.RPEV_ID = 11 and OLD.RPEV_FECREP is null and NEW.RPEV_FECREP is not "
        "null) then begin t = cast('NOW' as timestamp); while (datediff(millisecond from t to "
        "cast('NOW' as timestamp)) < 700) do begin end end end");
    Window s;
    startWithoutRun(s, inst, "001");
    std::vector<std::pair<QString, QString>> notes;
    s.w.setNotifyHook(
        [&](const QString& title, const QString& text) { notes.emplace_back(title, text); });
    s.w.show();
    s.w.showMinimized();
    EXPECT_TRUE(s.w.trayIcon()->isVisible());  // the window is minimised

    // "Detener" is pressed while the run shows its second event.
    bool enabledDuringRun = false;
    std::function<void()> watch = [&] {
        if (s.w.runInProgress() && s.w.findChild<QLineEdit*>("EEvento")->text() == "999,I,11,C11") {
            enabledDuringRun = s.button("BDetener")->isEnabled();
            s.button("BDetener")->click();
            return;
        }
        QTimer::singleShot(0, &s.w, watch);
    };
    QTimer::singleShot(0, &s.w, watch);
    s.button("SpeedButton1")->click();

    const RunReport& r = s.w.lastReport();
    EXPECT_TRUE(enabledDuringRun);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.failed, 1);     // event 10
    EXPECT_EQ(r.completed, 1);  // event 11, in hand when the stop came
    db::Query q(*inst.server);
    q.open(
        "select count(*) from REPLICA_EVENTOS where RPEV_FECREP is null and RPEV_ID in (12, 13)");
    EXPECT_EQ(q.asInt(0), 2);
    EXPECT_FALSE(s.button("BDetener")->isEnabled());
    EXPECT_TRUE(s.w.timer().isActive());  // still replicating on its timer
    EXPECT_FALSE(s.w.closePending());

    const QString summary = s.w.runSummary();
    EXPECT_TRUE(summary.contains(
        QString::fromUtf8(": 2 eventos, 1 replicados, 1 con error, 0 omitidos; duró ")))
        << summary.toStdString();
    EXPECT_TRUE(summary.endsWith(" (detenido)")) << summary.toStdString();
    EXPECT_EQ(s.w.findChild<QLabel*>("LResumen")->text(), summary);
    EXPECT_TRUE(s.w.trayIcon()->toolTip().endsWith(summary));
    ASSERT_EQ(notes.size(), 1U);
    EXPECT_EQ(notes[0].first, QString::fromUtf8("Envío con errores"));
    EXPECT_EQ(notes[0].second, summary);
    // The error label says when it was written.
    EXPECT_TRUE(s.label().startsWith(QString::fromUtf8("Último error: Documento tipo 11 ")))
        << s.label().toStdString();
    EXPECT_TRUE(s.label().contains(": RPEV_IDDOC")) << s.label().toStdString();
    EXPECT_FALSE(s.w.findChild<QLabel*>("LHoraError")->text().isEmpty());

    // The next run does the rest; with the window up, no notification.
    s.w.showNormal();
    EXPECT_FALSE(s.w.trayIcon()->isVisible());
    s.button("SpeedButton1")->click();
    EXPECT_EQ(s.w.lastReport().completed, 2);
    EXPECT_FALSE(s.w.runSummary().contains("detenido"));
    // Event 10 failed again: the summary says it was a retry.
    EXPECT_TRUE(s.w.runSummary().contains("1 con error (1 reintentados)"))
        << s.w.runSummary().toStdString();
    EXPECT_EQ(notes.size(), 1U);
}

}  // namespace
}  // namespace replica::app
