#include "screens/logview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace replica::screens {
namespace {

using Lines = std::vector<std::string>;

TEST(RecentLines, NewestFirstLimitedAndWithoutBreaks) {
    struct {
        const char* what;
        std::string bytes;
        std::size_t max;
        bool truncated;
        Lines expected;
    } cases[] = {
        {"empty", "", 10, false, {}},
        {"LF lines", "a\nb\nc\n", 10, false, {"c", "b", "a"}},
        {"CR LF lines", "a\r\nb\r\n", 10, false, {"b", "a"}},
        {"last line still being written", "a\nb", 10, false, {"b", "a"}},
        {"only the newest", "a\nb\nc\n", 2, false, {"c", "b"}},
        {"an empty line is a line", "a\n\nc\n", 10, false, {"c", "", "a"}},
        {"tail of a longer file: first line partial", "rtial\nb\nc\n", 10, true, {"c", "b"}},
        {"tail without a whole line", "partial", 10, true, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recentLines(c.bytes, c.max, c.truncated), c.expected) << c.what;
    }
}

TEST(RecentLines, AFileLargerThanTheTailReadsOnlyWholeLines) {
    test::TempDir dir;
    const std::string path = dir.file("ENVIO.TXT");
    {
        std::ofstream out(path, std::ios::binary);
        const std::string filler(999, 'x');
        for (std::size_t written = 0; written <= kLogViewBytes; written += 1000) {
            out << filler << "\n";
        }
        out << "ultima\n";
    }
    const Lines lines = readRecentLines(path, kLogViewLines);
    ASSERT_EQ(lines.size(), kLogViewLines);
    EXPECT_EQ(lines.front(), "ultima");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 999u) << i;
    }
    EXPECT_TRUE(readRecentLines(dir.file("absent.txt"), 10).empty());
}

TEST(LogViewScreen, ShowsTheChosenFileNewestFirstAndSearchesWithoutCase) {
    test::TempDir dir;
    std::ofstream(dir.file("errorenvio.txt"), std::ios::binary)
        << "2026-05-01,08:00:00,No se pudo conectar con el servidor /srv/002\n"
           "2026-05-01,08:05:00,violation of PRIMARY KEY\n"
           "2026-05-02,09:00:00,Año ñandú\n";
    LogView view([&] { return dir.path(); });
    EXPECT_EQ(view.windowTitle(), "Registros");
    EXPECT_EQ(view.fileBox()->currentText(), "errorenvio.txt");
    EXPECT_EQ(view.shownLines(),
              QStringList({QString::fromUtf8("2026-05-02,09:00:00,Año ñandú"),
                           "2026-05-01,08:05:00,violation of PRIMARY KEY",
                           "2026-05-01,08:00:00,No se pudo conectar con el servidor /srv/002"}));
    view.searchBox()->setText("SERVIDOR");
    EXPECT_EQ(view.shownLines(),
              QStringList({"2026-05-01,08:00:00,No se pudo conectar con el servidor /srv/002"}));
    EXPECT_EQ(view.countLabel()->text(), QString::fromUtf8("1 de 3 líneas recientes"));

    // The other file, read when chosen; the search still applies.
    std::ofstream(dir.file("ENVIO.TXT"), std::ios::binary) << "2026-05-02,10:00:00,7,11,EI12,x\n";
    view.fileBox()->setCurrentIndex(1);
    EXPECT_TRUE(view.shownLines().isEmpty());
    view.searchBox()->clear();
    EXPECT_EQ(view.shownLines(), QStringList({"2026-05-02,10:00:00,7,11,EI12,x"}));

    // Lines appended meanwhile appear on reload, on top.
    std::ofstream(dir.file("ENVIO.TXT"), std::ios::binary | std::ios::app)
        << "2026-05-02,10:01:00,8,11,EI13,x\n";
    view.reload();
    EXPECT_EQ(view.shownLines().front(), "2026-05-02,10:01:00,8,11,EI13,x");

    LogView empty([&] { return dir.file("nowhere"); });
    EXPECT_TRUE(empty.shownLines().isEmpty());
    EXPECT_EQ(empty.countLabel()->text(), QString::fromUtf8("El archivo no tiene líneas."));
}

// The view is where an operator looks for an old failure: the search goes
// past the lines listed, ERRORES.TXT (outages) is one of the files, and a
// long line is shown whole, scrolled rather than cut.
TEST(LogViewScreen, SearchesTheWholeFileAndShowsLongLinesWhole) {
    test::TempDir dir;
    {
        std::ofstream out(dir.file("ENVIO.TXT"), std::ios::binary);
        out << "2026-01-01,00:00:00,la mas antigua," << std::string(3000, 'z') << "\n";
        for (std::size_t i = 0; i < kLogViewLines + 500; ++i) {
            out << "2026-05-01,08:00:00," << i << "\n";
        }
    }
    std::ofstream(dir.file("ERRORES.TXT"), std::ios::binary)
        << "2026-05-01,08:00:00,Error writing data to the connection\n";
    LogView view([&] { return dir.path(); });
    view.resize(600, 400);
    view.fileBox()->setCurrentIndex(view.fileBox()->findText("ENVIO.TXT"));
    EXPECT_EQ(static_cast<std::size_t>(view.shownLines().size()), kLogViewLines);
    EXPECT_EQ(view.countLabel()->text(),
              QString::fromUtf8("Las 2000 líneas más recientes de 2501"));
    view.searchBox()->setText("MAS ANTIGUA");
    ASSERT_EQ(view.shownLines().size(), 1);
    EXPECT_EQ(view.shownLines().front().size(), 3000 + 35);
    view.show();
    QApplication::processEvents();
    EXPECT_GT(view.list()->horizontalScrollBar()->maximum(), 1000);

    view.fileBox()->setCurrentIndex(view.fileBox()->findText("ERRORES.TXT"));
    view.searchBox()->clear();
    EXPECT_EQ(view.shownLines(),
              QStringList({"2026-05-01,08:00:00,Error writing data to the connection"}));
}

}  // namespace
}  // namespace replica::screens
