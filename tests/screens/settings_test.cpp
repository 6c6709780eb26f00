#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "engine/db/query.h"
#include "screens/dialoghooks.h"
#include "screens/gridtools.h"
#include "screens/repcompania.h"
#include "screens/repdocs.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;
using screens::SettingsEditor;
using screens::Tfrepcompania;
using screens::Tfrepdocs;

namespace {

// Rows of a table as "a|b|c" texts, in key order; null shows as "~".
std::vector<std::string> rowsOf(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    std::vector<std::string> out;
    for (q.first(); !q.eof(); q.next()) {
        std::string row;
        for (int i = 0; i < q.columnCount(); ++i) {
            row += (i ? "|" : "") + (q.isNull(i) ? std::string("~") : q.asText(i));
        }
        out.push_back(row);
    }
    return out;
}

const char* kCompanies =
    "select rpco_cod, rpcp_nombre, rpco_servidor, rpco_erro, sucu_id, rpco_activa from "
    "replica_compania order by rpco_cod";
const char* kDocuments =
    "select repc_tipo, repc_pref, repc_replica, repc_compania from replicacion_configura "
    "order by repc_tipo, repc_pref, repc_compania";

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        local = test::createCompany(dir.file("local.fdb"));
        local->execute(
            "INSERT INTO REPLICA_COMPANIA VALUES ('001', 'Central', '/srv/a', 'S', 1, 'S')");
        local->execute(
            "INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Norte', '/srv/b', NULL, NULL, 'S')");
        local->execute(
            "INSERT INTO REPLICA_COMPANIA VALUES ('003', 'Sur', '/srv/c', NULL, NULL, 'N')");
        local->execute("INSERT INTO REPLICACION_CONFIGURA VALUES (11, 'EI', 'S', '002')");
        local->execute("INSERT INTO REPLICACION_CONFIGURA VALUES (999, 'XX', 'N', '003')");
        companiesBefore = rowsOf(*local, kCompanies);
        documentsBefore = rowsOf(*local, kDocuments);
    }

    template <class Screen>
    std::unique_ptr<Screen> make() {
        auto s =
            std::make_unique<Screen>(*local, [this](const std::string& m) { sunk.push_back(m); });
        s->hooks().warning =
            s->hooks().message = [this](QWidget*, const QString& t) { messages << t; };
        s->hooks().confirm = [this](QWidget*, const QString& t) {
            questions << t;
            return answer;
        };
        return s;
    }

    // The source row holding a key in the first text column.
    static int rowOf(SettingsEditor& s, int column, const QString& text) {
        for (int r = 0; r < s.model()->rowCount(); ++r) {
            if (s.model()->index(r, column).data().toString() == text) {
                return r;
            }
        }
        return -1;
    }
    static bool set(SettingsEditor& s, int row, int column, const QVariant& v,
                    int role = Qt::EditRole) {
        return s.model()->setData(s.model()->index(row, column), v, role);
    }
    static void selectRow(SettingsEditor& s, int sourceRow) {
        s.grid()->goToRow(s.grid()->proxy()->mapFromSource(s.model()->index(sourceRow, 0)).row());
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> local;
    std::vector<std::string> companiesBefore;
    std::vector<std::string> documentsBefore;
    std::vector<std::string> sunk;
    QStringList messages;
    QStringList questions;
    bool answer = true;
};

TEST_F(Settings, CompaniesGridShowsItsColumnsAndActivaAsACheckBox) {
    auto s = make<Tfrepcompania>();
    EXPECT_EQ(s->windowTitle(), "Configuración compañías");
    EXPECT_EQ(s->selectSql(), "SELECT * FROM REPLICA_COMPANIA");
    QStringList titles;
    for (int c = 0; c < s->model()->columnCount(); ++c) {
        titles << s->model()->headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(titles, QStringList({"Código", "Compañía", "Servidor", "Activa"}));
    ASSERT_EQ(s->model()->rowCount(), 3);
    const int sur = rowOf(*s, 0, "003");
    EXPECT_EQ(s->model()->index(sur, 2).data().toString(), "/srv/c");
    EXPECT_EQ(s->model()->index(sur, 3).data(Qt::CheckStateRole), Qt::Unchecked);
    EXPECT_EQ(s->model()->index(rowOf(*s, 0, "001"), 3).data(Qt::CheckStateRole), Qt::Checked);
    EXPECT_TRUE(s->model()->index(sur, 3).data().toString().isEmpty());
    EXPECT_EQ(s->saveButton()->text(), "Grabar");
    EXPECT_EQ(s->cancelButton()->text(), "Cancelar");
    for (const char* nav : {"navFirst", "navPrior", "navNext", "navLast", "navInsert", "navDelete",
                            "navEdit", "navPost", "navCancel", "navRefresh"}) {
        EXPECT_NE(s->findChild<QToolButton*>(nav), nullptr) << nav;
    }
    EXPECT_TRUE(sunk.empty());
}

TEST_F(Settings, GrabarWritesInsertsEditsAndDeletesTogetherThenCloses) {
    std::vector<std::string> sent;
    db::Connection::setTraceHook(
        [&sent](const db::Connection&, const std::string& sql) { sent.push_back(sql); });
    auto s = make<Tfrepcompania>();
    s->show();
    ASSERT_TRUE(set(*s, rowOf(*s, 0, "001"), 2, "/srv/nuevo"));
    ASSERT_TRUE(set(*s, rowOf(*s, 0, "002"), 3, Qt::Unchecked, Qt::CheckStateRole));
    ASSERT_TRUE(set(*s, rowOf(*s, 0, "003"), 3, Qt::Checked, Qt::CheckStateRole));
    selectRow(*s, rowOf(*s, 0, "003"));
    s->deleteRow();
    EXPECT_EQ(questions, QStringList({"¿Borrar el registro?"}));
    s->insertRow();
    const int added = s->model()->rowCount() - 1;
    ASSERT_TRUE(set(*s, added, 0, "004"));
    ASSERT_TRUE(set(*s, added, 1, "Oriente"));
    ASSERT_TRUE(set(*s, added, 3, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(rowsOf(*local, kCompanies), companiesBefore);  // nothing written yet

    s->saveButton()->click();
    db::Connection::setTraceHook({});
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(rowsOf(*local, kCompanies),
              (std::vector<std::string>{"001|Central|/srv/nuevo|S|1|S", "002|Norte|/srv/b|~|~|N",
                                        "004|Oriente|~|~|~|S"}));
    int writes = 0;
    for (const std::string& sql : sent) {
        writes += sql.rfind("INSERT", 0) == 0 || sql.rfind("UPDATE", 0) == 0 ||
                  sql.rfind("DELETE", 0) == 0;
    }
    EXPECT_EQ(writes, 4);  // two edits, one delete, one insert
}

TEST_F(Settings, ANewCompanyWhoseActivaIsNeverTickedIsStoredInactive) {
    auto s = make<Tfrepcompania>();
    s->show();
    s->insertRow();
    const int added = s->model()->rowCount() - 1;
    ASSERT_TRUE(set(*s, added, 0, "005"));
    s->saveButton()->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    const auto rows = rowsOf(*local, kCompanies);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back(), "005|~|~|~|~|N");
}

TEST_F(Settings, CancelarAndTheCloseBoxWriteNothing) {
    {
        auto s = make<Tfrepcompania>();
        s->show();
        set(*s, 0, 2, "/otro");
        selectRow(*s, 1);
        s->deleteRow();
        s->cancelButton()->click();
        EXPECT_EQ(s->result(), QDialog::Rejected);
        EXPECT_FALSE(s->isVisible());
    }
    {
        auto s = make<Tfrepcompania>();
        s->show();
        set(*s, rowOf(*s, 0, "002"), 2, "/cerrado");
        s->insertRow();
        set(*s, s->model()->rowCount() - 1, 0, "009");
        s->close();
        EXPECT_FALSE(s->isVisible());
    }
    {
        auto s = make<Tfrepdocs>();
        s->show();
        selectRow(*s, 0);
        s->deleteRow();
        s->cancelButton()->click();
    }
    EXPECT_EQ(rowsOf(*local, kCompanies), companiesBefore);
    EXPECT_EQ(rowsOf(*local, kDocuments), documentsBefore);
}

TEST_F(Settings, LeavingWithUnsavedChangesAsksFirstAndNoKeepsThemOnScreen) {
    const QString question =
        QString::fromUtf8("Hay cambios sin grabar. ¿Desea descartarlos y cerrar?");
    {
        // Nothing changed: no question.
        auto s = make<Tfrepcompania>();
        s->show();
        s->cancelButton()->click();
        EXPECT_FALSE(s->isVisible());
        EXPECT_TRUE(questions.isEmpty());
    }
    auto s = make<Tfrepcompania>();
    s->show();
    set(*s, rowOf(*s, 0, "002"), 2, "/otro");
    answer = false;
    s->cancelButton()->click();
    EXPECT_EQ(questions, QStringList({question}));
    EXPECT_TRUE(s->isVisible());
    s->close();  // the close box asks too
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(s->isVisible());
    QTest::keyClick(s.get(), Qt::Key_Escape);  // and Esc
    EXPECT_EQ(questions.size(), 3);
    EXPECT_TRUE(s->isVisible());
    // The change is still there to be written.
    EXPECT_EQ(s->model()->index(rowOf(*s, 0, "002"), 2).data().toString(), "/otro");
    s->GrabarClick();
    EXPECT_FALSE(s->isVisible());
    EXPECT_EQ(rowsOf(*local, kCompanies)[1], "002|Norte|/otro|~|~|S");

    // A row deleted in memory counts as a change.
    auto d = make<Tfrepdocs>();
    d->show();
    selectRow(*d, 0);
    answer = true;
    d->deleteRow();
    d->cancelButton()->click();
    EXPECT_EQ(questions.size(), 5);  // the delete's own question, then this one
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(rowsOf(*local, kDocuments), documentsBefore);
}

TEST_F(Settings, ColumnsFitTheirTitlesAndContentsAndASortedTitleStaysWhole) {
    local->execute(
        "UPDATE REPLICA_COMPANIA SET RPCP_NOMBRE = 'Distribuidora del Norte y del Oriente' WHERE "
        "RPCO_COD = '002'");
    auto s = make<Tfrepcompania>();
    s->show();
    QHeaderView* header = s->grid()->horizontalHeader();
    const QFontMetrics fm = s->grid()->fontMetrics();
    // The name column holds its longest name and takes the spare width;
    // "Activa" is no wider than it needs.
    EXPECT_GE(header->sectionSize(1),
              fm.horizontalAdvance("Distribuidora del Norte y del Oriente"));
    EXPECT_LT(header->sectionSize(3), header->sectionSize(1));
    EXPECT_EQ(header->sectionViewportPosition(3) + header->sectionSize(3),
              s->grid()->viewport()->width());

    auto d = make<Tfrepdocs>();
    d->show();
    QHeaderView* titles = d->grid()->horizontalHeader();
    for (int c = 0; c < titles->count(); ++c) {
        // Sorted by each column in turn: its title with the mark still fits.
        QTest::mouseClick(
            titles->viewport(), Qt::LeftButton, Qt::NoModifier,
            QPoint(titles->sectionViewportPosition(c) + titles->sectionSize(c) / 2, 4));
        const QString title = d->grid()->model()->headerData(c, Qt::Horizontal).toString();
        EXPECT_TRUE(title.contains(QString::fromUtf8("▲"))) << title.toStdString();
        EXPECT_GE(titles->sectionSize(c), titles->sectionSizeHint(c)) << title.toStdString();
    }
}

TEST_F(Settings, ARefusedChangeIsReportedAndKeptOnTheOpenScreen) {
    auto s = make<Tfrepcompania>();
    s->show();
    set(*s, rowOf(*s, 0, "001"), 1, "Central renombrada");
    s->insertRow();
    const int added = s->model()->rowCount() - 1;
    set(*s, added, 0, "005");
    // Meanwhile someone else adds the same company.
    local->execute("INSERT INTO REPLICA_COMPANIA (RPCO_COD) VALUES ('005')");
    const auto before = rowsOf(*local, kCompanies);

    s->GrabarClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().startsWith(screens::refusedSaveMessage("")));
    EXPECT_TRUE(messages.front().contains("PRIMARY or UNIQUE KEY"))
        << messages.front().toStdString();
    EXPECT_TRUE(s->isVisible());
    EXPECT_NE(s->result(), QDialog::Accepted);
    // Nothing of the apply was kept, and nothing typed was lost.
    EXPECT_EQ(rowsOf(*local, kCompanies), before);
    EXPECT_EQ(s->model()->index(added, 0).data().toString(), "005");
    EXPECT_EQ(s->model()->index(rowOf(*s, 0, "001"), 1).data().toString(), "Central renombrada");

    // Corrected, the same screen writes everything.
    set(*s, added, 0, "006");
    s->GrabarClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    const auto after = rowsOf(*local, kCompanies);
    EXPECT_EQ(after.front(), "001|Central renombrada|/srv/a|S|1|S");
    EXPECT_NE(std::find(after.begin(), after.end(), "006|~|~|~|~|N"), after.end());
}

TEST_F(Settings, ARowWithoutItsRequiredCodeIsRefusedBeforeAnythingIsWritten) {
    auto s = make<Tfrepcompania>();
    s->show();
    s->insertRow();
    const int added = s->model()->rowCount() - 1;
    set(*s, added, 1, "Sin código");
    EXPECT_FALSE(s->postRow());
    EXPECT_EQ(messages, QStringList({"Field 'RPCO_COD' must have a value"}));
    s->GrabarClick();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(s->isVisible());
    EXPECT_EQ(rowsOf(*local, kCompanies), companiesBefore);
    // Cancelling the row drops it, and the rest can be written.
    s->cancelRow();
    EXPECT_EQ(s->model()->rowCount(), 3);
    s->GrabarClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
}

TEST_F(Settings, DeleteAsksAndNoKeepsTheRow) {
    auto s = make<Tfrepdocs>();
    answer = false;
    selectRow(*s, 0);
    s->findChild<QToolButton*>("navDelete")->click();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_EQ(s->model()->rowCount(), 2);
}

TEST_F(Settings, DocumentSettingsNameTheirTypeAndTheListWritesItsCode) {
    auto s = make<Tfrepdocs>();
    EXPECT_EQ(s->windowTitle(), "Configuración documentos");
    QStringList titles;
    for (int c = 0; c < s->model()->columnCount(); ++c) {
        titles << s->model()->headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(titles, QStringList({"Tipo documento", "Prefijo", "Replica", "Compañía"}));
    const int known = rowOf(*s, 1, "EI");
    const int unknown = rowOf(*s, 1, "XX");
    EXPECT_EQ(s->model()->index(known, 0).data().toString(), "ENTRADA");
    EXPECT_EQ(s->model()->index(unknown, 0).data().toString(), "");

    s->show();
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    // The operator opens the list on the unknown type and picks "SALIDA".
    selectRow(*s, unknown);
    const QModelIndex cell = s->grid()->proxy()->mapFromSource(s->model()->index(unknown, 0));
    s->grid()->setCurrentIndex(cell);
    s->grid()->edit(cell);
    auto* box = s->grid()->viewport()->findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->currentIndex(), -1);
    box->setCurrentIndex(box->findText("SALIDA"));
    s->postRow();
    EXPECT_EQ(s->model()->index(unknown, 0).data().toString(), "SALIDA");

    // The prefix typed into the grid's own editor.
    const QModelIndex pref = s->grid()->proxy()->mapFromSource(s->model()->index(known, 1));
    s->grid()->setCurrentIndex(pref);
    QTest::keyClick(s->grid(), Qt::Key_F2);
    auto* line = s->grid()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->maxLength(), 4);
    line->selectAll();
    QTest::keyClicks(line, "EIXYZ");  // cut at four characters
    QTest::keyClick(line, Qt::Key_Return);

    QTest::mouseClick(s->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_EQ(rowsOf(*local, kDocuments),
              (std::vector<std::string>{"11|EIXY|S|002", "12|XX|N|003"}));
}

TEST_F(Settings, DocumentSettingsSortByTitlesAndFind) {
    local->execute("INSERT INTO REPLICACION_CONFIGURA VALUES (12, 'AA', 'S', '001')");
    auto s = make<Tfrepdocs>();
    s->show();
    auto shown = [&](int column) {
        QStringList out;
        for (int r = 0; r < s->grid()->model()->rowCount(); ++r) {
            out << s->grid()->model()->index(r, column).data().toString();
        }
        return out;
    };
    QHeaderView* header = s->grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(1) + header->sectionSize(1) / 2, 4));
    EXPECT_EQ(shown(1), QStringList({"AA", "EI", "XX"}));
    auto* find = s->findDialog();
    find->textBox()->setText("xx");
    EXPECT_TRUE(find->findNext());
    EXPECT_EQ(s->grid()->currentIndex().row(), 2);
    // Edits land on the row shown, whatever the order.
    ASSERT_TRUE(s->grid()->model()->setData(s->grid()->model()->index(2, 2), "S"));
    s->GrabarClick();
    EXPECT_EQ(rowsOf(*local, kDocuments),
              (std::vector<std::string>{"11|EI|S|002", "12|AA|S|001", "999|XX|S|003"}));
}

TEST_F(Settings, SpaceTogglesActivaOnTheCompaniesGrid) {
    auto s = make<Tfrepcompania>();
    s->show();
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    const int sur = rowOf(*s, 0, "003");
    s->grid()->setFocus();
    s->grid()->setCurrentIndex(s->grid()->proxy()->mapFromSource(s->model()->index(sur, 3)));
    QTest::keyClick(s->grid(), Qt::Key_Space);
    EXPECT_EQ(s->model()->index(sur, 3).data(Qt::CheckStateRole), Qt::Checked);
    s->GrabarClick();
    EXPECT_EQ(rowsOf(*local, kCompanies).back(), "003|Sur|/srv/c|~|~|S");
}

}  // namespace

namespace {

TEST_F(Settings, ATableThatCannotBeReadIsReportedAndGrabarJustCloses) {
    local->execute("DROP TABLE REPLICACION_CONFIGURA");
    auto s = make<Tfrepdocs>();
    ASSERT_EQ(sunk.size(), 1u);
    EXPECT_NE(sunk.front().find("REPLICACION_CONFIGURA"), std::string::npos) << sunk.front();
    EXPECT_EQ(s->model()->rowCount(), 0);
    s->insertRow();  // refused: there is no table to add to
    EXPECT_EQ(s->model()->rowCount(), 0);
    s->show();
    s->GrabarClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
}

// A box over a screen carries the screen's title whole: a short question
// once cut "Configuración compañías" to a few letters, and a box without a
// parent was titled after the program's file.
TEST_F(Settings, BoxesCarryTheirWindowsTitleWhole) {
    auto s = make<Tfrepcompania>();
    s->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.get()));
    QMessageBox box(QMessageBox::Question, screens::boxTitle(s.get()), "¿Grabar?",
                    QMessageBox::Yes | QMessageBox::No, s.get());
    EXPECT_EQ(box.windowTitle(), QString::fromUtf8("Configuración compañías"));
    screens::fitTitle(box);
    box.show();
    EXPECT_GE(box.width(), box.fontMetrics().horizontalAdvance(box.windowTitle()) + 100);
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    box.hide();
    EXPECT_EQ(screens::boxTitle(nullptr), QString::fromUtf8("Configuración compañías"));
}

}  // namespace
