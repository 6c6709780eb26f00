#pragma once
// What the two event monitors share: a read-only grid of REPLICA_EVENTOS
// rows that are not replicated, read by one query on one database.
//
// On activation (every time the screen is shown) the monitor chooses its
// database, reads the document types of the local company database and the
// event list, and shows one row per event with the columns "Tipo doc",
// "Pref", "Número", "Código", "Servidor", "Fecha", "Hora", "Op", "Prefd",
// "PtVt" (and "Mensaje de error" in the error monitor). The grid filters and
// sorts the rows already read, searches as the operator types and has a
// find dialog (Ctrl+F); nothing of that reaches the database.
//
// A monitor may read more than one database (the error monitor also reads
// the failed events of the download source addressed to this company): its
// "Origen" column says which database each row came from.
//
// Writes: only "Borrar" (and the navigator's delete button of the error
// monitor, which is the same action), which deletes the current event from
// the database its row was read from after the operator answers Yes, then
// reads the list again. It acts only on a selected row that the grid shows
// (disabled otherwise), and its question names the event (its code, or its
// type, prefix and number when it has no code), the company it is for and
// the database it is deleted from. Every other action works on the rows on
// the screen; Ctrl+C copies the selected rows, as "Copiar" does.
//
// Under the grid: the number of events listed (and shown, when a filter
// hides some) and, in the error monitor, the whole error text of the
// current row in a read-only line; the error column takes the spare width
// and its cells show the whole text as a tooltip.
//
// Errors from the database go to the ErrorSink (the application's error
// handling); the screen stays open. Boxes and dialogs go through hooks().

#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "screens/dialoghooks.h"
#include "screens/documenttypes.h"
#include "screens/export.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStandardItemModel;

namespace replica::screens {

class DataGrid;
class FindDialog;
class GridNavigator;

// One database a monitor lists: the query it reads there and the word its
// rows carry in the "Origen" column.
struct EventSource {
    db::Connection* database = nullptr;
    std::string sql;
    QString origin;
};

class EventMonitor : public QDialog {
    Q_OBJECT

  public:
    ~EventMonitor() override;

    DialogHooks& hooks() { return m_hooks; }

    // Chooses the database and reads the list (the screen's activation).
    void FormActivate();
    // Reads the list again with the same query, from the same database.
    void reload();
    // "Borrar": asks, deletes the current event, reads the list again.
    void BorrarClick();
    // Pop-up menu actions. Copy and select all act only when the grid has
    // the focus; so does the export, which then asks for the file.
    void Copiar();
    void SeleccionarTodo();
    void GuardarSeleccion();

    // The first database of the last activation (null before the first).
    db::Connection* database() const {
        return m_sources.empty() ? nullptr : m_sources.front().database;
    }
    const std::string& listSql() const { return m_sql; }
    // The database a row of the list was read from (and is deleted in).
    db::Connection* databaseOf(int sourceRow) const;
    // A word under the grid about what the list could not read.
    void setNote(const QString& note);
    const QString& exportName() const { return m_exportName; }
    // The selected rows with the visible columns, as the export writes them.
    exporting::Table selectionTable() const;
    // RPEV_ID of a row of the list.
    std::int64_t eventId(int sourceRow) const;
    // How "Borrar" names the event of a row: its code, or, for a document
    // (no code), its type name, prefix and number.
    QString eventName(int sourceRow) const;

    DataGrid* grid() const { return m_grid; }
    QStandardItemModel* model() const { return m_model; }
    QCheckBox* filterCheck() const { return m_filters; }
    QPushButton* closeButton() const { return m_close; }
    QPushButton* deleteButton() const { return m_delete; }
    QMenu* popupMenu() const { return m_menu; }
    GridNavigator* navigator() const { return m_navigator; }
    FindDialog* findDialog();
    QLabel* countLabel() const { return m_count; }
    // The error text of the current row (error monitor only; null otherwise).
    QLineEdit* detailLine() const { return m_detail; }

  protected:
    EventMonitor(const QString& caption, std::string sql, QString exportName, bool errorColumn,
                 db::Connection& local, ErrorSink errors, QWidget* parent);

    // The databases the list is read from and deleted in, with their
    // queries; by default the local company database with the monitor's
    // query.
    virtual std::vector<EventSource> chooseSources() { return {{&m_local, m_sql, origin()}}; }
    static QString origin() { return QStringLiteral("Local"); }

    void showEvent(QShowEvent* event) override;

  private:
    void buildGrid();
    void buildControls();
    void buildMenu();
    void followSelection();
    void layOut();
    void report(const std::string& message);
    void readSource(std::size_t index, const std::vector<DocumentType>& types);
    // Follows the current row and the rows shown: "Borrar", the count and
    // the detail line.
    void updateStatus();
    // The source row "Borrar" acts on: the current row when the grid shows
    // it selected; -1 otherwise.
    int deletableRow() const;
    // Where the operator's column widths of this monitor are remembered.
    QString columnsKey() const;

    db::Connection& m_local;
    std::vector<EventSource> m_sources;
    std::string m_sql;
    QString m_note;
    bool m_fitting = false;        // the screen sizes the columns itself
    bool m_widthsChanged = false;  // the operator resized a column
    QString m_exportName;
    bool m_errorColumn;
    ErrorSink m_errors;
    DialogHooks m_hooks;

    DataGrid* m_grid = nullptr;
    QStandardItemModel* m_model = nullptr;
    QCheckBox* m_filters = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_delete = nullptr;
    QMenu* m_menu = nullptr;
    GridNavigator* m_navigator = nullptr;
    FindDialog* m_find = nullptr;
    QLabel* m_count = nullptr;
    QLineEdit* m_detail = nullptr;
};

}  // namespace replica::screens
