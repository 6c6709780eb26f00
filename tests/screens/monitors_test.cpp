#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <set>

#include "engine/db/query.h"
#include "engine/sql.h"
#include "screens/gridtools.h"
#include "screens/mensajesenv.h"
#include "screens/pendientes.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;
using screens::EventMonitor;
using screens::Tfmensajesenv;
using screens::Tfpendientes;

namespace {

const char* kInsert =
    "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, "
    "RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_FECREP, RPEV_OPER, RPEV_PREFDEST, RPEV_PTVT, "
    "RPEV_ERROR) VALUES ";

// Every state an event can be in, ids out of order on purpose.
void seedEvents(db::Connection& c) {
    const char* rows[] = {
        // pending
        "(9, '002', 11, 'EI', '000123', '', '2026-05-01', '08:00:00', NULL, 'I', 'EX', 3, NULL)",
        "(1, '003', 13, 'TR', '000001', 'TR1', '2026-05-02', '10:30:00', NULL, 'A', NULL, NULL, "
        "NULL)",
        // failed: an empty text counts as an error
        "(2, '002', 12, 'SI', '000007', '', '2026-05-01', '08:01:00', NULL, 'I', NULL, 12, '')",
        "(3, '003', 999, NULL, NULL, 'ART-1', '2026-05-02', '09:00:00', NULL, 'U', NULL, NULL, "
        "'violation of PRIMARY or UNIQUE KEY constraint \"PK\" on table \"ARTICULO\"')",
        // type 236: never listed
        "(4, '002', 236, NULL, NULL, 'X', '2026-05-01', '07:00:00', NULL, 'I', NULL, NULL, NULL)",
        "(5, '002', 236, NULL, NULL, 'Y', '2026-05-01', '07:00:00', NULL, 'I', NULL, NULL, 'e')",
        // replicated: never listed, with or without an old error
        "(6, '002', 11, 'EI', '000100', '', '2026-04-01', '07:00:00', '2026-04-02', 'I', NULL, "
        "NULL, 'old error')",
        "(7, '002', 11, 'EI', '000101', '', '2026-04-01', '07:00:00', '2026-04-02', 'I', NULL, "
        "NULL, NULL)",
    };
    for (const char* r : rows) {
        c.execute(std::string(kInsert) + r);
    }
}

bool eventExists(db::Connection& c, int id) {
    db::Query q(c);
    q.open("select count(*) from replica_eventos where rpev_id = " + std::to_string(id));
    return q.asInt(0) == 1;
}

QStringList titles(const QStandardItemModel& m) {
    QStringList out;
    for (int c = 0; c < m.columnCount(); ++c) {
        out << m.headerData(c, Qt::Horizontal).toString();
    }
    return out;
}

// The texts of a column as the grid shows them (sorted, filtered).
QStringList shown(const EventMonitor& s, int column) {
    QStringList out;
    const QAbstractItemModel* m = s.grid()->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        out << m->index(r, column).data().toString();
    }
    return out;
}

class Monitors : public ::testing::Test {
  protected:
    void SetUp() override {
        local = test::createCompany(dir.file("local.fdb"));
        server = test::createCompany(dir.file("server.fdb"));
        seedEvents(*local);
        db::Connection::setTraceHook([this](const db::Connection& c, const std::string& sql) {
            if (sql.rfind("DELETE", 0) == 0) {
                deletes.emplace_back(c.path(), sql);
            }
        });
    }
    void TearDown() override { db::Connection::setTraceHook({}); }

    template <class Screen>
    void hook(Screen& s) {
        s.hooks().warning =
            s.hooks().message = [this](QWidget*, const QString& t) { messages << t; };
        s.hooks().confirm = [this](QWidget*, const QString& t) {
            questions << t;
            return answer;
        };
        s.hooks().saveFile = [this](QWidget*, const QString& name, const QStringList& filters,
                                    QString& file, int& filter) {
            saveDefaults << name;
            saveFilters = filters;
            if (saveAs.isEmpty()) {
                return false;
            }
            file = saveAs;
            filter = saveType;
            return true;
        };
    }

    std::unique_ptr<Tfmensajesenv> errorMonitor() {
        auto s = std::make_unique<Tfmensajesenv>(
            *local, [this](const std::string& m) { sunk.push_back(m); });
        hook(*s);
        return s;
    }
    std::unique_ptr<Tfpendientes> pendingMonitor(bool upload) {
        auto s = std::make_unique<Tfpendientes>(
            *local, *server, upload, "001", [this](const std::string& m) { sunk.push_back(m); });
        hook(*s);
        return s;
    }
    // Shows a screen as the operator sees it, with the grid focused.
    void showFocused(EventMonitor& s) {
        s.show();
        s.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&s));
        s.grid()->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), s.grid());
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> local;
    std::unique_ptr<db::Connection> server;
    std::vector<std::pair<std::string, std::string>> deletes;  // path, SQL
    std::vector<std::string> sunk;
    QStringList messages;
    QStringList questions;
    bool answer = true;
    QStringList saveDefaults;
    QStringList saveFilters;
    QString saveAs;
    int saveType = 0;
};

TEST_F(Monitors, ErrorMonitorListsUnreplicatedEventsWithAnErrorTextEvenAnEmptyOne) {
    auto s = errorMonitor();
    EXPECT_EQ(s->windowTitle(), "Mensajes de error o advertencia del envio");
    s->FormActivate();
    EXPECT_EQ(s->database(), local.get());
    EXPECT_EQ(titles(*s->model()),
              QStringList({"Tipo doc", "Pref", "Número", "Código", "Servidor", "Fecha", "Hora",
                           "Op", "Prefd", "PtVt", "Origen", "Mensaje de error"}));
    ASSERT_EQ(s->model()->rowCount(), 2);
    std::set<std::int64_t> ids = {s->eventId(0), s->eventId(1)};
    EXPECT_EQ(ids, (std::set<std::int64_t>{2, 3}));
    const int row2 = s->eventId(0) == 2 ? 0 : 1;
    QStringList cells;
    for (int c = 0; c < 12; ++c) {
        cells << s->model()->item(row2, c)->text();
    }
    EXPECT_EQ(cells, QStringList({"SALIDA", "SI", "000007", "", "002", "2026-05-01", "08:01:00",
                                  "I", "", "12", "Local", ""}));
    // A type with no TIPO_DOCUMENTO row has an empty name.
    EXPECT_EQ(s->model()->item(1 - row2, 0)->text(), "");
    // The database's refusal in the operator's words; its own in the tooltip.
    EXPECT_EQ(s->model()->item(1 - row2, 11)->text(),
              "Ya existe un registro con la misma clave en la tabla ARTICULO (restricción PK)");
    EXPECT_TRUE(
        s->model()
            ->item(1 - row2, 11)
            ->toolTip()
            .endsWith(
                "violation of PRIMARY or UNIQUE KEY constraint \"PK\" on table \"ARTICULO\""));
    EXPECT_TRUE(sunk.empty());
}

TEST_F(Monitors, PendingMonitorListsEventsWithoutErrorInIdOrder) {
    auto s = pendingMonitor(true);
    // The caption, and which of the two lists this is.
    EXPECT_EQ(s->windowTitle(), "Documentos pendientes por transmitir - Pendiente envio");
    EXPECT_EQ(pendingMonitor(false)->windowTitle(),
              "Documentos pendientes por transmitir - Pendiente descarga");
    s->FormActivate();
    EXPECT_EQ(s->database(), local.get());
    EXPECT_EQ(titles(*s->model()), QStringList({"Tipo doc", "Pref", "Número", "Código", "Servidor",
                                                "Fecha", "Hora", "Op", "Prefd", "PtVt"}));
    ASSERT_EQ(s->model()->rowCount(), 2);
    EXPECT_EQ(s->eventId(0), 1);
    EXPECT_EQ(s->eventId(1), 9);
    EXPECT_EQ(shown(*s, 0), QStringList({"TRASLADO", "ENTRADA"}));
    EXPECT_EQ(shown(*s, 8), QStringList({"", "EX"}));
}

TEST_F(Monitors, DownloadModeListsTheServersEventsForThisCompanyOnlyNamedFromTheLocalDatabase) {
    server->execute(std::string(kInsert) +
                    "(50, '001', 11, 'EI', '000555', '', '2026-05-05', '11:00:00', NULL, 'I', "
                    "NULL, NULL, NULL)");
    // Events the server holds for other companies: their own download
    // phases take them, never this company's, so they are not listed here.
    server->execute(std::string(kInsert) +
                    "(40, '003', 11, 'EI', '000556', '', '2026-05-05', '11:00:00', NULL, 'I', "
                    "NULL, NULL, NULL)");
    server->execute(std::string(kInsert) +
                    "(41, '002', 11, 'EI', '000557', '', '2026-05-05', '11:00:00', NULL, 'I', "
                    "NULL, NULL, NULL)");
    server->execute("UPDATE TIPO_DOCUMENTO SET TIDO_NOMCORTO = 'OTRO' WHERE TIDO_COD = 11");
    auto s = pendingMonitor(false);
    s->FormActivate();
    EXPECT_EQ(s->database(), server.get());
    ASSERT_EQ(s->model()->rowCount(), 1);
    EXPECT_EQ(s->eventId(0), 50);
    EXPECT_EQ(s->model()->item(0, 0)->text(), "ENTRADA");
}

TEST_F(Monitors, BorrarAsksAndDeletesFromTheDatabaseOfTheListOnlyOnYes) {
    // Pending events of the server with the same id as a local one.
    server->execute(std::string(kInsert) +
                    "(9, '001', 11, 'EI', '000555', 'SRV', '2026-05-05', '11:00:00', NULL, 'I', "
                    "NULL, NULL, NULL)");
    auto s = pendingMonitor(false);
    s->FormActivate();
    s->grid()->goToRow(0);

    answer = false;
    s->BorrarClick();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions.front(),
              "¿Está seguro de borrar el evento del documento SRV para la "
              "compañía 001 en la base de datos " +
                  QString::fromStdString(server->path()) + "?");
    EXPECT_TRUE(deletes.empty());
    EXPECT_TRUE(eventExists(*server, 9));

    answer = true;
    s->BorrarClick();
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes.front().first, server->path());
    EXPECT_EQ(deletes.front().second, "DELETE FROM REPLICA_EVENTOS WHERE RPEV_ID = 9");
    EXPECT_FALSE(eventExists(*server, 9));
    EXPECT_TRUE(eventExists(*local, 9));
    EXPECT_EQ(s->model()->rowCount(), 0);  // read again

    // Nothing to delete: no question.
    s->BorrarClick();
    EXPECT_EQ(questions.size(), 2);

    auto up = pendingMonitor(true);
    up->FormActivate();
    up->grid()->goToRow(1);
    up->BorrarClick();
    // A document event has no code: the question names its type, prefix
    // and number instead of nothing.
    EXPECT_EQ(questions.back(),
              "¿Está seguro de borrar el evento del documento ENTRADA EI 000123 "
              "para la compañía 002 en la base de datos " +
                  QString::fromStdString(local->path()) + "?");
    EXPECT_FALSE(eventExists(*local, 9));
    EXPECT_EQ(deletes.back().first, local->path());
    EXPECT_EQ(up->model()->rowCount(), 1);
}

TEST_F(Monitors, ErrorMonitorDeletesFromTheLocalDatabaseAndItsNavigatorDeleteIsBorrar) {
    auto s = errorMonitor();
    s->FormActivate();
    auto* navDelete = s->findChild<QToolButton*>("navDelete");
    ASSERT_NE(navDelete, nullptr);
    s->grid()->goToRow(0);
    const std::int64_t first = s->eventId(s->grid()->currentSourceRow());
    // Once a row that vanished from the screen only, with no question: now
    // the same question and delete as "Borrar".
    answer = false;
    navDelete->click();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_EQ(s->model()->rowCount(), 2);
    EXPECT_TRUE(eventExists(*local, static_cast<int>(first)));
    answer = true;
    navDelete->click();
    EXPECT_FALSE(eventExists(*local, static_cast<int>(first)));
    EXPECT_EQ(s->model()->rowCount(), 1);
    local->execute("DELETE FROM REPLICA_EVENTOS");
    seedEvents(*local);

    s->findChild<QToolButton*>("navRefresh")->click();
    EXPECT_EQ(s->model()->rowCount(), 2);

    s->grid()->goToRow(1);
    const std::int64_t id = s->eventId(s->grid()->currentSourceRow());
    s->deleteButton()->click();
    EXPECT_FALSE(eventExists(*local, static_cast<int>(id)));
    EXPECT_EQ(s->model()->rowCount(), 1);

    auto p = pendingMonitor(true);
    EXPECT_EQ(p->findChild<QToolButton*>("navDelete"), nullptr);
    EXPECT_NE(p->findChild<QToolButton*>("navRefresh"), nullptr);
}

// A download failure is recorded on the source's event row: the error
// monitor shows this company's there beside its own, and deletes each in
// the database it came from.
TEST_F(Monitors, ErrorMonitorAlsoListsThisCompanysFailedDownloadsAndDeletesThemAtTheSource) {
    // Same id as a local failed event; another company's failure is not ours.
    server->execute(std::string(kInsert) +
                    "(2, '001', 11, 'EI', '000777', '', '2026-05-06', '09:00:00', NULL, 'I', "
                    "NULL, NULL, 'La bodega está cerrada')");
    server->execute(std::string(kInsert) +
                    "(60, '003', 11, 'EI', '000778', '', '2026-05-06', '09:00:00', NULL, 'I', "
                    "NULL, NULL, 'otra')");
    auto s = errorMonitor();
    s->addDownloadSource(*server, "001");
    s->FormActivate();
    ASSERT_EQ(s->model()->rowCount(), 3);
    int fromServer = -1;
    for (int r = 0; r < s->model()->rowCount(); ++r) {
        const bool there = s->model()->item(r, 10)->text() == "Descarga";
        EXPECT_EQ(s->databaseOf(r), there ? server.get() : local.get());
        if (there) {
            fromServer = r;
        }
    }
    ASSERT_GE(fromServer, 0);
    EXPECT_EQ(s->model()->item(fromServer, 2)->text(), "000777");
    EXPECT_EQ(s->model()->item(fromServer, 10)->toolTip().toStdString(), server->path());
    s->grid()->goToRow(s->grid()->proxy()->mapFromSource(s->model()->index(fromServer, 0)).row());
    s->BorrarClick();
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes.front().first, server->path());
    EXPECT_FALSE(eventExists(*server, 2));
    EXPECT_TRUE(eventExists(*local, 2));
    EXPECT_TRUE(eventExists(*server, 60));
    EXPECT_NE(questions.back().indexOf(QString::fromStdString(server->path())), -1);
    EXPECT_EQ(s->model()->rowCount(), 2);

    // A source that cannot be read is said under the list.
    s->setNote("servidor de descarga sin conexión");
    EXPECT_EQ(s->countLabel()->text(), "2 eventos - servidor de descarga sin conexión");
}

TEST_F(Monitors, BorrarActsOnlyOnASelectedRowTheGridShows) {
    auto s = errorMonitor();
    showFocused(*s);
    s->grid()->goToRow(0);
    EXPECT_TRUE(s->deleteButton()->isEnabled());
    EXPECT_TRUE(s->findChild<QToolButton*>("navDelete")->isEnabled());

    // The current row no longer selected (Ctrl+click took it out).
    s->grid()->selectionModel()->select(s->grid()->currentIndex(),
                                        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_FALSE(s->deleteButton()->isEnabled());
    EXPECT_FALSE(s->findChild<QToolButton*>("navDelete")->isEnabled());
    s->BorrarClick();
    EXPECT_TRUE(questions.isEmpty());

    // A filter that hides every row leaves nothing to delete.
    s->grid()->goToRow(0);
    s->filterCheck()->setChecked(true);
    QTest::keyClicks(s->grid()->filterHeader()->filterBox(3), "nada");
    EXPECT_EQ(s->grid()->model()->rowCount(), 0);
    EXPECT_FALSE(s->deleteButton()->isEnabled());
    EXPECT_EQ(s->countLabel()->text(), "0 de 2 eventos");
    s->BorrarClick();
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(deletes.empty());
}

TEST_F(Monitors, TheErrorTextIsWholeInTheTooltipTheDetailLineAndTheStretchedLastColumn) {
    const std::string longError = "lock conflict on no wait transaction\n" + std::string(300, 'x') +
                                  "\nat table \"ENTRADAS\"";
    local->execute(std::string(kInsert) +
                   "(30, '002', 11, 'EI', '000900', '', '2026-05-03', '08:00:00', NULL, 'I', "
                   "NULL, NULL, " +
                   Q(longError) + ")");
    auto s = errorMonitor();
    s->resize(1280, 460);
    showFocused(*s);
    EXPECT_EQ(s->countLabel()->text(), "3 eventos");
    int row = -1;
    for (int r = 0; r < s->model()->rowCount(); ++r) {
        if (s->eventId(r) == 30) {
            row = r;
        }
    }
    ASSERT_GE(row, 0);
    EXPECT_EQ(s->model()->item(row, 11)->toolTip().toStdString(), longError);
    s->grid()->goToRow(s->grid()->proxy()->mapFromSource(s->model()->index(row, 0)).row());
    ASSERT_NE(s->detailLine(), nullptr);
    EXPECT_TRUE(s->detailLine()->isReadOnly());
    EXPECT_EQ(s->detailLine()->toolTip().toStdString(), longError);
    EXPECT_TRUE(s->detailLine()->text().startsWith("lock conflict on no wait transaction x"));
    EXPECT_FALSE(s->detailLine()->text().contains('\n'));

    // The error column starts inside the window and reaches its right edge.
    QHeaderView* header = s->grid()->horizontalHeader();
    const int left = header->sectionViewportPosition(11);
    EXPECT_GE(left, 0);
    EXPECT_LT(left, s->grid()->viewport()->width() - 200);
    EXPECT_EQ(left + header->sectionSize(11), s->grid()->viewport()->width());
    EXPECT_EQ(pendingMonitor(true)->detailLine(), nullptr);
}

TEST_F(Monitors, DatabaseErrorsGoToTheApplicationsHandlingAndTheScreenStays) {
    db::Connection nowhere;
    nowhere.setPath(dir.file("missing/norvale.fdb"));
    auto s = std::make_unique<Tfpendientes>(*local, nowhere, false, "001",
                                            [this](const std::string& m) { sunk.push_back(m); });
    hook(*s);
    s->show();
    ASSERT_EQ(sunk.size(), 1u);  // the activation read the list
    EXPECT_NE(sunk.front().find("missing/norvale.fdb"), std::string::npos);
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(s->model()->rowCount(), 0);
    s->BorrarClick();
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(Monitors, ButtonsMenuAndFilterRowAsTheOperatorSeesThem) {
    auto s = errorMonitor();
    showFocused(*s);
    EXPECT_EQ(s->model()->rowCount(), 2);  // shown means activated
    EXPECT_EQ(s->closeButton()->text(), "Cerrar");
    EXPECT_EQ(s->deleteButton()->text(), "Borrar");
    EXPECT_EQ(s->filterCheck()->text(), "Activar filtros");

    QStringList items;
    for (QAction* a : s->popupMenu()->actions()) {
        items << (a->isSeparator() ? "-" : a->text());
    }
    EXPECT_EQ(items, QStringList({"&Copiar", "Se&leccionar todo", "-", "&Guardar selección"}));

    auto* header = s->grid()->filterHeader();
    const int plainHeight = header->sizeHint().height();
    QTest::mouseClick(s->filterCheck(), Qt::LeftButton);
    ASSERT_TRUE(s->filterCheck()->isChecked());
    EXPECT_GT(header->sizeHint().height(), plainHeight);
    QLineEdit* codeFilter = header->filterBox(3);
    ASSERT_NE(codeFilter, nullptr);
    EXPECT_TRUE(codeFilter->isVisible());
    QTest::keyClicks(codeFilter, "art");
    EXPECT_EQ(shown(*s, 3), QStringList({"ART-1"}));
    QTest::mouseClick(s->filterCheck(), Qt::LeftButton);
    EXPECT_FALSE(codeFilter->isVisible());
    EXPECT_EQ(s->grid()->model()->rowCount(), 2);

    QTest::mouseClick(s->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(s->isVisible());
}

TEST_F(Monitors, TitlesSortOnSeveralColumnsAndTheFindDialogMovesToAMatch) {
    local->execute(std::string(kInsert) +
                   "(20, '002', 12, 'SI', '000003', 'Z', '2026-05-01', '08:01:00', NULL, 'I', "
                   "NULL, 2, 'otro')");
    auto s = errorMonitor();
    showFocused(*s);
    QHeaderView* header = s->grid()->horizontalHeader();
    auto click = [&](int column, Qt::KeyboardModifiers mods) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, mods,
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, 4));
    };
    click(4, Qt::NoModifier);  // Servidor
    EXPECT_EQ(shown(*s, 4), QStringList({"002", "002", "003"}));
    click(9, Qt::ControlModifier);  // then PtVt, as numbers
    EXPECT_EQ(shown(*s, 9), QStringList({"2", "12", ""}));
    click(9, Qt::ControlModifier);  // PtVt turned round
    EXPECT_EQ(shown(*s, 9), QStringList({"12", "2", ""}));
    click(4, Qt::NoModifier);  // Servidor alone again
    EXPECT_EQ(shown(*s, 4), QStringList({"002", "002", "003"}));
    click(4, Qt::NoModifier);  // and turned round
    EXPECT_EQ(shown(*s, 4), QStringList({"003", "002", "002"}));
    EXPECT_TRUE(
        s->grid()->model()->headerData(4, Qt::Horizontal).toString().startsWith("Servidor "));

    auto* find = s->findDialog();
    find->textBox()->setText("art-");
    s->grid()->goToRow(2);
    EXPECT_TRUE(find->findNext());  // wraps round to the top
    EXPECT_EQ(s->eventId(s->grid()->currentSourceRow()), 3);
    EXPECT_EQ(find->statusLabel()->text(), "Se llegó al final; se siguió desde el principio.");
    EXPECT_TRUE(find->findNext());  // the only match again, found going round
    EXPECT_EQ(s->eventId(s->grid()->currentSourceRow()), 3);
    find->textBox()->setText("nada así");
    EXPECT_TRUE(find->statusLabel()->text().isEmpty());
    EXPECT_FALSE(find->findNext());
    EXPECT_EQ(find->statusLabel()->text(), QString::fromUtf8("No se encontró \"nada así\"."));
    EXPECT_EQ(s->eventId(s->grid()->currentSourceRow()), 3);
    find->textBox()->setText("otro");
    s->grid()->goToRow(0);
    EXPECT_TRUE(find->findNext());  // further down: a plain match
    EXPECT_TRUE(find->statusLabel()->text().isEmpty());
}

TEST_F(Monitors, TypingOnTheGridSearchesTheCurrentColumn) {
    auto s = pendingMonitor(true);
    showFocused(*s);
    ASSERT_EQ(shown(*s, 0), QStringList({"TRASLADO", "ENTRADA"}));
    s->grid()->setCurrentIndex(s->grid()->model()->index(0, 0));
    QTest::keyClicks(s->grid(), "ent");
    EXPECT_EQ(s->grid()->currentIndex().row(), 1);
    EXPECT_EQ(s->model()->rowCount(), 2);  // searching reads nothing
}

TEST_F(Monitors, CopyAndExportTakeTheSelectedRowsOnlyWhenTheGridHasTheFocus) {
    auto s = pendingMonitor(true);
    showFocused(*s);
    s->grid()->goToRow(1);  // event 9 only

    s->Copiar();
    EXPECT_EQ(QApplication::clipboard()->text(),
              "ENTRADA\tEI\t000123\t\t002\t2026-05-01\t08:00:00\tI\tEX\t3\n");
    // Ctrl+C copies what "Copiar" copies: the selected rows, not the cell.
    s->SeleccionarTodo();
    QApplication::clipboard()->clear();
    QTest::keyClick(s->grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().count('\n'), 2);
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith("TRASLADO\tTR\t000001\tTR1"));
    s->grid()->goToRow(1);

    saveAs = QString::fromStdString(dir.file("Pendientesreplica"));
    saveType = 1;  // CSV
    s->GuardarSeleccion();
    EXPECT_EQ(saveDefaults, QStringList({"Pendientesreplica"}));
    EXPECT_EQ(saveFilters.size(), 5);
    EXPECT_EQ(test::slurp(dir.file("Pendientesreplica.csv")),
              "\xEF\xBB\xBF"
              "Tipo doc,Pref,Número,Código,Servidor,Fecha,Hora,Op,Prefd,PtVt\r\n"
              "ENTRADA,EI,000123,,002,2026-05-01,08:00:00,I,EX,3\r\n");

    // Select all, hide a column: the export follows the grid.
    s->SeleccionarTodo();
    s->grid()->setColumnHidden(1, true);
    saveAs = QString::fromStdString(dir.file("todo.TXT"));
    saveType = 0;
    s->GuardarSeleccion();
    const std::string text = test::slurp(dir.file("todo.TXT"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(text.find("Pref "), std::string::npos);
    EXPECT_EQ(text.rfind("Tipo doc  Número", 0), 0u);

    // Cancelled: nothing written.
    saveAs.clear();
    s->GuardarSeleccion();
    EXPECT_EQ(saveDefaults.size(), 3);

    // Focus elsewhere: copy, select all and export do nothing.
    QApplication::clipboard()->clear();
    s->closeButton()->setFocus();
    s->grid()->clearSelection();
    s->Copiar();
    s->SeleccionarTodo();
    s->GuardarSeleccion();
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    EXPECT_TRUE(s->grid()->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(saveDefaults.size(), 3);
}

// Per user and per monitor: the widths the operator gave the columns, and
// the folder the last export went to.
TEST_F(Monitors, ColumnWidthsAndTheExportFolderComeBackTheNextTime) {
    saveAs = QString::fromStdString(dir.file("lista"));
    {
        auto s = pendingMonitor(true);
        showFocused(*s);
        s->grid()->horizontalHeader()->resizeSection(3, 333);
        s->GuardarSeleccion();
    }
    auto s = pendingMonitor(true);
    showFocused(*s);
    EXPECT_EQ(s->grid()->horizontalHeader()->sectionSize(3), 333);
    s->reload();  // a refresh fits the columns, and keeps the operator's
    EXPECT_EQ(s->grid()->horizontalHeader()->sectionSize(3), 333);
    s->GuardarSeleccion();
    EXPECT_EQ(
        saveDefaults.back(),
        QFileInfo(QString::fromStdString(dir.path())).absoluteFilePath() + "/Pendientesreplica");
    auto e = errorMonitor();
    e->FormActivate();
    EXPECT_NE(e->grid()->horizontalHeader()->sectionSize(3), 333);
}

TEST_F(Monitors, ErrorMonitorOffersErroresreplicaAndWritesAWorkbook) {
    auto s = errorMonitor();
    showFocused(*s);
    s->SeleccionarTodo();
    saveAs = QString::fromStdString(dir.file("errores.xls"));
    saveType = 4;
    s->GuardarSeleccion();
    EXPECT_EQ(saveDefaults, QStringList({"Erroresreplica"}));
    const std::string xls = test::slurp(dir.file("errores.xls"));
    ASSERT_GE(xls.size(), 4096u);
    EXPECT_EQ(xls.substr(0, 4), "\xD0\xCF\x11\xE0");
    EXPECT_FALSE(std::filesystem::exists(dir.file("errores.xls.xls")));
}

}  // namespace
