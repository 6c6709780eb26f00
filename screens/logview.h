#pragma once
// The log view "Registros": errorenvio.txt, ENVIO.TXT and ERRORES.TXT (the
// outages and the login's errors) as a list of their lines, newest first,
// with a search box.
//
// The operator chooses the file; the view reads the file afresh (its last
// kLogSearchBytes bytes, the whole file as the agent writes it) when it
// opens, when the file is chosen and on "Refrescar", and lists its newest
// kLogViewLines lines. The search looks through every line read, without
// regard to case, and lists the newest kLogViewLines that contain the text;
// the count under the list says how many are shown of how many. A long line
// is shown whole, with a horizontal scroll bar. Nothing is ever written:
// the files belong to the agent.
//
// Opened modally by the main screen's "Registros" button:
//     screens::LogView view([] { return applicationDirectory(); }, this);
//     view.exec();

#include <QDialog>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStringListModel;

namespace replica::screens {

inline constexpr std::size_t kLogViewLines = 2000;
inline constexpr std::size_t kLogViewBytes = std::size_t{4} * 1024 * 1024;
inline constexpr std::size_t kLogSearchBytes = std::size_t{16} * 1024 * 1024;

// The last `max` complete lines of `bytes`, newest first, line breaks (LF
// or CR LF) removed. truncated: bytes starts in the middle of the file, so
// its first line may be partial and is left out.
std::vector<std::string> recentLines(const std::string& bytes, std::size_t max,
                                     bool truncated = false);
// The same from a file's last `bytes` bytes; an absent file has no lines.
std::vector<std::string> readRecentLines(const std::string& path, std::size_t max,
                                         std::size_t bytes = kLogViewBytes);

class LogView : public QDialog {
    Q_OBJECT

  public:
    using DirectoryProvider = std::function<std::string()>;
    // The files offered, in the order of the file box.
    static const char* const kFiles[3];

    explicit LogView(DirectoryProvider dir, QWidget* parent = nullptr);

    // Reads the chosen file again.
    void reload();
    // The lines shown (after the search), top to bottom.
    QStringList shownLines() const;

    QComboBox* fileBox() const { return m_file; }
    QLineEdit* searchBox() const { return m_search; }
    QListView* list() const { return m_list; }
    QLabel* countLabel() const { return m_count; }

  private:
    // Lists the lines of the file read that the search keeps.
    void applySearch();
    void updateCount();

    DirectoryProvider m_dir;
    QComboBox* m_file = nullptr;
    QLineEdit* m_search = nullptr;
    QListView* m_list = nullptr;
    QStringListModel* m_lines = nullptr;
    QStringList m_read;  // every line read, newest first
    int m_matches = 0;   // lines of m_read the search keeps
    QLabel* m_count = nullptr;
    QPushButton* m_refresh = nullptr;
    QPushButton* m_close = nullptr;
};

}  // namespace replica::screens
