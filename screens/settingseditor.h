#pragma once
// What the two replication settings editors share: a whole table of the
// local company database in an editable grid, changed in memory and written
// back in one apply.
//
// The table is read whole into a db::RecordSet when the screen is created.
// The operator's edits follow the record set's rules: a row is edited (or
// inserted) in a buffer and posted when the grid moves to another row, when
// the navigator's post button is pressed, or before "Grabar"; a post that
// leaves a required column empty is refused with the record set's message
// and the row stays in the buffer. Nothing reaches the database before
// "Grabar", which writes every insert, edit and delete in one apply that
// tolerates no failed row: either all of them are written and the screen
// closes, or none is (the apply rolls back), the operator is told the
// database's message and the screen stays open with every change still in
// it. "Cancelar", Esc and the close box drop the changes, after the
// operator confirms it when there are any.
//
// The columns are sized to their titles and contents when the table is
// read (with room for a sort mark); the field marked to stretch takes the
// spare width.
//
// Boxes go through hooks(); errors while reading the table go to the
// ErrorSink (or a message box when there is none).

#include <QAbstractTableModel>
#include <QDialog>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <vector>

#include "engine/db/recordset.h"
#include "screens/dialoghooks.h"
#include "screens/documenttypes.h"

class QPushButton;

namespace replica::screens {

class DataGrid;
class FindDialog;
class GridNavigator;

// One column of the grid and how it is edited.
struct GridField {
    enum class Kind {
        Text,    // free text up to maxLength characters; empty text is null
        Check,   // a check box: ticked writes "S", cleared writes "N"
        Lookup,  // shows the document type name, writes its code
    };
    QString title;
    std::string column;  // record set column
    Kind kind = Kind::Text;
    int maxLength = 0;
    bool stretch = false;  // takes the grid's spare width
};

// The grid's view of a record set: rows as read plus the row being edited
// or inserted (the record set's buffer).
class RecordSetModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    RecordSetModel(db::RecordSet& rs, std::vector<GridField> fields, QObject* parent = nullptr);

    // Takes the rows of the (re)opened record set. Throws std::out_of_range
    // when the set lacks one of the fields.
    void reset();
    // Forgets every row (the record set is being closed).
    void clear();
    void setLookup(std::vector<DocumentType> items) { m_lookup = std::move(items); }
    const std::vector<DocumentType>& lookup() const { return m_lookup; }
    const std::vector<GridField>& fields() const { return m_fields; }
    // Receives the message of a refused post, insert or delete.
    void setReporter(std::function<void(const std::string&)> report) {
        m_report = std::move(report);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The row in the buffer, -1 when none.
    int editRow() const { return m_editRow; }
    bool inserting() const {
        return m_editRow >= 0 && m_editRow == static_cast<int>(m_rows.size());
    }
    // Keeps the buffered row; false (reported) when the record set refuses it.
    bool post();
    // Drops the buffered row's changes (an inserted row disappears).
    void cancel();
    // Posts, then starts a new row at the end; its row, or -1 (reported).
    int insert();
    // Removes a row (an unposted new row is just dropped); false (reported)
    // when the buffered row cannot be posted first.
    bool removeAt(int row);
    // The value a cell holds now (the buffer for the row being edited).
    const db::Value& cellValue(int row, int field) const;

  private:
    bool beginEdit(int row);
    void moveTo(int row);
    db::Row currentValues() const;
    void report(const std::string& message) const;

    db::RecordSet& m_rs;
    std::vector<GridField> m_fields;
    std::vector<int> m_columns;  // record set column of each field
    std::vector<db::Row> m_rows;
    std::vector<DocumentType> m_lookup;
    int m_editRow = -1;
    std::function<void(const std::string&)> m_report;
};

// In-place editors: a line with a length limit, or the document type list.
class FieldDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    FieldDelegate(const RecordSetModel& model, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), m_model(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  private:
    const GridField& field(const QModelIndex& index) const;
    const RecordSetModel& m_model;
};

class SettingsEditor : public QDialog {
    Q_OBJECT

  public:
    ~SettingsEditor() override;

    DialogHooks& hooks() { return m_hooks; }

    // "Grabar": one apply of every change, then close; on a refusal the
    // operator is told and the screen stays open with the changes.
    void GrabarClick();
    // "Cancelar": drop every change and close (after a question when there
    // are changes).
    void CancelarClick();
    // Changes not yet written: a row being edited or inserted, an open
    // in-place editor, or rows posted in memory.
    bool hasPendingChanges() const;

    // Navigator actions on the current row.
    void insertRow();
    void deleteRow();
    bool postRow();
    void cancelRow();
    void refresh();

    DataGrid* grid() const { return m_grid; }
    RecordSetModel* model() const { return m_model; }
    db::RecordSet& recordSet() { return m_rs; }
    const std::string& selectSql() const { return m_sql; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    GridNavigator* navigator() const { return m_navigator; }
    FindDialog* findDialog();

    // The source row shown at the grid's current row, -1 when none.
    int currentRow() const;

    void done(int result) override;
    // Cancelar, Esc and the close box: asks before dropping changes.
    void reject() override;

  protected:
    SettingsEditor(const QString& caption, db::Connection& local, std::string sql,
                   std::vector<GridField> fields, bool searchable, ErrorSink errors,
                   QWidget* parent);

    // Reads the table (the screen's creation); errors are reported. It
    // takes the place of QDialog's open(): the screens are shown with exec().
    void open() override;
    void report(const std::string& message);
    db::Connection& local() { return m_local; }

  private:
    void rowLeft(int previousSourceRow);

    db::Connection& m_local;
    std::string m_sql;
    db::RecordSet m_rs;
    ErrorSink m_errors;
    DialogHooks m_hooks;
    RecordSetModel* m_model = nullptr;
    DataGrid* m_grid = nullptr;
    GridNavigator* m_navigator = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    FindDialog* m_find = nullptr;
    bool m_returning = false;
};

// The message the operator reads when "Grabar" is refused.
QString refusedSaveMessage(const std::string& databaseMessage);

}  // namespace replica::screens
