#include "screens/eventmonitor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/errorcapture.h"
#include "engine/sql.h"
#include "screens/choices.h"
#include "screens/gridtools.h"

namespace replica::screens {

namespace {

constexpr int kIdRole = Qt::UserRole + 2;
constexpr int kCodeRole = Qt::UserRole + 3;
constexpr int kSourceRole = Qt::UserRole + 4;
// The widest a column other than the error text starts, so that a long
// code never pushes the error text off the window.
constexpr int kMaxColumnWidth = 220;

enum class Cell { TypeName, Field, Origin };

struct EventColumn {
    const char* title = nullptr;
    const char* field = nullptr;  // the event's column shown (Cell::Field)
    Cell cell = Cell::Field;
    bool errorMonitorOnly = false;
};

constexpr EventColumn kColumns[] = {
    {"Tipo doc", nullptr, Cell::TypeName},
    {"Pref", "RPEV_PREF"},
    {"Número", "RPEV_NUMERO"},
    {"Código", "RPEV_CODIGO"},
    {"Servidor", "RPEV_COMPANIA"},
    {"Fecha", "RPEV_FECREG"},
    {"Hora", "RPEV_HORAREG"},
    {"Op", "RPEV_OPER"},
    {"Prefd", "RPEV_PREFDEST"},
    {"PtVt", "RPEV_PTVT"},
    {"Origen", nullptr, Cell::Origin, true},
    // Last: it takes the spare width.
    {"Mensaje de error", "RPEV_ERROR", Cell::Field, true},
};
constexpr int kCompanyColumn = 4;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QStandardItem* cellItem(const db::Value& v) {
    auto* item = new QStandardItem(qs(v.asText()));
    if (v.kind() == db::Value::Kind::Int) {
        item->setData(QVariant::fromValue<qlonglong>(v.asInt()), kSortRole);
    }
    return item;
}

}  // namespace

EventMonitor::EventMonitor(const QString& caption, std::string sql, QString exportName,
                           bool errorColumn, db::Connection& local, ErrorSink errors,
                           QWidget* parent)
    : QDialog(parent),
      m_local(local),
      m_sql(std::move(sql)),
      m_exportName(std::move(exportName)),
      m_errorColumn(errorColumn),
      m_errors(std::move(errors)),
      m_hooks(DialogHooks::standard()) {
    setWindowTitle(caption);
    resize(960, 460);
    // In this order: the order the controls are made is the order of Tab.
    buildGrid();
    buildControls();
    buildMenu();
    followSelection();
    layOut();
    updateStatus();
}

void EventMonitor::buildGrid() {
    m_model = new QStandardItemModel(this);
    QStringList titles;
    for (const EventColumn& c : kColumns) {
        if (m_errorColumn || !c.errorMonitorOnly) {
            titles << QString::fromUtf8(c.title);
        }
    }
    m_model->setHorizontalHeaderLabels(titles);

    m_grid = new DataGrid(this);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->setSourceModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The last column takes the spare width: in the error monitor a long
    // error text is cut with an ellipsis there, and the whole text is in
    // the tooltip, the detail line, the export and the copy.
    m_grid->horizontalHeader()->setStretchLastSection(true);

    // The stretched last column follows the window, not the operator.
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        const bool stretched = column == m_model->columnCount() - 1;
        m_widthsChanged = m_widthsChanged || (!m_fitting && !stretched);
    });

    m_navigator = new GridNavigator(this);
    m_navigator->addMoves(*m_grid);
    if (m_errorColumn) {
        // A delete that took the row off the screen only, with no question,
        // looked like a delete that had worked: it is "Borrar" itself.
        m_navigator->add(GridNavigator::Delete, [this] { BorrarClick(); });
    }
    m_navigator->add(GridNavigator::Refresh, [this] { reload(); });
}

// The count, the detail line (error monitor), "Activar filtros", "Borrar"
// and "Cerrar".
void EventMonitor::buildControls() {
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("LRegistros"));
    if (m_errorColumn) {
        m_detail = new QLineEdit(this);
        m_detail->setObjectName(QStringLiteral("EDetalle"));
        m_detail->setReadOnly(true);
        m_detail->setPlaceholderText(QStringLiteral("Mensaje de error del evento seleccionado"));
    }

    m_filters = new QCheckBox(QStringLiteral("Activar filtros"), this);
    connect(m_filters, &QCheckBox::toggled, m_grid, &DataGrid::setFilterRowVisible);
    m_delete = new QPushButton(QStringLiteral("Borrar"), this);
    m_delete->setAutoDefault(false);
    connect(m_delete, &QPushButton::clicked, this, [this] { BorrarClick(); });
    m_close = new QPushButton(QStringLiteral("Cerrar"), this);
    m_close->setAutoDefault(false);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

// The grid's popup menu and the find shortcut.
void EventMonitor::buildMenu() {
    m_menu = new QMenu(this);
    connect(m_menu->addAction(QStringLiteral("&Copiar")), &QAction::triggered, this,
            [this] { Copiar(); });
    connect(m_menu->addAction(QStringLiteral("Se&leccionar todo")), &QAction::triggered, this,
            [this] { SeleccionarTodo(); });
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("&Guardar selección")), &QAction::triggered, this,
            [this] { GuardarSeleccion(); });
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_menu->popup(m_grid->viewport()->mapToGlobal(at)); });

    addFindShortcut(this, [this] { return findDialog(); });
    m_grid->setCopyHandler([this] { Copiar(); });
}

void EventMonitor::followSelection() {
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { updateStatus(); });
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateStatus(); });
    QAbstractItemModel* shown = m_grid->proxy();
    connect(shown, &QAbstractItemModel::rowsInserted, this, [this] { updateStatus(); });
    connect(shown, &QAbstractItemModel::rowsRemoved, this, [this] { updateStatus(); });
    connect(shown, &QAbstractItemModel::modelReset, this, [this] { updateStatus(); });
    connect(shown, &QAbstractItemModel::layoutChanged, this, [this] { updateStatus(); });
}

void EventMonitor::layOut() {
    auto* status = new QHBoxLayout;
    status->addWidget(m_count);
    status->addStretch();
    status->addWidget(m_navigator);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_filters);
    bottom->addStretch();
    bottom->addWidget(m_delete);
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    if (m_detail) {
        layout->addWidget(m_detail);
    }
    layout->addLayout(status);
    layout->addLayout(bottom);
}

EventMonitor::~EventMonitor() {
    // The grid is destroyed after this monitor and resizes its columns as
    // it goes: the monitor must no longer hear of it by then.
    disconnect(m_grid->horizontalHeader(), nullptr, this, nullptr);
    if (m_widthsChanged) {
        rememberColumnWidths(columnsKey(), *m_grid->horizontalHeader());
    }
}

QString EventMonitor::columnsKey() const {
    return QStringLiteral("Monitores/") + m_exportName + QStringLiteral("/Columnas");
}

FindDialog* EventMonitor::findDialog() {
    if (!m_find) {
        m_find = new FindDialog(*m_grid, this);
    }
    return m_find;
}

void EventMonitor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormActivate();
        m_grid->setFocus();
    }
}

void EventMonitor::report(const std::string& message) {
    if (m_errors) {
        m_errors(message);
    } else {
        m_hooks.warning(this, qs(message));
    }
}

void EventMonitor::FormActivate() {
    try {
        m_sources = chooseSources();
    } catch (const std::exception& e) {
        m_sources.clear();
        report(e.what());
        return;
    }
    reload();
}

void EventMonitor::readSource(std::size_t index, const std::vector<DocumentType>& types) {
    const EventSource& source = m_sources[index];
    db::Query q(*source.database);
    q.open(source.sql);
    for (q.first(); !q.eof(); q.next()) {
        QList<QStandardItem*> row;
        for (const EventColumn& c : kColumns) {
            if (c.errorMonitorOnly && !m_errorColumn) {
                continue;
            }
            if (c.cell == Cell::TypeName) {
                row << new QStandardItem(qs(documentTypeName(types, q.asInt("RPEV_TIPO"))));
            } else if (c.cell == Cell::Origin) {
                row << new QStandardItem(source.origin);
                row.back()->setToolTip(qs(source.database->path()));
            } else {
                row << cellItem(q.value(c.field));
            }
        }
        if (m_errorColumn) {
            // The database's common refusals in the operator's words; its
            // own words stay in the tooltip (and in errorenvio.txt).
            QStandardItem* error = row.back();
            const std::string stored = error->text().toStdString();
            const std::string refusal = ErrorCapture::refusalText(stored);
            if (!refusal.empty()) {
                error->setText(qs(refusal));
            }
            error->setToolTip(refusal.empty() ? qs(stored) : qs(refusal + "\n\n" + stored));
        }
        row.front()->setData(QVariant::fromValue<qlonglong>(q.asInt("RPEV_ID")), kIdRole);
        row.front()->setData(qs(q.asText("RPEV_CODIGO")), kCodeRole);
        row.front()->setData(QVariant::fromValue<qulonglong>(index), kSourceRole);
        m_model->appendRow(row);
    }
}

void EventMonitor::reload() {
    if (m_sources.empty()) {
        return;
    }
    m_model->removeRows(0, m_model->rowCount());
    try {
        // Type names always come from the local company database, also when
        // the events are the server's.
        const std::vector<DocumentType> types = loadDocumentTypes(m_local);
        for (std::size_t i = 0; i < m_sources.size(); ++i) {
            readSource(i, types);
        }
    } catch (const db::Error& e) {
        report(e.message());
    } catch (const std::exception& e) {
        report(e.what());
    }
    m_grid->proxy()->invalidate();
    m_fitting = true;
    m_grid->fitColumnsToContents(kMaxColumnWidth);
    // The widths the operator chose last time win over the fitted ones.
    restoreColumnWidths(columnsKey(), *m_grid->horizontalHeader());
    m_fitting = false;
    m_grid->goToRow(0);
    updateStatus();
}

db::Connection* EventMonitor::databaseOf(int sourceRow) const {
    const std::size_t index = m_model->item(sourceRow, 0)->data(kSourceRole).toULongLong();
    return index < m_sources.size() ? m_sources[index].database : nullptr;
}

void EventMonitor::setNote(const QString& note) {
    m_note = note;
    updateStatus();
}

int EventMonitor::deletableRow() const {
    const QModelIndex current = m_grid->currentIndex();
    if (!current.isValid() || !m_grid->selectionModel()->isRowSelected(current.row())) {
        return -1;
    }
    const int row = m_grid->currentSourceRow();
    if (row < 0 || !m_model->item(row, 0)->data(kIdRole).isValid() || !databaseOf(row)) {
        return -1;
    }
    return row;
}

void EventMonitor::updateStatus() {
    const int listed = m_model->rowCount();
    const int shown = m_grid->proxy()->rowCount();
    const QString noun = listed == 1 ? QStringLiteral("evento") : QStringLiteral("eventos");
    m_count->setText((shown == listed
                          ? QStringLiteral("%1 %2").arg(listed).arg(noun)
                          : QStringLiteral("%1 de %2 %3").arg(shown).arg(listed).arg(noun)) +
                     (m_note.isEmpty() ? QString() : QStringLiteral(" - ") + m_note));
    const bool deletable = deletableRow() >= 0;
    m_delete->setEnabled(deletable);
    if (QToolButton* nav = m_navigator->button(GridNavigator::Delete)) {
        nav->setEnabled(deletable);
    }
    if (m_detail) {
        const int row = m_grid->currentSourceRow();
        const int errorColumn = m_model->columnCount() - 1;
        const QString error = row >= 0 ? m_model->item(row, errorColumn)->text() : QString();
        // One line: the breaks of a long database message become blanks.
        QString line = error;
        line.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        m_detail->setText(line);
        m_detail->setCursorPosition(0);
        m_detail->setToolTip(row >= 0 ? m_model->item(row, errorColumn)->toolTip() : QString());
    }
}

QString EventMonitor::eventName(int sourceRow) const {
    QString code = m_model->item(sourceRow, 0)->data(kCodeRole).toString();
    if (!code.isEmpty()) {
        return code;
    }
    // Type name, prefix and number, as the grid shows them.
    QStringList parts;
    for (int column : {0, 1, 2}) {
        const QString text = m_model->item(sourceRow, column)->text().trimmed();
        if (!text.isEmpty()) {
            parts << text;
        }
    }
    return parts.join(QLatin1Char(' '));
}

std::int64_t EventMonitor::eventId(int sourceRow) const {
    return m_model->item(sourceRow, 0)->data(kIdRole).toLongLong();
}

void EventMonitor::BorrarClick() {
    const int row = deletableRow();
    db::Connection* database = row < 0 ? nullptr : databaseOf(row);
    if (!database) {
        return;
    }
    // Events of several companies and databases can look alike: the
    // question says which one goes, and from where.
    const QString company = m_model->item(row, kCompanyColumn)->text().trimmed();
    if (!m_hooks.confirm(this, QStringLiteral("¿Está seguro de borrar el evento del documento ") +
                                   eventName(row) + QStringLiteral(" para la compañía ") +
                                   (company.isEmpty() ? QStringLiteral("(ninguna)") : company) +
                                   QStringLiteral(" en la base de datos ") + qs(database->path()) +
                                   QStringLiteral("?"))) {
        return;
    }
    try {
        // An event another process removed meanwhile deletes nothing, which
        // is not worth a word.
        database->execute("DELETE FROM REPLICA_EVENTOS WHERE RPEV_ID = " + sqlInt(eventId(row)));
    } catch (const db::Error& e) {
        report(e.message());
        return;
    }
    reload();
}

exporting::Table EventMonitor::selectionTable() const {
    exporting::Table t;
    t.title = windowTitle().toStdString();
    const std::vector<int> cols = m_grid->visibleColumns();
    for (int c : cols) {
        t.headers.push_back(m_model->headerData(c, Qt::Horizontal).toString().toStdString());
    }
    for (int r : m_grid->selectedSourceRows()) {
        std::vector<std::string> row;
        row.reserve(cols.size());
        for (int c : cols) {
            row.push_back(m_model->item(r, c)->text().toStdString());
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

void EventMonitor::Copiar() {
    if (QApplication::focusWidget() != m_grid) {
        return;
    }
    const exporting::Table t = selectionTable();
    QApplication::clipboard()->setText(qs(exporting::toClipboardText(t.rows)));
}

void EventMonitor::SeleccionarTodo() {
    if (QApplication::focusWidget() != m_grid) {
        return;
    }
    m_grid->selectAll();
}

void EventMonitor::GuardarSeleccion() {
    if (QApplication::focusWidget() != m_grid) {
        return;
    }
    try {
        saveExport(this, m_hooks, m_exportName, selectionTable());
    } catch (const std::exception& e) {
        report(e.what());
    }
}

}  // namespace replica::screens
