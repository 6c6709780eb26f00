// Every screen rendered at its default size, as the operator first sees it:
// no control outside its window or cut by its parent, no control smaller
// than it needs, no label narrower than its text. Each screen is written
// as a PNG into the build folder for review.
//
// Sizes are measured with each widget's own font metrics, so the checks
// hold whatever fonts the platform (offscreen or X11) provides.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/principalauto.h"
#include "app/verify.h"
#include "engine/sql.h"
#include "screens/ctrlaccesoauto.h"
#include "screens/gridtools.h"
#include "screens/logview.h"
#include "screens/mensajesenv.h"
#include "screens/pendientes.h"
#include "screens/repcompania.h"
#include "screens/repdocs.h"
#include "screens/verificar.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

QString shownText(const QLabel& label) {
    QString text = label.text();
    if (label.buddy()) {
        // A label with a buddy shows its mnemonic underlined, not the "&".
        text.remove(QLatin1Char('&'));
    }
    return text;
}

// Parts of a compound control (a view's cells and scroll bars, a combo
// box's own line) are laid out by that control, not by the screen.
bool partOfAControl(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(p) || qobject_cast<const QComboBox*>(p)) {
            return true;
        }
    }
    return false;
}

// The problems of one window as the operator sees it now.
std::vector<std::string> layoutProblems(QWidget& window) {
    std::vector<std::string> problems;
    const QRect frame = window.rect();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->isWindow() || partOfAControl(w, &window)) {
            continue;
        }
        const std::string name =
            (w->objectName().isEmpty() ? std::string(w->metaObject()->className())
                                       : w->objectName().toStdString());
        const QRect inWindow(w->mapTo(&window, QPoint(0, 0)), w->size());
        if (!frame.contains(inWindow)) {
            problems.push_back(name + " lies outside the window");
        }
        if (QWidget* parent = w->parentWidget();
            parent && parent != &window && !parent->rect().contains(w->geometry())) {
            problems.push_back(name + " is cut by its parent");
        }
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QProgressBar*>(w);
        if (control) {
            const QSize need = w->minimumSizeHint();
            if (w->width() < need.width() || w->height() < need.height()) {
                problems.push_back(name + " is smaller than it needs");
            }
        }
        auto* tool = qobject_cast<QToolButton*>(w);
        const bool iconOnly = tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly;
        if (auto* button = qobject_cast<QAbstractButton*>(w);
            button && !iconOnly && !button->text().isEmpty()) {
            QString text = button->text();
            text.remove(QLatin1Char('&'));
            if (button->width() < button->fontMetrics().horizontalAdvance(text)) {
                problems.push_back(name + " cuts its caption \"" + text.toStdString() + "\"");
            }
        }
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            const QRect room = label->contentsRect();
            const QString text = shownText(*label);
            if (label->wordWrap()) {
                if (room.height() <
                    label->heightForWidth(label->width()) - (label->height() - room.height())) {
                    problems.push_back(name + " cuts its lines \"" + text.toStdString() + "\"");
                }
            } else if (room.width() < label->fontMetrics().horizontalAdvance(text)) {
                problems.push_back(name + " is narrower than its text \"" + text.toStdString() +
                                   "\"");
            }
        }
    }
    return problems;
}

// Shows window at its default size, checks it and writes its picture.
void check(QWidget& window, const char* file) {
    SCOPED_TRACE(file);
    window.show();
    QApplication::processEvents();
    ASSERT_TRUE(window.isVisible());
    for (const std::string& p : layoutProblems(window)) {
        ADD_FAILURE() << file << ": " << p;
    }
    const QString dir = QStringLiteral(REPLICA_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    EXPECT_TRUE(window.grab().save(dir + QLatin1Char('/') + QLatin1String(file) + ".png"));
}

struct Installation {
    test::TempDir dir;
    std::unique_ptr<db::Connection> general;
    std::unique_ptr<db::Connection> local;

    Installation() {
        std::filesystem::create_directories(dir.file("datos/001"));
        general = test::createGeneral(dir.file("datos/general.fdb"));
        general->execute(
            "insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Distribuidora Norte')");
        local = test::createCompany(dir.file("datos/001/norvale.fdb"));
        local->execute("insert into SUCURSALES (SUCU_ID, SUCU_NOMBRE) values (1, 'Centro')");
        local->execute(
            "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO, "
            "RPCO_ACTIVA) VALUES ('002', 'Almacenes del Sur', " +
            Q(dir.path()) + ", 'S', 'S')");
        local->execute("INSERT INTO REPLICACION_CONFIGURA VALUES (11, 'EI', 'S', '002')");
        const char* rows[] = {
            "(1, '002', 11, 'EI', '000123', '', NULL)",
            "(2, '002', 999, NULL, NULL, 'ART-1', 'violation of PRIMARY or UNIQUE KEY "
            "constraint \"PK_ARTICULO\" on table \"ARTICULO\"')",
        };
        for (const char* r : rows) {
            local->execute(
                "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
                "RPEV_NUMERO, RPEV_CODIGO, RPEV_ERROR) VALUES " +
                std::string(r));
        }
        std::ofstream(dir.file("errorenvio.txt")) << "2026-05-22,10:00:00,No se pudo conectar con "
                                                     "el servidor /srv/datos/002/norvale.fdb\n";
    }
};

TEST(Layout, EveryScreenAtItsDefaultSizeShowsEveryControlWhole) {
    ASSERT_NE(QApplication::instance(), nullptr);
    Installation inst;
    setenv("REPLICA_APP_DIR", inst.dir.path().c_str(), 1);

    Tfprincipalauto w(CommandLine{});
    w.setLoginHook([&](Tfprincipalauto& window) {
        window.session().identify(inst.dir.path(), "sysdba", "masterkey");
        return true;
    });
    w.FormActivate();
    auto* box = w.findChild<QComboBox*>("LCiaOri");
    box->setCurrentIndex(box->findText("001"));
    w.screenOperator().setLastError("Ultimo error: No se pudo conectar con el servidor");
    check(w, "principalauto");

    // During a run: the progress panel and the event field in their places.
    w.screenOperator().showProgress("Descargando información del servidor ...");
    w.screenOperator().setProgressMaximum(10);
    w.screenOperator().stepProgress();
    w.screenOperator().showEventLine("11,I,EI000123,");
    check(w, "principalauto-envio");
    w.screenOperator().hideEventLine();
    w.screenOperator().hideProgress();

    Session& s = w.session();
    {
        screens::Tfaccesoauto login(s.general(), [&] { return inst.dir.path(); });
        check(login, "ctrlaccesoauto");
    }
    {
        screens::Tfmensajesenv screen(s.local(), [](const std::string&) {});
        check(screen, "mensajesenv");
        screen.findDialog()->show();
        check(*screen.findDialog(), "buscar");
    }
    {
        screens::Tfpendientes screen(s.local(), s.local(), true, "001", [](const std::string&) {});
        check(screen, "pendientes");
    }
    {
        screens::Tfrepcompania screen(s.local(), [](const std::string&) {});
        check(screen, "repcompania");
    }
    {
        screens::Tfrepdocs screen(s.local(), [](const std::string&) {});
        check(screen, "repdocs");
    }
    {
        screens::LogView view([&] { return inst.dir.path(); });
        check(view, "registros");
    }
    {
        // The comparison with the companies of the installation (002 has
        // no database here: the report says so under the list).
        screens::Tfverificar screen(
            [&](const Period& period) {
                VerifyOptions options;
                options.period = period;
                VerifyReport r = verifyCompany(s.local(), "001", "", options, {});
                return screens::VerifyOutcome{r.pairs, r.errors};
            },
            {});
        screen.VerificarClick();
        check(screen, "verificar");
    }
    w.hide();
    unsetenv("REPLICA_APP_DIR");
}

}  // namespace
}  // namespace replica::app
