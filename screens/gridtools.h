#pragma once
// The data grid the operator screens share, and its companions.
//
// - GridProxy: filtering and sorting of the rows already loaded, never a
//   query: one "contains" filter per column (case-insensitive) and a sort
//   on several columns at once (a click on a title sorts by that column; a
//   click with Ctrl or Shift adds it to the columns already marked; a click
//   on a marked column turns its order round).
// - DataGrid: a table view over a GridProxy whose title row can show a row
//   of filter boxes under the titles. Typing on the grid searches the
//   current column incrementally (the view's keyboard search).
// - FindDialog: a non-modal find box ("Buscar") over a grid; findRow is its
//   search, a pure function of the model.
// - GridNavigator: the row of record buttons under a grid (first, prior,
//   next, last, insert, delete, edit, post, cancel, refresh), each wired to
//   a callback, so each screen decides what a button does.

#include <QDialog>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace replica::screens {

// The role under which models give a sort key (a number sorts as a number);
// DisplayRole is used when a cell has none.
inline constexpr int kSortRole = Qt::UserRole + 1;

class GridProxy : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    using SortKey = std::pair<int, Qt::SortOrder>;

    explicit GridProxy(QObject* parent = nullptr);

    // A title was clicked; add keeps the columns already marked.
    void clickColumn(int column, bool add);
    void setSortKeys(std::vector<SortKey> keys);
    const std::vector<SortKey>& sortKeys() const { return m_keys; }

    void setColumnFilter(int column, const QString& text);
    void clearFilters();

    // Titles carry the sort marks ("▲", "▼", and the rank when several
    // columns are marked).
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    std::vector<SortKey> m_keys;
    std::vector<QString> m_filters;  // per source column
};

// The grid's title row, with the optional row of filter boxes under it.
class FilterHeader : public QHeaderView {
    Q_OBJECT

  public:
    explicit FilterHeader(QWidget* parent = nullptr);

    void setFiltersVisible(bool visible);
    bool filtersVisible() const { return m_visible; }
    // One box per column of the model; rebuilt when the column count changes.
    void setupFilterBoxes();
    QLineEdit* filterBox(int column) const;

    QSize sizeHint() const override;
    // The modifier keys held when a title was last pressed.
    Qt::KeyboardModifiers pressModifiers() const { return m_pressModifiers; }

  signals:
    void filterChanged(int column, const QString& text);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void updateGeometries() override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

  private:
    void placeBoxes();
    int titleHeight() const;

    std::vector<QLineEdit*> m_boxes;
    bool m_visible = false;
    Qt::KeyboardModifiers m_pressModifiers;
};

class DataGrid : public QTableView {
    Q_OBJECT

  public:
    explicit DataGrid(QWidget* parent = nullptr);

    // Sets the source model behind the grid's proxy.
    void setSourceModel(QAbstractItemModel* model);
    GridProxy* proxy() const { return m_proxy; }
    FilterHeader* filterHeader() const { return m_header; }

    // Title clicks sort through the proxy (off for grids that do not sort).
    void setSortable(bool sortable) { m_sortable = sortable; }
    void setFilterRowVisible(bool visible);

    // Source rows of the selected rows, in the order the grid shows them.
    std::vector<int> selectedSourceRows() const;
    // Source columns shown, in the order they are shown.
    std::vector<int> visibleColumns() const;
    // The source row of the current row, -1 when there is none.
    int currentSourceRow() const;
    // Makes the row shown at proxy row r current (and selected).
    void goToRow(int r);
    // Sizes every column to its title and cells, with room for the sort
    // mark in the title, none wider than maxWidth (0: no limit). A column
    // set to stretch keeps the spare width.
    void fitColumnsToContents(int maxWidth = 0);
    // The in-place editor open on a cell: write its text to the model, or
    // drop it. Nothing happens when no editor is open.
    void commitEditor();
    void discardEditor();
    bool editorOpen() const { return openEditor() != nullptr; }
    // What the copy key (Ctrl+C) does: the screen's own copy of the rows,
    // so that the key and the menu's "Copiar" never copy different things.
    // Unset: the table's copy of the current cell.
    void setCopyHandler(std::function<void()> copy) { m_copy = std::move(copy); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* openEditor() const;
    // A title that grew (a sort mark) widens its column rather than being
    // cut.
    void keepTitlesWhole();

    GridProxy* m_proxy;
    FilterHeader* m_header;
    bool m_sortable = true;
    std::function<void()> m_copy;
};

// The next row, from start (inclusive) and wrapping round, whose text in
// column (every column when column < 0) contains text without regard to
// case; -1 when none does.
int findRow(const QAbstractItemModel& model, const QString& text, int column, int start);

class FindDialog : public QDialog {
    Q_OBJECT

  public:
    explicit FindDialog(DataGrid& grid, QWidget* parent = nullptr);

    QLineEdit* textBox() const { return m_text; }
    QComboBox* columnBox() const { return m_column; }
    // What the last search found: nothing, or a match reached by going
    // round past the last row; empty after a plain match.
    QLabel* statusLabel() const { return m_status; }
    // Moves the grid to the next match after its current row, going round
    // to the first row after the last; false (a beep and a word in the
    // status line) when no row matches.
    bool findNext();

  private:
    DataGrid& m_grid;
    QLineEdit* m_text;
    QComboBox* m_column;
    QLabel* m_status;
};

// Ctrl+F on owner's window shows the find dialog that `dialog` returns
// (created on first use), raised and ready for typing.
void addFindShortcut(QWidget* owner, std::function<FindDialog*()> dialog);

class GridNavigator : public QWidget {
    Q_OBJECT

  public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

    explicit GridNavigator(QWidget* parent = nullptr);

    // Adds a button at the end of the row (object name "nav" + its name).
    QToolButton* add(Button which, std::function<void()> action);
    QToolButton* button(Button which) const;

    // The four moves on a grid, for the usual case.
    void addMoves(DataGrid& grid);

  private:
    std::vector<std::pair<Button, QToolButton*>> m_buttons;
};

}  // namespace replica::screens
