#include "screens/settingseditor.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <stdexcept>

#include "engine/db/error.h"
#include "screens/gridtools.h"

namespace replica::screens {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QString refusedSaveMessage(const std::string& databaseMessage) {
    return QStringLiteral("No se grabaron los cambios. La base de datos respondió: ") +
           qs(databaseMessage);
}

// ---------------------------------------------------------------------------
// RecordSetModel

RecordSetModel::RecordSetModel(db::RecordSet& rs, std::vector<GridField> fields, QObject* parent)
    : QAbstractTableModel(parent), m_rs(rs), m_fields(std::move(fields)) {}

void RecordSetModel::reset() {
    beginResetModel();
    m_rows.clear();
    m_columns.clear();
    m_editRow = -1;
    try {
        for (const GridField& f : m_fields) {
            m_columns.push_back(m_rs.requireIndex(f.column));
        }
    } catch (const std::out_of_range&) {
        m_columns.clear();
        endResetModel();
        throw;
    }
    for (m_rs.first(); !m_rs.eof(); m_rs.next()) {
        m_rows.push_back(currentValues());
    }
    m_rs.first();
    endResetModel();
}

void RecordSetModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_columns.clear();
    m_editRow = -1;
    endResetModel();
}

db::Row RecordSetModel::currentValues() const {
    db::Row row;
    for (int c = 0; c < m_rs.columnCount(); ++c) {
        row.push_back(m_rs.value(c));
    }
    return row;
}

void RecordSetModel::report(const std::string& message) const {
    if (m_report) {
        m_report(message);
    }
}

int RecordSetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || m_columns.empty()) {
        return 0;
    }
    return static_cast<int>(m_rows.size()) + (inserting() ? 1 : 0);
}

int RecordSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_fields.size());
}

const db::Value& RecordSetModel::cellValue(int row, int field) const {
    const int column = m_columns.at(static_cast<std::size_t>(field));
    if (row == m_editRow) {
        return m_rs.editValue(column);
    }
    return m_rows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const GridField& f = m_fields[static_cast<std::size_t>(index.column())];
    const db::Value& v = cellValue(index.row(), index.column());
    switch (f.kind) {
        case GridField::Kind::Check:
            if (role == Qt::CheckStateRole) {
                return v.asText() == "S" ? Qt::Checked : Qt::Unchecked;
            }
            if (role == kSortRole) {
                return qs(v.asText());
            }
            return {};
        case GridField::Kind::Lookup:
            if (role == Qt::DisplayRole) {
                return v.isNull() ? QString() : qs(documentTypeName(m_lookup, v.asInt()));
            }
            if (role == Qt::EditRole) {
                return v.isNull() ? QVariant() : QVariant::fromValue<qlonglong>(v.asInt());
            }
            return {};
        case GridField::Kind::Text:
            if (role == Qt::DisplayRole || role == Qt::EditRole) {
                return qs(v.asText());
            }
            return {};
    }
    return {};
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnCount()) {
        return m_fields[static_cast<std::size_t>(section)].title;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    const GridField& f = m_fields[static_cast<std::size_t>(index.column())];
    if (f.kind == GridField::Kind::Check) {
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

void RecordSetModel::moveTo(int row) {
    m_rs.first();
    for (int i = 0; i < row; ++i) {
        m_rs.next();
    }
}

bool RecordSetModel::beginEdit(int row) {
    if (row == m_editRow) {
        return true;
    }
    if (m_editRow >= 0 && !post()) {
        return false;
    }
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return false;
    }
    moveTo(row);
    try {
        m_rs.edit();
    } catch (const db::PostError& e) {
        report(e.message());
        return false;
    }
    m_editRow = row;
    return true;
}

bool RecordSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    const GridField& f = m_fields[static_cast<std::size_t>(index.column())];
    db::Value v;
    switch (f.kind) {
        case GridField::Kind::Check:
            if (role != Qt::CheckStateRole) {
                return false;
            }
            v = value.toInt() == Qt::Checked ? "S" : "N";
            break;
        case GridField::Kind::Lookup:
            if (role != Qt::EditRole) {
                return false;
            }
            if (value.isValid() && !value.isNull()) {
                v = static_cast<std::int64_t>(value.toLongLong());
            }
            break;
        case GridField::Kind::Text: {
            if (role != Qt::EditRole) {
                return false;
            }
            // An emptied text is no value, so a required column left empty
            // is caught when the row is posted.
            const QString text = value.toString();
            if (!text.isEmpty()) {
                v = text.toStdString();
            }
            break;
        }
    }
    if (!beginEdit(index.row())) {
        return false;
    }
    try {
        m_rs.set(m_columns[static_cast<std::size_t>(index.column())], std::move(v));
    } catch (const db::PostError& e) {
        report(e.message());
        return false;
    }
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    return true;
}

bool RecordSetModel::post() {
    if (m_editRow < 0) {
        return true;
    }
    const int row = m_editRow;
    const bool added = inserting();
    try {
        m_rs.post();
    } catch (const db::PostError& e) {
        report(e.message());
        return false;
    }
    if (added) {
        m_rows.push_back(currentValues());
    } else {
        m_rows[static_cast<std::size_t>(row)] = currentValues();
    }
    m_editRow = -1;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    return true;
}

void RecordSetModel::cancel() {
    if (m_editRow < 0) {
        return;
    }
    const int row = m_editRow;
    if (inserting()) {
        beginRemoveRows(QModelIndex(), row, row);
        m_rs.cancel();
        m_editRow = -1;
        endRemoveRows();
        return;
    }
    m_rs.cancel();
    m_editRow = -1;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int RecordSetModel::insert() {
    if (!post()) {
        return -1;
    }
    if (!m_rs.isOpen()) {
        report("Dataset not open");
        return -1;
    }
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rs.append();
    // A new row's check box shows cleared, so that is what it writes.
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].kind == GridField::Kind::Check) {
            m_rs.set(m_columns[i], db::Value("N"));
        }
    }
    m_editRow = row;
    endInsertRows();
    return row;
}

bool RecordSetModel::removeAt(int row) {
    if (row == m_editRow && inserting()) {
        cancel();
        return true;
    }
    if (!post()) {
        return false;
    }
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return false;
    }
    moveTo(row);
    beginRemoveRows(QModelIndex(), row, row);
    m_rs.remove();
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

// ---------------------------------------------------------------------------
// FieldDelegate

const GridField& FieldDelegate::field(const QModelIndex& index) const {
    return m_model.fields().at(static_cast<std::size_t>(index.column()));
}

QWidget* FieldDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    const GridField& f = field(index);
    if (f.kind == GridField::Kind::Lookup) {
        auto* box = new QComboBox(parent);
        for (const DocumentType& t : m_model.lookup()) {
            box->addItem(qs(t.name), QVariant::fromValue<qlonglong>(t.code));
        }
        return box;
    }
    if (f.kind == GridField::Kind::Text) {
        auto* line = new QLineEdit(parent);
        if (f.maxLength > 0) {
            line->setMaxLength(f.maxLength);
        }
        return line;
    }
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void FieldDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        box->setCurrentIndex(box->findData(index.data(Qt::EditRole)));
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(index.data(Qt::EditRole).toString());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void FieldDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (box->currentIndex() >= 0) {
            model->setData(index, box->currentData(), Qt::EditRole);
        }
        return;
    }
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        if (line->text() != index.data(Qt::EditRole).toString()) {
            model->setData(index, line->text(), Qt::EditRole);
        }
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

// ---------------------------------------------------------------------------
// SettingsEditor

SettingsEditor::SettingsEditor(const QString& caption, db::Connection& local, std::string sql,
                               std::vector<GridField> fields, bool searchable, ErrorSink errors,
                               QWidget* parent)
    : QDialog(parent),
      m_local(local),
      m_sql(std::move(sql)),
      m_rs(local),
      m_errors(std::move(errors)),
      m_hooks(DialogHooks::standard()) {
    setWindowTitle(caption);
    resize(640, 400);

    m_model = new RecordSetModel(m_rs, std::move(fields), this);
    m_model->setReporter([this](const std::string& m) { m_hooks.warning(this, qs(m)); });

    buildGrid(searchable);
    buildNavigator();

    m_save = new QPushButton(QStringLiteral("Grabar"), this);
    m_save->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this, [this] { GrabarClick(); });
    m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] { CancelarClick(); });

    if (searchable) {
        addFindShortcut(this, [this] { return findDialog(); });
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_navigator);
    layout->addLayout(buttons);
}

void SettingsEditor::buildGrid(bool searchable) {
    m_grid = new DataGrid(this);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->setSourceModel(m_model);
    m_grid->setSortable(searchable);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setItemDelegate(new FieldDelegate(*m_model, m_grid));
    m_grid->horizontalHeader()->setStretchLastSection(false);
    for (std::size_t i = 0; i < m_model->fields().size(); ++i) {
        if (m_model->fields()[i].stretch) {
            m_grid->horizontalHeader()->setSectionResizeMode(static_cast<int>(i),
                                                             QHeaderView::Stretch);
        }
    }
    // Where typing searches, it must not start editing too.
    m_grid->setEditTriggers(
        searchable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::SelectedClicked
                   : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::SelectedClicked | QAbstractItemView::AnyKeyPressed);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (m_returning || !previous.isValid()) {
                    return;
                }
                const int was = m_grid->proxy()->mapToSource(previous).row();
                const int now =
                    current.isValid() ? m_grid->proxy()->mapToSource(current).row() : -1;
                if (was != now) {
                    rowLeft(was);
                }
            });
}

void SettingsEditor::buildNavigator() {
    m_navigator = new GridNavigator(this);
    m_navigator->addMoves(*m_grid);
    m_navigator->add(GridNavigator::Insert, [this] { insertRow(); });
    m_navigator->add(GridNavigator::Delete, [this] { deleteRow(); });
    m_navigator->add(GridNavigator::Edit, [this] {
        if (m_grid->currentIndex().isValid()) {
            m_grid->edit(m_grid->currentIndex());
        }
    });
    m_navigator->add(GridNavigator::Post, [this] { postRow(); });
    m_navigator->add(GridNavigator::Cancel, [this] { cancelRow(); });
    m_navigator->add(GridNavigator::Refresh, [this] { refresh(); });
}

SettingsEditor::~SettingsEditor() = default;

FindDialog* SettingsEditor::findDialog() {
    if (!m_find) {
        m_find = new FindDialog(*m_grid, this);
    }
    return m_find;
}

void SettingsEditor::report(const std::string& message) {
    if (m_errors) {
        m_errors(message);
    } else {
        m_hooks.warning(this, qs(message));
    }
}

void SettingsEditor::load() {
    try {
        m_rs.open(m_sql);
        m_model->reset();
    } catch (const db::Error& e) {
        report(e.message());
    } catch (const std::exception& e) {
        report(e.what());
    }
    m_grid->fitColumnsToContents();
    m_grid->goToRow(0);
}

int SettingsEditor::currentRow() const {
    return m_grid->currentSourceRow();
}

void SettingsEditor::rowLeft(int previousSourceRow) {
    if (m_model->editRow() != previousSourceRow || m_model->post()) {
        return;
    }
    // The row cannot be kept as it is: back to it, so the operator sees
    // what to correct.
    QTimer::singleShot(0, this, [this] {
        const int row = m_model->editRow();
        if (row < 0) {
            return;
        }
        m_returning = true;
        m_grid->goToRow(m_grid->proxy()->mapFromSource(m_model->index(row, 0)).row());
        m_returning = false;
    });
}

void SettingsEditor::insertRow() {
    m_grid->commitEditor();
    const int row = m_model->insert();
    if (row >= 0) {
        m_grid->goToRow(m_grid->proxy()->mapFromSource(m_model->index(row, 0)).row());
    }
}

void SettingsEditor::deleteRow() {
    const int row = currentRow();
    if (row < 0 || !m_hooks.confirm(this, QStringLiteral("¿Borrar el registro?"))) {
        return;
    }
    m_grid->discardEditor();
    m_model->removeAt(row);
}

bool SettingsEditor::postRow() {
    m_grid->commitEditor();
    return m_model->post();
}

void SettingsEditor::cancelRow() {
    m_grid->discardEditor();
    m_model->cancel();
}

void SettingsEditor::refresh() {
    m_grid->commitEditor();
    if (m_model->editRow() >= 0 || (m_rs.isOpen() && m_rs.changeCount() > 0)) {
        m_hooks.message(
            this,
            QStringLiteral("Debe grabar o cancelar los cambios antes de refrescar los datos."));
        return;
    }
    load();
}

void SettingsEditor::GrabarClick() {
    m_grid->commitEditor();
    if (!m_rs.isOpen()) {
        // The table could not be read (already reported): nothing to write.
        accept();
        return;
    }
    if (!m_model->post()) {
        return;
    }
    std::string refused;
    int failed = 0;
    try {
        failed = m_rs.apply(0, [&refused](const db::Error& e) {
            if (refused.empty()) {
                refused = e.message();
            }
        });
    } catch (const db::Error& e) {
        failed = 1;
        refused = e.message();
    }
    if (failed > 0) {
        // The apply rolled back: every change is still pending in the
        // record set and on the screen.
        m_hooks.warning(this, refusedSaveMessage(refused));
        return;
    }
    accept();
}

void SettingsEditor::CancelarClick() {
    reject();
}

bool SettingsEditor::hasPendingChanges() const {
    return m_grid->editorOpen() || m_model->editRow() >= 0 ||
           (m_rs.isOpen() && m_rs.changeCount() > 0);
}

void SettingsEditor::reject() {
    if (hasPendingChanges() &&
        !m_hooks.confirm(this,
                         QStringLiteral("Hay cambios sin grabar. ¿Desea descartarlos y cerrar?"))) {
        return;
    }
    m_grid->discardEditor();
    QDialog::reject();
}

void SettingsEditor::done(int result) {
    m_grid->discardEditor();
    m_model->clear();
    m_rs.close();
    QDialog::done(result);
}

}  // namespace replica::screens
