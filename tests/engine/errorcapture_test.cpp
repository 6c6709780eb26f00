#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/errorcapture.h"
#include "engine/logs.h"
#include "engine/sql.h"
#include "tests/support/recording_operator.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {

const char* kSchema =
    "CREATE TABLE REPLICA_EVENTOS (RPEV_ID INTEGER NOT NULL PRIMARY KEY, "
    "RPEV_ERROR VARCHAR(2048));"
    "INSERT INTO REPLICA_EVENTOS (RPEV_ID) VALUES (7);"
    "CREATE TABLE T (A INTEGER NOT NULL, B VARCHAR(10) NOT NULL, C VARCHAR(10), "
    "PRIMARY KEY (A));";

class ErrorCaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        conn = test::createDatabase(dir.file("c.fdb"), kSchema);
        db::Connection::setTraceHook(
            [this](const db::Connection&, const std::string& sql) { sent.push_back(sql); });
    }
    void TearDown() override { db::Connection::setTraceHook({}); }

    std::string storedError() {
        db::Query q(*conn);
        q.open("select RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = 7");
        return q.asText(0);
    }
    bool storedErrorIsNull() {
        db::Query q(*conn);
        q.open("select RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = 7");
        return q.isNull(0);
    }

    test::TempDir dir;
    std::unique_ptr<db::Connection> conn;
    std::vector<std::string> sent;
    test::RecordingOperator op;
    Logs logs{[this] { return dir.path(); }};
    ErrorCapture capture{op, logs};
};

// The file's line and the label name the document; the event's own row
// keeps the database's words only. The run goes on, and so does its
// progress panel.
TEST_F(ErrorCaptureTest, RefusedWriteIsRecordedOnEventFileAndScreen) {
    op.progressVisible = true;
    Event event;
    event.type = 11;
    event.prefix = "EI";
    event.number = "123";
    capture.setCurrent(Phase::Upload, conn.get(), 7, documentName(event));
    capture.ManejarError(true, nullptr, "it's refused by 'T'.");

    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(
        sent[0],
        "UPDATE REPLICA_EVENTOS SET RPEV_ERROR = 'it''s refused by ''T''.' where RPEV_ID = 7");
    EXPECT_EQ(storedError(), "it's refused by 'T'.");
    const std::string file = test::slurp(dir.file("errorenvio.txt"));
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.substr(10, 1), ",");
    EXPECT_EQ(file.substr(19), ",Documento tipo 11 EI 123: it's refused by 'T'.\n");
    EXPECT_EQ(op.lastError, "Ultimo error: Documento tipo 11 EI 123: it's refused by 'T'");
    EXPECT_EQ(op.beeps, 1);
    EXPECT_TRUE(op.progressVisible);
}

// A trigger's exception: the text written for the operator comes first on
// the label, not the exception's number and name.
TEST_F(ErrorCaptureTest, AnExceptionsOwnTextLeadsTheLabel) {
    conn->execute("create exception E_BODEGA_CERRADA 'La bodega está cerrada para salidas'");
    std::string message;
    try {
        conn->execute("execute block as begin exception E_BODEGA_CERRADA; end");
    } catch (const db::Error& e) {
        message = e.message();
    }
    ASSERT_EQ(message.rfind("exception ", 0), 0u) << message;
    capture.setCurrent(Phase::Upload, conn.get(), 7);
    capture.ManejarError(true, nullptr, message);
    EXPECT_EQ(
        op.lastError.rfind("Ultimo error: La bodega está cerrada para salidas (exception ", 0), 0u)
        << op.lastError;
    EXPECT_NE(op.lastError.find("E_BODEGA_CERRADA)"), std::string::npos) << op.lastError;
    EXPECT_EQ(storedError(), message);
}

// A log file that cannot be written loses its line, not the event's
// error: the database keeps what the next run and the monitors need.
TEST_F(ErrorCaptureTest, UnwritableLogStillRecordsTheErrorOnTheEvent) {
    Logs full([] { return std::string("/dev/null/not-a-directory"); });
    ErrorCapture onFullDisk{op, full};
    onFullDisk.setCurrent(Phase::Upload, conn.get(), 7);
    EXPECT_NO_THROW(onFullDisk.ManejarError(true, nullptr, "refused."));
    EXPECT_EQ(storedError(), "refused.");
    EXPECT_EQ(op.lastError, "Ultimo error: refused");
    EXPECT_NE(full.takeFailure().find("/dev/null/not-a-directory/errorenvio.txt"),
              std::string::npos);
}

TEST_F(ErrorCaptureTest, OutsideAPhaseNothingIsWrittenToADatabase) {
    capture.setCurrent(Phase::Download, conn.get(), 7);
    capture.clearCurrent();
    capture.ENoManejada("lost.");
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(storedErrorIsNull());
    EXPECT_EQ(op.lastError, "Ultimo error: lost");
    EXPECT_NE(test::slurp(dir.file("errorenvio.txt")).find(",lost.\n"), std::string::npos);
}

TEST_F(ErrorCaptureTest, ScreenTextTranslatesRecordSetRefusals) {
    db::RecordSet rs(*conn);
    rs.open("select * from T");
    rs.append();
    rs.set("C", db::Value("x"));
    std::string message;
    try {
        rs.post();
    } catch (const db::PostError& e) {
        message = e.message();
    }
    ASSERT_EQ(message.substr(0, 3), "Fie");
    EXPECT_EQ(ErrorCapture::screenText(false, &rs, message), "Los campos A, B,  son obligatorios.");
    EXPECT_EQ(ErrorCapture::screenText(false, &rs, "Key violation."),
              "Ya existe un registro con el mismo A, ");
    // Anything else from a record set shows nothing after the label.
    EXPECT_EQ(ErrorCapture::screenText(false, &rs, "key violation."), "");
    // A sender's message loses a final full stop or line break, and only
    // that: a database message ending in a letter keeps its last letter.
    struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Key violation.", "Ya existe un registro con la misma clave"},
        {"I/O error\nNo such file or directory", "I/O error\nNo such file or directory"},
        {"lock conflict on no wait transaction\n", "lock conflict on no wait transaction"},
        {"line\r", "line"},
        {"Año ñ", "Año ñ"},
        {".", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorCapture::screenText(true, &rs, c.message), c.shown) << c.message;
        EXPECT_EQ(ErrorCapture::screenText(true, nullptr, c.message), c.shown) << c.message;
    }

    capture.setCurrent(Phase::Download, conn.get(), 7);
    capture.ManejarClientError(rs, message);
    EXPECT_EQ(storedError(), message);
    EXPECT_EQ(op.lastError, "Ultimo error: Los campos A, B,  son obligatorios.");
}

TEST_F(ErrorCaptureTest, LongAndMultiLineMessagesStayStorableAndOneLine) {
    // 2100 two-byte characters: only the first 2048 fit RPEV_ERROR.
    std::string longMessage;
    for (int i = 0; i < 2100; ++i) {
        longMessage += "\xC3\xB1";
    }
    EXPECT_EQ(ErrorCapture::storedText(longMessage), longMessage.substr(0, 4096));
    EXPECT_EQ(ErrorCapture::storedText("abc"), "abc");

    capture.setCurrent(Phase::Upload, conn.get(), 7);
    capture.ManejarError(true, nullptr, longMessage);
    EXPECT_EQ(storedError(), longMessage.substr(0, 4096));

    const std::string multi =
        "violation of PRIMARY or UNIQUE KEY constraint\nProblematic key\r\nend";
    capture.ManejarError(true, nullptr, multi);
    EXPECT_EQ(storedError(), multi);
    const std::string file = test::slurp(dir.file("errorenvio.txt"));
    ASSERT_NE(file.find("constraint Problematic key end\n"), std::string::npos);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 2);
}

TEST_F(ErrorCaptureTest, ApplyFailureReachesTheCaptureWithTheRecordSet) {
    conn->execute("INSERT INTO T (A, B) VALUES (1, 'b')");
    db::RecordSet rs(*conn);
    rs.open("select * from T where A = 0");
    rs.append();
    rs.set("A", db::Value(1));
    rs.set("B", db::Value("dup"));
    rs.post();
    capture.setCurrent(Phase::Upload, conn.get(), 7);
    EXPECT_EQ(rs.apply(0, capture.applyCallback(rs)), 1);
    EXPECT_NE(storedError().find("PRIMARY"), std::string::npos);
    EXPECT_EQ(op.lastError.rfind("Ultimo error: Ya existe un registro con la misma clave en la "
                                 "tabla T",
                                 0),
              0u);
}

// The database's own refusals, as it words them, reach the operator in
// Spanish with the names they carry; any other message stays as it is.
TEST_F(ErrorCaptureTest, TheDatabasesCommonRefusalsAreShownInSpanish) {
    conn->execute(
        "CREATE TABLE M (K INTEGER NOT NULL PRIMARY KEY, S VARCHAR(3), N NUMERIC(4,2), "
        "CONSTRAINT CK_M_POSITIVO CHECK (K > 0))");
    conn->execute(
        "CREATE TABLE H (K INTEGER NOT NULL, CONSTRAINT FK_H_M FOREIGN KEY (K) "
        "REFERENCES M (K))");
    conn->execute("CREATE UNIQUE INDEX IX_T_B ON T (B)");
    conn->execute("INSERT INTO M (K) VALUES (1)");
    conn->execute("INSERT INTO H (K) VALUES (1)");
    conn->execute("INSERT INTO T (A, B) VALUES (1, 'b')");
    const struct {
        const char* sql;
        const char* shown;  // the start of the Spanish text
    } cases[] = {
        {"INSERT INTO M (K) VALUES (1)", "Ya existe un registro con la misma clave en la tabla M"},
        {"INSERT INTO T (A, B) VALUES (2, 'b')",
         "Ya existe un registro con el mismo valor en el índice único IX_T_B"},
        {"INSERT INTO H (K) VALUES (5)",
         "El registro de la tabla H hace referencia a uno que no "
         "existe (restricción FK_H_M)"},
        {"DELETE FROM M", "El registro de la tabla H no se puede borrar ni cambiar"},
        {"INSERT INTO M (K) VALUES (-1)",
         "La tabla M no admite esos valores: no cumplen la condición CK_M_POSITIVO"},
        {"INSERT INTO T (A) VALUES (3)", "El campo B de la tabla T es obligatorio"},
        {"INSERT INTO M (K, S) VALUES (2, 'abcd')", "Un texto es más largo"},
        {"INSERT INTO M (K, N) VALUES (3, 1234.5)", "Un número no cabe en su campo"},
    };
    for (const auto& c : cases) {
        std::string message;
        try {
            conn->execute(c.sql);
        } catch (const db::Error& e) {
            message = e.message();
        }
        ASSERT_FALSE(message.empty()) << c.sql;
        const std::string text = ErrorCapture::refusalText(message);
        EXPECT_EQ(text.rfind(c.shown, 0), 0u) << c.sql << "\n" << message << "\n" << text;
        EXPECT_EQ(ErrorCapture::screenText(true, nullptr, message), text);
    }
    // The key value the database names is kept.
    try {
        conn->execute("INSERT INTO M (K) VALUES (1)");
    } catch (const db::Error& e) {
        EXPECT_NE(ErrorCapture::refusalText(e.message()).find("= 1"), std::string::npos)
            << e.message();
    }
    for (const char* other : {"Dynamic SQL Error\n-SQL error code = -204\n-Table unknown", "",
                              "violation", "exception 1\n-E_BODEGA_CERRADA\n-La bodega"}) {
        EXPECT_EQ(ErrorCapture::refusalText(other), "") << other;
    }
}

TEST(Logs, AuditLineAndUnwritableFile) {
    test::TempDir dir;
    Logs logs([&] { return dir.path(); });
    EXPECT_EQ(logs.file("ENVIO.TXT"), dir.path() + "/ENVIO.TXT");
    logs.audit(12, 101, "A1000001");
    logs.setLastUploadQuery("select x");
    logs.audit(13, 236, "");
    const std::string text = test::slurp(dir.file("ENVIO.TXT"));
    const auto second = text.find('\n') + 1;
    EXPECT_EQ(text.substr(19, second - 19),
              ",12,101,A1000001,select * from replica_eventos where rpev_fecrep is null order by "
              "rpev_fecreg, rpev_horareg\n");
    EXPECT_EQ(text.substr(second + 19), ",13,236,,select x\n");

    // The run's own lines never throw: the first line lost is kept, with
    // the file and the system's reason, until the run takes it.
    Logs missing([&] { return dir.path() + "/no/such/folder"; });
    EXPECT_NO_THROW(missing.error("x"));
    EXPECT_NO_THROW(missing.audit(14, 11, "EN1"));
    EXPECT_EQ(missing.takeFailure(),
              "No se pudo abrir el archivo " + dir.path() +
                  "/no/such/folder/errorenvio.txt: No such file or directory");
    EXPECT_EQ(missing.takeFailure(), "");
    // append() is for callers that report the failure themselves.
    EXPECT_THROW(missing.append("ERRORES.TXT", "x"), std::runtime_error);
    EXPECT_EQ(missing.takeFailure(), "");
}

// Every line of a log stays one entry: a line an earlier writer left cut
// (a kill, a disk that filled) does not swallow the next one, and a line
// this writer could not finish is taken back.
TEST(Logs, LinesStayWholeAfterACutOrAFullDisk) {
    test::TempDir dir;
    Logs logs([&] { return dir.path(); });
    {
        std::ofstream cut(dir.file("errorenvio.txt"), std::ios::binary);
        cut << "2026-01-01,08:00:00,entera\n2026-01-01,08:00:01,cort";
    }
    logs.error("siguiente");
    const std::string repaired = test::slurp(dir.file("errorenvio.txt"));
    EXPECT_EQ(repaired.substr(0, 62),
              "2026-01-01,08:00:00,entera\n2026-01-01,08:00:01,cort\n" + sqlDate(today()));
    EXPECT_EQ(repaired.substr(repaired.size() - 11), ",siguiente\n");

    // A file that may grow by a few bytes only, as a full disk: the child
    // process's line does not fit and is taken back whole.
    const std::string before = test::slurp(dir.file("errorenvio.txt"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing
        const rlimit limit{static_cast<rlim_t>(before.size() + 10),
                           static_cast<rlim_t>(before.size() + 10)};
        setrlimit(RLIMIT_FSIZE, &limit);
        logs.error(std::string(200, 'x'));
        _exit(logs.takeFailure().find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(test::slurp(dir.file("errorenvio.txt")), before);
}

}  // namespace
