#include "screens/gridtools.h"

#include <QAction>
#include <QKeySequence>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace replica::screens {

namespace {

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            return true;
        default:
            return false;
    }
}

// Empty cells first, numbers as numbers, texts without regard to case.
int compareCells(const QVariant& a, const QVariant& b) {
    const bool aEmpty = !a.isValid() || a.isNull();
    const bool bEmpty = !b.isValid() || b.isNull();
    if (aEmpty || bEmpty) {
        return aEmpty == bEmpty ? 0 : (aEmpty ? -1 : 1);
    }
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive);
}

QVariant sortValue(const QModelIndex& index) {
    QVariant v = index.data(kSortRole);
    return v.isValid() ? v : index.data(Qt::DisplayRole);
}

}  // namespace

// ---------------------------------------------------------------------------
// GridProxy

GridProxy::GridProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(false);
}

void GridProxy::clickColumn(int column, bool add) {
    auto it = std::find_if(m_keys.begin(), m_keys.end(),
                           [column](const SortKey& k) { return k.first == column; });
    auto flip = [](Qt::SortOrder o) {
        return o == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    };
    std::vector<SortKey> keys = m_keys;
    if (add) {
        if (it != m_keys.end()) {
            keys[static_cast<std::size_t>(it - m_keys.begin())].second = flip(it->second);
        } else {
            keys.emplace_back(column, Qt::AscendingOrder);
        }
    } else if (m_keys.size() == 1 && it != m_keys.end()) {
        keys[0].second = flip(it->second);
    } else {
        keys = {{column, Qt::AscendingOrder}};
    }
    setSortKeys(std::move(keys));
}

void GridProxy::setSortKeys(std::vector<SortKey> keys) {
    m_keys = std::move(keys);
    sort(m_keys.empty() ? -1 : 0, Qt::AscendingOrder);
    // sort() does nothing when the column and order are unchanged, but the
    // keys behind them may have changed.
    invalidate();
    if (sourceModel()) {
        emit headerDataChanged(Qt::Horizontal, 0, std::max(0, columnCount() - 1));
    }
}

void GridProxy::setColumnFilter(int column, const QString& text) {
    if (column < 0) {
        return;
    }
    if (static_cast<std::size_t>(column) >= m_filters.size()) {
        m_filters.resize(static_cast<std::size_t>(column) + 1);
    }
    m_filters[static_cast<std::size_t>(column)] = text;
    invalidateFilter();
}

void GridProxy::clearFilters() {
    m_filters.clear();
    invalidateFilter();
}

QVariant GridProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    QVariant base = QSortFilterProxyModel::headerData(section, orientation, role);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return base;
    }
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].first == section) {
            QString mark = m_keys[i].second == Qt::AscendingOrder ? QStringLiteral(" ▲")
                                                                  : QStringLiteral(" ▼");
            if (m_keys.size() > 1) {
                mark += QString::number(i + 1);
            }
            return base.toString() + mark;
        }
    }
    return base;
}

bool GridProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QAbstractItemModel* m = sourceModel();
    for (const SortKey& k : m_keys) {
        const int c = compareCells(sortValue(m->index(left.row(), k.first)),
                                   sortValue(m->index(right.row(), k.first)));
        if (c != 0) {
            return k.second == Qt::AscendingOrder ? c < 0 : c > 0;
        }
    }
    // Equal keys keep the order the rows were read in.
    return left.row() < right.row();
}

bool GridProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QAbstractItemModel* m = sourceModel();
    for (std::size_t c = 0; c < m_filters.size(); ++c) {
        if (m_filters[c].isEmpty()) {
            continue;
        }
        const QString text =
            m->index(sourceRow, static_cast<int>(c), sourceParent).data().toString();
        if (!text.contains(m_filters[c], Qt::CaseInsensitive)) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// FilterHeader

FilterHeader::FilterHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    connect(this, &QHeaderView::sectionResized, this, [this] { placeBoxes(); });
    connect(this, &QHeaderView::sectionMoved, this, [this] { placeBoxes(); });
}

int FilterHeader::titleHeight() const {
    return QHeaderView::sizeHint().height();
}

QSize FilterHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    if (m_visible && !m_boxes.empty()) {
        s.setHeight(s.height() + m_boxes.front()->sizeHint().height());
    }
    return s;
}

void FilterHeader::setupFilterBoxes() {
    for (QLineEdit* box : m_boxes) {
        delete box;
    }
    m_boxes.clear();
    const int n = model() ? model()->columnCount() : 0;
    for (int i = 0; i < n; ++i) {
        auto* box = new QLineEdit(viewport());
        box->setObjectName(QStringLiteral("filtro%1").arg(i));
        box->setClearButtonEnabled(true);
        box->setVisible(m_visible);
        connect(box, &QLineEdit::textChanged, this,
                [this, i](const QString& text) { emit filterChanged(i, text); });
        m_boxes.push_back(box);
    }
    placeBoxes();
}

QLineEdit* FilterHeader::filterBox(int column) const {
    return column >= 0 && static_cast<std::size_t>(column) < m_boxes.size()
               ? m_boxes[static_cast<std::size_t>(column)]
               : nullptr;
}

void FilterHeader::setFiltersVisible(bool visible) {
    m_visible = visible;
    if (!visible) {
        // Hidden filters filter nothing.
        for (QLineEdit* box : m_boxes) {
            box->clear();
        }
    }
    updateGeometry();
    placeBoxes();
    emit geometriesChanged();
}

void FilterHeader::mousePressEvent(QMouseEvent* event) {
    m_pressModifiers = event->modifiers();
    QHeaderView::mousePressEvent(event);
}

void FilterHeader::updateGeometries() {
    QHeaderView::updateGeometries();
    placeBoxes();
}

void FilterHeader::placeBoxes() {
    const int top = titleHeight();
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        QLineEdit* box = m_boxes[i];
        const int c = static_cast<int>(i);
        if (!m_visible || isSectionHidden(c)) {
            box->hide();
            continue;
        }
        box->setGeometry(sectionViewportPosition(c), top, sectionSize(c), box->sizeHint().height());
        box->show();
    }
}

void FilterHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QRect r = rect;
    if (m_visible) {
        r.setHeight(titleHeight());
    }
    QHeaderView::paintSection(painter, r, logicalIndex);
}

// ---------------------------------------------------------------------------
// DataGrid

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent), m_proxy(new GridProxy(this)), m_header(new FilterHeader(this)) {
    setHorizontalHeader(m_header);
    QTableView::setModel(m_proxy);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (!m_sortable) {
            return;
        }
        const auto mods = m_header->pressModifiers();
        m_proxy->clickColumn(column, mods.testAnyFlags(Qt::ControlModifier | Qt::ShiftModifier));
    });
    connect(m_header, &FilterHeader::filterChanged, m_proxy, &GridProxy::setColumnFilter);
    connect(m_proxy, &QAbstractItemModel::headerDataChanged, this, [this] { keepTitlesWhole(); });
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
    if (m_copy && event->matches(QKeySequence::Copy)) {
        m_copy();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::keepTitlesWhole() {
    for (int c = 0; c < m_header->count(); ++c) {
        if (m_header->sectionResizeMode(c) != QHeaderView::Interactive ||
            (m_header->stretchLastSection() && c == m_header->count() - 1)) {
            continue;
        }
        const int needed = m_header->sectionSizeHint(c);
        if (m_header->sectionSize(c) < needed) {
            m_header->resizeSection(c, needed);
        }
    }
}

void DataGrid::fitColumnsToContents(int maxWidth) {
    resizeColumnsToContents();
    // The sort mark and its rank appear after the title when the column is
    // sorted: room for them now, so a click never cuts the title.
    const int mark = m_header->fontMetrics().horizontalAdvance(QStringLiteral(" ▲9"));
    for (int c = 0; c < m_header->count(); ++c) {
        if (m_header->sectionResizeMode(c) != QHeaderView::Interactive ||
            (m_header->stretchLastSection() && c == m_header->count() - 1)) {
            continue;
        }
        int width = std::max(columnWidth(c), m_header->sectionSizeHint(c) + mark);
        if (maxWidth > 0) {
            width = std::min(width, std::max(maxWidth, m_header->sectionSizeHint(c) + mark));
        }
        setColumnWidth(c, width);
    }
}

void DataGrid::setSourceModel(QAbstractItemModel* model) {
    m_proxy->setSourceModel(model);
    m_header->setupFilterBoxes();
}

void DataGrid::setFilterRowVisible(bool visible) {
    m_header->setFiltersVisible(visible);
}

std::vector<int> DataGrid::selectedSourceRows() const {
    std::vector<int> proxyRows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) {
        proxyRows.push_back(i.row());
    }
    std::sort(proxyRows.begin(), proxyRows.end());
    std::vector<int> rows;
    rows.reserve(proxyRows.size());
    for (int r : proxyRows) {
        rows.push_back(m_proxy->mapToSource(m_proxy->index(r, 0)).row());
    }
    return rows;
}

std::vector<int> DataGrid::visibleColumns() const {
    std::vector<int> cols;
    for (int v = 0; v < m_header->count(); ++v) {
        const int logical = m_header->logicalIndex(v);
        if (!isColumnHidden(logical)) {
            cols.push_back(logical);
        }
    }
    return cols;
}

int DataGrid::currentSourceRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? m_proxy->mapToSource(i).row() : -1;
}

void DataGrid::goToRow(int r) {
    if (r < 0 || r >= m_proxy->rowCount()) {
        return;
    }
    const int column = std::max(currentIndex().column(), 0);
    const QModelIndex i = m_proxy->index(r, column);
    selectionModel()->setCurrentIndex(
        i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(i);
}

QWidget* DataGrid::openEditor() const {
    if (state() != QAbstractItemView::EditingState) {
        return nullptr;
    }
    // In-place editors are the visible children of the viewport.
    for (QWidget* w : viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisible()) {
            return w;
        }
    }
    return nullptr;
}

void DataGrid::commitEditor() {
    if (QWidget* editor = openEditor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DataGrid::discardEditor() {
    if (QWidget* editor = openEditor()) {
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

// ---------------------------------------------------------------------------
// find

int findRow(const QAbstractItemModel& model, const QString& text, int column, int start) {
    const int rows = model.rowCount();
    if (text.isEmpty() || rows == 0) {
        return -1;
    }
    const int first = column < 0 ? 0 : column;
    const int last = column < 0 ? model.columnCount() - 1 : column;
    start = ((start % rows) + rows) % rows;
    for (int i = 0; i < rows; ++i) {
        const int r = (start + i) % rows;
        for (int c = first; c <= last; ++c) {
            if (model.index(r, c).data().toString().contains(text, Qt::CaseInsensitive)) {
                return r;
            }
        }
    }
    return -1;
}

FindDialog::FindDialog(DataGrid& grid, QWidget* parent)
    : QDialog(parent),
      m_grid(grid),
      m_text(new QLineEdit(this)),
      m_column(new QComboBox(this)),
      m_status(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Buscar"));
    setModal(false);
    m_column->addItem(QStringLiteral("Todas las columnas"));
    const QAbstractItemModel* source = grid.proxy()->sourceModel();
    if (source) {
        for (int c = 0; c < source->columnCount(); ++c) {
            m_column->addItem(source->headerData(c, Qt::Horizontal).toString());
        }
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Buscar:"), m_text);
    form->addRow(QStringLiteral("Columna:"), m_column);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* next =
        buttons->addButton(QStringLiteral("Buscar &siguiente"), QDialogButtonBox::AcceptRole);
    next->setDefault(true);
    QPushButton* close =
        buttons->addButton(QStringLiteral("&Cerrar"), QDialogButtonBox::RejectRole);
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    m_status->setObjectName(QStringLiteral("LEstado"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    connect(m_text, &QLineEdit::textChanged, m_status, &QLabel::clear);
}

bool FindDialog::findNext() {
    const QModelIndex current = m_grid.currentIndex();
    const int start = current.isValid() ? current.row() + 1 : 0;
    const int r = findRow(*m_grid.proxy(), m_text->text(), m_column->currentIndex() - 1, start);
    if (r < 0) {
        QApplication::beep();
        m_status->setText(m_text->text().isEmpty()
                              ? QStringLiteral("Escriba el texto a buscar.")
                              : QStringLiteral("No se encontró \"%1\".").arg(m_text->text()));
        return false;
    }
    m_status->setText(current.isValid() && r <= current.row()
                          ? QStringLiteral("Se llegó al final; se siguió desde el principio.")
                          : QString());
    m_grid.goToRow(r);
    return true;
}

// ---------------------------------------------------------------------------
// GridNavigator

namespace {

struct ButtonLook {
    const char* name;
    const char* tip;
    const char* text;
    QStyle::StandardPixmap icon;
};

ButtonLook look(GridNavigator::Button b) {
    switch (b) {
        case GridNavigator::First:
            return {"First", "Primero", "|<", QStyle::SP_MediaSkipBackward};
        case GridNavigator::Prior:
            return {"Prior", "Anterior", "<", QStyle::SP_MediaSeekBackward};
        case GridNavigator::Next:
            return {"Next", "Siguiente", ">", QStyle::SP_MediaSeekForward};
        case GridNavigator::Last:
            return {"Last", "Último", ">|", QStyle::SP_MediaSkipForward};
        case GridNavigator::Insert:
            return {"Insert", "Insertar registro", "+", QStyle::SP_FileDialogNewFolder};
        case GridNavigator::Delete:
            return {"Delete", "Borrar registro", "-", QStyle::SP_TrashIcon};
        case GridNavigator::Edit:
            return {"Edit", "Editar registro", "Editar", QStyle::SP_FileDialogDetailedView};
        case GridNavigator::Post:
            return {"Post", "Guardar registro", "Ok", QStyle::SP_DialogApplyButton};
        case GridNavigator::Cancel:
            return {"Cancel", "Cancelar edición", "X", QStyle::SP_DialogCancelButton};
        case GridNavigator::Refresh:
            return {"Refresh", "Refrescar datos", "Refrescar", QStyle::SP_BrowserReload};
    }
    return {"", "", "", QStyle::SP_CustomBase};
}

}  // namespace

GridNavigator::GridNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addStretch();
}

QToolButton* GridNavigator::add(Button which, std::function<void()> action) {
    const ButtonLook l = look(which);
    auto* b = new QToolButton(this);
    b->setObjectName(QStringLiteral("nav") + QLatin1String(l.name));
    b->setText(QString::fromUtf8(l.text));
    b->setToolTip(QString::fromUtf8(l.tip));
    b->setFocusPolicy(Qt::NoFocus);  // the grid keeps the focus
    const QIcon icon = style()->standardIcon(l.icon);
    if (!icon.isNull()) {
        b->setIcon(icon);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    connect(b, &QToolButton::clicked, this, [action = std::move(action)] { action(); });
    auto* layout = static_cast<QHBoxLayout*>(this->layout());
    layout->insertWidget(layout->count() - 1, b);
    m_buttons.emplace_back(which, b);
    return b;
}

QToolButton* GridNavigator::button(Button which) const {
    for (const auto& [b, w] : m_buttons) {
        if (b == which) {
            return w;
        }
    }
    return nullptr;
}

void GridNavigator::addMoves(DataGrid& grid) {
    DataGrid* g = &grid;
    auto row = [g] { return g->currentIndex().isValid() ? g->currentIndex().row() : -1; };
    add(First, [g] { g->goToRow(0); });
    add(Prior, [g, row] { g->goToRow(std::max(row() - 1, 0)); });
    add(Next, [g, row] { g->goToRow(std::min(row() + 1, g->model()->rowCount() - 1)); });
    add(Last, [g] { g->goToRow(g->model()->rowCount() - 1); });
}

void addFindShortcut(QWidget* owner, std::function<FindDialog*()> dialog) {
    auto* find = new QAction(owner);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(find, &QAction::triggered, owner, [dialog = std::move(dialog)] {
        FindDialog* d = dialog();
        d->show();
        d->raise();
        d->textBox()->setFocus();
    });
    owner->addAction(find);
}

}  // namespace replica::screens
