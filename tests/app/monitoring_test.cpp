// The agent's state file and what monitoring reads of it: the file as the
// agent and verify write it, read back without a database; the Nagios
// plugin line and the Prometheus exposition parsed as their consumers
// parse them; the journal's priorities.

#include "app/monitoring.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/journal.h"
#include "app/statefile.h"
#include "tests/support/erp.h"
#include "tests/support/program.h"
#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kNow = 1796950000;

AgentState sample() {
    AgentState s;
    s.version = "9.9.9";
    s.company = "001";
    s.written = Timestamp::at(kNow - 30);
    RunState run;
    run.started = Timestamp::at(kNow - 32);
    run.ended = Timestamp::at(kNow - 30);
    run.durationMs = 1234;
    run.exitStatus = kExitCompleted;
    run.outcome = outcomeWord(kExitCompleted);
    run.handled = 12;
    run.completed = 12;
    run.nextRunSeconds = 60;
    run.phases = {{"download", "002", "done", 10, 10, 10, 0, 0},
                  {"upload", "003", "unreachable", 0, 0, 0, 0, 0}};
    run.pending = {{"002", 3, 0, 120}, {"003", 5, 0, 600}, {"004", 0, 0, std::nullopt}};
    s.run = run;
    return s;
}

// "name=value[unit];;;0" by name.
std::map<std::string, std::string> perfdata(const std::string& line) {
    std::map<std::string, std::string> out;
    const std::size_t bar = line.find(" |");
    std::istringstream in(line.substr(bar + 2));
    const std::regex item(R"(([A-Za-z0-9_-]+)=(-?[0-9]+(?:\.[0-9]+)?)(s?);;;0)");
    for (std::string word; in >> word;) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(word, m, item)) << "perfdata item: " << word;
        out[m[1]] = m[2].str() + m[3].str();
    }
    return out;
}

// Checks line as a plugin's output and returns its status word.
std::string pluginWord(const PluginResult& r) {
    const std::regex shape(R"(^(OK|WARNING|CRITICAL|UNKNOWN) - [^|\n]+( \|[^|\n]*)?\n$)");
    std::smatch m;
    EXPECT_TRUE(std::regex_match(r.line, m, shape)) << r.line;
    return m.empty() ? "" : m[1].str();
}

TEST(StateFile, ReadsBackWhatItWroteAndRefusesWhatIsNotOne) {
    AgentState s = sample();
    s.run->pendingError = "Dynamic SQL Error\n-Table unknown";
    s.verify = VerifyState{Timestamp::at(kNow - 100), kVerifyDiffers, {40, 1, 0, 2}};
    // A later agent's keys are skipped.
    const AgentState back = parseStateFile(stateFileText(s) + "run.future=1 2 3\n");
    EXPECT_EQ(back.company, "001");
    EXPECT_EQ(back.written.seconds, kNow - 30);
    EXPECT_EQ(back.written.text, s.written.text);
    ASSERT_TRUE(back.run);
    EXPECT_EQ(back.run->durationMs, 1234);
    ASSERT_EQ(back.run->phases.size(), 2U);
    EXPECT_EQ(back.run->phases[1].company, "003");
    EXPECT_EQ(back.run->phases[1].outcome, "unreachable");
    ASSERT_EQ(back.run->pending.size(), 3U);
    EXPECT_EQ(back.run->pending[1].oldestAgeSeconds, 600);
    EXPECT_FALSE(back.run->pending[2].oldestAgeSeconds);
    EXPECT_EQ(back.run->pendingError, "Dynamic SQL Error -Table unknown");
    ASSERT_TRUE(back.verify);
    EXPECT_EQ(back.verify->counts.different, 2);

    // The offset is the machine's, written as ISO 8601 does.
    EXPECT_TRUE(std::regex_match(s.written.text,
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << s.written.text;

    const std::string good = stateFileText(sample());
    for (const std::string& bad :
         {std::string("company=001\n"), std::string(kStateFileHeader) + "\ncompany=001\n",
          std::regex_replace(good, std::regex("run.events=12"), "run.events=1x"),
          std::regex_replace(good, std::regex("run.ended=[^\n]*\n"), ""),
          std::regex_replace(good, std::regex("(run.phase=download[^\n]*) 0\n"), "$1\n")}) {
        EXPECT_THROW(parseStateFile(bad), std::runtime_error) << bad;
    }
}

TEST(StateFile, IsReplacedWholeAndKeepsWhatTheOtherWriterWrote) {
    test::TempDir dir;
    const std::string path = dir.file("state");
    const mode_t previous = ::umask(022);
    writeStateFile(path, sample());
    ::umask(previous);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640U);  // the group may read it, no one else
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1)
        << "a temporary file was left";

    // verify adds its counts, the agent its run: neither loses the other's.
    updateStateFile(path, "001", std::nullopt,
                    VerifyState{Timestamp::at(kNow), kVerifyAgrees, {7, 0, 0, 0}});
    AgentState s = readStateFile(path);
    ASSERT_TRUE(s.run && s.verify);
    EXPECT_EQ(s.run->durationMs, 1234);
    RunState next = *s.run;
    next.durationMs = 99;
    updateStateFile(path, "001", next, std::nullopt);
    s = readStateFile(path);
    ASSERT_TRUE(s.run && s.verify);
    EXPECT_EQ(s.run->durationMs, 99);
    EXPECT_EQ(s.verify->counts.equal, 7);
    // Another company's file is not mixed with this one's.
    updateStateFile(path, "002", std::nullopt, std::nullopt);
    EXPECT_FALSE(readStateFile(path).run);

    // Written by root (verify from a shell) into the service's directory, it
    // stays the service's: its group still reads it, the agent replaces it.
    if (::geteuid() == 0) {
        fs::create_directories(dir.file("service"));
        ASSERT_EQ(::chown(dir.file("service").c_str(), 61234, 61235), 0);
        writeStateFile(dir.file("service/state"), sample());
        ASSERT_EQ(::stat(dir.file("service/state").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 61234U);
        EXPECT_EQ(st.st_gid, 61235U);
    }

    EXPECT_THROW(writeStateFile(dir.file("missing/state"), sample()), std::runtime_error);
    EXPECT_THROW(readStateFile(dir.file("nothing")), std::runtime_error);
    EXPECT_EQ(stateFilePath("", "/run/replica/001:/run/other"), "/run/replica/001/state");
    EXPECT_EQ(stateFilePath("", nullptr), "");
    EXPECT_EQ(stateFilePath("/x", "/run/replica/001"), "/x");
}

// The agent and verify rewriting the file at one moment: each sees its own
// last figure kept whatever the other wrote since, the file is always whole,
// and a lock held too long is refused in bounded time.
TEST(StateFile, WritersAtOneMomentLoseNoUpdateAndALockHeldTooLongIsSaid) {
    test::TempDir dir;
    const std::string path = dir.file("state");
    writeStateFile(path, sample());
    constexpr int kRounds = 60;
    std::atomic<int> lost{0}, invalid{0};
    std::thread agent([&] {
        RunState run = *sample().run;
        for (int i = 1; i <= kRounds; ++i) {
            run.handled = i;
            updateStateFile(path, "001", run, std::nullopt);
            try {
                lost += readStateFile(path).run->handled < i;
            } catch (const std::exception&) {
                ++invalid;
            }
        }
    });
    for (int i = 1; i <= kRounds; ++i) {
        updateStateFile(path, "001", std::nullopt,
                        VerifyState{Timestamp::at(kNow), kVerifyAgrees, {i, 0, 0, 0}});
        try {
            const AgentState s = readStateFile(path);
            lost += !s.verify || s.verify->counts.equal < i;
        } catch (const std::exception&) {
            ++invalid;
        }
    }
    agent.join();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(invalid, 0);
    const AgentState last = readStateFile(path);
    EXPECT_EQ(last.run->handled, kRounds);
    EXPECT_EQ(last.verify->counts.equal, kRounds);

    const int held = ::open(stateLockPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto t0 = std::chrono::steady_clock::now();
    try {
        updateStateFile(path, "001", *sample().run, std::nullopt, std::chrono::milliseconds(200));
        ADD_FAILURE() << "written under another's lock";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no se pudo bloquear el archivo de estado"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    ::close(held);
    EXPECT_EQ(readStateFile(path).run->handled, kRounds);
}

TEST(Nagios, StatusFollowsTheWorstOfWhatTheFileSays) {
    struct Case {
        const char* name;
        void (*change)(AgentState&);
        int status;
    };
    const Case cases[] = {
        {"completed", [](AgentState&) {}, kNagiosOk},
        {"a failed event", [](AgentState& s) { s.run->exitStatus = kExitEventFailed; },
         kNagiosWarning},
        {"a pending event with an error", [](AgentState& s) { s.run->pending[0].failed = 1; },
         kNagiosWarning},
        {"verify differs",
         [](AgentState& s) {
             s.verify = VerifyState{s.written, kVerifyDiffers, {1, 1, 0, 0}};
         },
         kNagiosWarning},
        {"an outage beats a failed event",
         [](AgentState& s) {
             s.run->exitStatus = kExitOutage;
             s.run->pending[0].failed = 1;
         },
         kNagiosCritical},
        {"a configuration error", [](AgentState& s) { s.run->exitStatus = kExitConfiguration; },
         kNagiosCritical},
        // 3 × 60 s + 10 min: the agent stopped writing.
        {"stale", [](AgentState& s) { s.written.seconds = kNow - 781; }, kNagiosUnknown},
        {"not stale yet", [](AgentState& s) { s.written.seconds = kNow - 779; }, kNagiosOk},
        {"no run yet", [](AgentState& s) { s.run.reset(); }, kNagiosUnknown},
    };
    for (const Case& c : cases) {
        AgentState s = sample();
        c.change(s);
        const PluginResult r = nagiosCheck(s, "", kNow, std::nullopt);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.line;
        const char* words[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
        EXPECT_EQ(pluginWord(r), words[r.status]) << c.name;
    }
    // A timer that stopped writes no more: only a limit given makes it stale.
    AgentState stopped = sample();
    stopped.run->nextRunSeconds = 0;
    stopped.written.seconds = kNow - 86400;
    EXPECT_EQ(nagiosCheck(stopped, "", kNow, std::nullopt).status, kNagiosOk);
    EXPECT_EQ(nagiosCheck(stopped, "", kNow, 3600).status, kNagiosUnknown);
    const PluginResult missing = nagiosCheck(std::nullopt, "no se puede leer x", kNow, 60);
    EXPECT_EQ(missing.status, kNagiosUnknown);
    EXPECT_EQ(pluginWord(missing), "UNKNOWN");

    const std::map<std::string, std::string> p =
        perfdata(nagiosCheck(sample(), "", kNow, std::nullopt).line);
    EXPECT_EQ(p.at("age"), "30s");
    EXPECT_EQ(p.at("duration"), "1.234s");
    EXPECT_EQ(p.at("pending"), "8");
    EXPECT_EQ(p.at("oldest_pending_age"), "600s");  // the oldest of every destination
    EXPECT_EQ(p.at("pending_003"), "5");
}

// The text exposition format as a scraper reads it: every sample after its
// family's HELP and TYPE, each family once, valid names, labels quoted and
// escaped, values numbers, no sample twice. Returns value by "name{labels}".
std::map<std::string, double> parseExposition(const std::string& text) {
    const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) \S.*)");
    const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (gauge|counter|untyped))");
    const std::regex sample(
        R"(([a-zA-Z_:][a-zA-Z0-9_:]*)\{((?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\.)*",?)*)\} (\S+))");
    std::map<std::string, double> values;
    std::set<std::string> typed;
    std::string current;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, help)) {
            EXPECT_EQ(typed.count(m[1]), 0U) << "family given twice: " << m[1];
            current = m[1];
        } else if (std::regex_match(line, m, type)) {
            EXPECT_EQ(m[1], current) << line;
            typed.insert(m[1]);
        } else if (std::regex_match(line, m, sample)) {
            EXPECT_EQ(m[1], current) << "sample outside its family: " << line;
            EXPECT_EQ(typed.count(m[1]), 1U) << line;
            std::size_t used = 0;
            const double v = std::stod(m[3], &used);
            EXPECT_EQ(used, m[3].length()) << line;
            const std::string key = m[1].str() + "{" + m[2].str() + "}";
            EXPECT_EQ(values.count(key), 0U) << "sample twice: " << line;
            values[key] = v;
        } else {
            ADD_FAILURE() << "not exposition format: " << line;
        }
    }
    return values;
}

TEST(Prometheus, ExpositionParsesWithLabelsForPhaseAndCompany) {
    AgentState s = sample();
    s.version = "1.0 \"beta\"";  // quoted in a label as the format escapes it
    s.verify = VerifyState{Timestamp::at(kNow - 5), kVerifyDiffers, {40, 1, 0, 2}};
    const std::map<std::string, double> v = parseExposition(prometheusText(s));
    const std::string local = "local_company=\"001\"";
    EXPECT_EQ(v.at("replica_info{" + local + ",version=\"1.0 \\\"beta\\\"\"}"), 1);
    EXPECT_EQ(v.at("replica_last_run_duration_seconds{" + local + "}"), 1.234);
    EXPECT_EQ(v.at("replica_last_run_success{" + local + "}"), 1);
    EXPECT_EQ(v.at("replica_phase_events{" + local +
                   ",phase=\"download\",company=\"002\",state=\"completed\"}"),
              10);
    EXPECT_EQ(v.at("replica_phase_outcome{" + local +
                   ",phase=\"upload\",company=\"003\",outcome=\"unreachable\"}"),
              1);
    EXPECT_EQ(v.at("replica_oldest_pending_age_seconds{" + local + ",company=\"003\"}"), 600);
    EXPECT_EQ(v.count("replica_oldest_pending_age_seconds{" + local + ",company=\"004\"}"), 0U);
    EXPECT_EQ(v.at("replica_verify_documents{" + local + ",finding=\"different\"}"), 2);
    EXPECT_EQ(v.at("replica_state_written_timestamp_seconds{" + local + "}"), kNow - 30);
}

TEST(Journal, OnlyTheStreamSystemdNamesIsTheJournal) {
    test::TempDir dir;
    std::ofstream(dir.file("a")) << "";
    std::FILE* file = std::fopen(dir.file("a").c_str(), "r");
    ASSERT_TRUE(file);
    struct stat st {};
    ASSERT_EQ(::fstat(fileno(file), &st), 0);
    const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    EXPECT_TRUE(isJournal(fileno(file), stream.c_str()));
    for (const std::string& other :
         {std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino + 1), std::string(""),
          std::to_string(st.st_dev), stream + "x", ":" + std::to_string(st.st_ino),
          std::string("99999999999999999999999:1")}) {
        EXPECT_FALSE(isJournal(fileno(file), other.c_str())) << other;
    }
    EXPECT_FALSE(isJournal(fileno(file), nullptr));
    std::fclose(file);
}

// The built program: the agent writes the file, status reads it with no
// database or password, verify adds its counts. Company 001 uploads to 002;
// its events for 004 (no server row) stay pending.
class StateFileProgram : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        const std::string datos = dir.file("datos");
        for (const char* c : {"001", "002"}) {
            fs::create_directories(datos + "/" + c);
        }
        auto general = test::createGeneral(datos + "/general.fdb");
        general->execute("insert into COMPANIA (COMP_COD, COM_NOMBRE) values ('001', 'Norte')");
        general->close();
        auto local = test::createCompany(datos + "/001/norvale.fdb");
        test::configureReplication(*local, {{.code = "002", .server = dir.path(), .name = "Sur"}});
        // Type 999 has no family: marked replicated, nothing copied.
        for (const char* company : {"002", "002", "002", "004"}) {
            local->execute(
                "insert into REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_CODIGO, "
                "RPEV_FECREG, RPEV_HORAREG, RPEV_OPER) values ('" +
                std::string(company) + "', 999, 'X', CURRENT_DATE - 1, CURRENT_TIME, 'I')");
        }
        local->close();
        test::createCompany(datos + "/002/norvale.fdb")->close();
    }
    std::string connection() const { return "'" + dir.path() + "' SYSDBA masterkey 001"; }
    test::ProgramResult run(const std::string& args, const std::string& environment = {}) {
        return test::runProgram(dir.path(), args, dir.file("output.txt"), environment);
    }
};

TEST_F(StateFileProgram, AgentWritesItStatusReadsItVerifyAddsToIt) {
    const std::string state = dir.file("state");
    // The runtime directory systemd gives the service is the default place.
    const test::ProgramResult agent =
        run("--headless --once " + connection(), "RUNTIME_DIRECTORY='" + dir.path() + "'");
    ASSERT_EQ(agent.status, 0) << agent.output;

    const test::ProgramResult nagios = run("status --from-file '" + state + "' --nagios");
    EXPECT_EQ(nagios.status, kNagiosOk) << nagios.output;
    const std::map<std::string, std::string> p = perfdata(nagios.output);
    EXPECT_EQ(p.at("completed"), "3") << nagios.output;
    EXPECT_EQ(p.at("failed"), "0");
    EXPECT_EQ(p.at("pending_004"), "1");
    EXPECT_GE(std::stol(p.at("oldest_pending_age")), 86400 - 60);

    const test::ProgramResult prom = run("status --from-file '" + state + "' --prometheus");
    EXPECT_EQ(prom.status, 0);
    const std::map<std::string, double> v = parseExposition(prom.output);
    EXPECT_EQ(v.at("replica_phase_events{local_company=\"001\",phase=\"upload\",company="
                   "\"002\",state=\"completed\"}"),
              3)
        << prom.output;

    EXPECT_EQ(run("verify --state-file '" + state + "' " + connection()).status, kVerifyAgrees);
    const test::ProgramResult json = run("status --from-file '" + state + "' --json");
    EXPECT_EQ(json.status, 0);
    QJsonParseError error{};
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray::fromStdString(json.output), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.output;
    EXPECT_EQ(o["company"].toString(), "001");
    EXPECT_EQ(o["last_run"].toObject()["completed"].toInt(), 3) << json.output;
    const QJsonArray phases = o["last_run"].toObject()["phases"].toArray();
    ASSERT_EQ(phases.size(), 3) << json.output;  // the download, 002, 004
    EXPECT_EQ(phases[2].toObject()["outcome"].toString(), "no_server");
    EXPECT_EQ(o["written"].toString().toStdString(), readStateFile(state).written.text);
    EXPECT_EQ(o["verify"].toObject()["exit_status"].toInt(), kVerifyAgrees) << json.output;
    EXPECT_TRUE(o["verify"].toObject()["equal"].isDouble()) << json.output;

    EXPECT_EQ(run("status --from-file '" + dir.file("none") + "' --nagios").status, kNagiosUnknown);
    EXPECT_EQ(run("status --from-file '" + dir.file("none") + "'").status, kStatusCannotConnect);
    // A plugin used wrongly is UNKNOWN, not CRITICAL.
    EXPECT_EQ(run("status --nagios " + connection()).status, kNagiosUnknown);
    EXPECT_EQ(run("status --from-file x " + connection()).status, kExitNotStarted);

    // A file that cannot be written is said, and the run is not disturbed.
    const test::ProgramResult lost =
        run("--headless --once --state-file '" + dir.file("no/state") + "' " + connection());
    EXPECT_EQ(lost.status, 0) << lost.output;
    EXPECT_NE(lost.output.find(dir.file("no/state")), std::string::npos) << lost.output;
}

TEST_F(StateFileProgram, JournalLinesCarryPrioritiesAndNoStamp) {
    const std::string out = dir.file("output.txt");
    std::ofstream(out) << "";  // the shell's redirection keeps this inode
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    const test::ProgramResult journal =
        run("--headless --once " + connection(), "JOURNAL_STREAM=" + stream);
    ASSERT_EQ(journal.status, 0) << journal.output;
    std::istringstream lines(journal.output);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, std::regex("<[346]>.*"))) << line;
        EXPECT_FALSE(test::startsWithStamp(line.substr(3))) << line;
    }
    // A company that does not exist is an error the journal keeps as one.
    const test::ProgramResult wrong = run(
        "--headless --once '" + dir.path() + "' SYSDBA masterkey 009", "JOURNAL_STREAM=" + stream);
    EXPECT_NE(wrong.output.find("<3>La compañía 009 no existe"), std::string::npos) << wrong.output;

    // Elsewhere (a terminal, a file) the lines keep their stamp.
    const test::ProgramResult file = run("--headless --once " + connection(), "JOURNAL_STREAM=1:1");
    EXPECT_TRUE(test::startsWithStamp(file.output)) << file.output;
}

}  // namespace
}  // namespace replica::app
