#include "app/commandline.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/appdir.h"
#include "app/headless.h"
#include "app/session.h"

namespace replica::app {
namespace {

TEST(CommandLine, PositionsKeepTheirMeaningWhereverTheOptionsStand) {
    const CommandLine cl =
        parseCommandLine({"srv", "--once", "usr", "pw", "001", "1", "--headless", "other"});
    EXPECT_TRUE(cl.once);
    EXPECT_TRUE(cl.headless);
    EXPECT_EQ(cl.server, "srv");
    EXPECT_EQ(cl.user, "usr");
    EXPECT_EQ(cl.password, "pw");
    EXPECT_EQ(cl.company, "001");
    EXPECT_EQ(cl.skipErrors, "1");
    EXPECT_EQ(cl.serverOverride, "other");
    EXPECT_TRUE(cl.commandLineMode());
    EXPECT_TRUE(cl.error.empty());
}

TEST(CommandLine, ValuesThatLookLikeOptions) {
    // A password may begin with a dash; after "--" even "--once" is a value.
    CommandLine cl = parseCommandLine({"srv", "usr", "-secreto", "001"});
    EXPECT_EQ(cl.password, "-secreto");
    EXPECT_TRUE(cl.error.empty());
    cl = parseCommandLine({"--once", "--", "srv", "usr", "--headless", "001"});
    EXPECT_TRUE(cl.once);
    EXPECT_FALSE(cl.headless);
    EXPECT_EQ(cl.password, "--headless");
    // An empty company (a script passing "") is not command-line mode.
    cl = parseCommandLine({"srv", "usr", "pw", ""});
    EXPECT_FALSE(cl.commandLineMode());
    cl = parseCommandLine({"a", "b", "c", "d", "e", "f", "g"});
    EXPECT_EQ(cl.serverOverride, "f");
    EXPECT_EQ(cl.ignored, std::vector<std::string>{"g"});
}

// What a mistyped command line looks like is refused as such, not taken for
// a server to log in to.
TEST(CommandLine, MistakesAreNotTakenForAServer) {
    for (const char* word : {"-v", "-x", "-version"}) {
        const CommandLine cl = parseCommandLine({word});
        EXPECT_EQ(cl.error, std::string("opción desconocida: ") + word);
    }
    EXPECT_TRUE(parseCommandLine({"-V"}).version);
    EXPECT_TRUE(parseCommandLine({"help"}).help);
    // "help" elsewhere is a value like any other.
    EXPECT_EQ(parseCommandLine({"srv", "help"}).user, "help");
    // After "--" a server may be anything.
    EXPECT_EQ(parseCommandLine({"--", "-srv"}).server, "-srv");
}

// The toolkit's options belong to the window: taken out, in either
// spelling, with their values, before the rest is checked.
TEST(CommandLine, ToolkitOptionsAreLeftToTheWindow) {
    const std::vector<std::string> args = {
        "-platform", "offscreen", "srv", "--style=Fusion", "-reverse", "usr", "--", "-style", "x"};
    EXPECT_EQ(withoutToolkitOptions(args),
              (std::vector<std::string>{"srv", "usr", "--", "-style", "x"}));
    const CommandLine cl = parseCommandLine(withoutToolkitOptions({"-platform", "offscreen"}));
    EXPECT_TRUE(cl.error.empty()) << cl.error;
    EXPECT_TRUE(cl.server.empty());
    EXPECT_EQ(parseCommandLine(withoutToolkitOptions({"--bogus", "-style", "Fusion"})).error,
              "opción desconocida: --bogus");
}

// Every field of the main screen has its option; "--name VALUE" and
// "--name=VALUE" are the same.
TEST(CommandLine, FieldOptionsInBothSpellings) {
    for (const bool inlineValue : {false, true}) {
        SCOPED_TRACE(inlineValue);
        auto opt = [&](const std::string& name, const std::string& value) {
            return inlineValue ? std::vector<std::string>{name + "=" + value}
                               : std::vector<std::string>{name, value};
        };
        std::vector<std::string> args = {"--headless", "--newest-first", "--no-retry",
                                         "--atomic-documents"};
        for (const auto& part :
             {opt("--prefix", "FV"), opt("--download-count", "5"), opt("--upload-count", "7"),
              opt("--frequency", "15"), opt("--branch", "Centro"), opt("--server", "srv"),
              opt("--user", "usr"), opt("--company", "001"), opt("--password-file", "/run/p"),
              opt("--server-override", "other")}) {
            args.insert(args.end(), part.begin(), part.end());
        }
        const CommandLine cl = parseCommandLine(args);
        ASSERT_EQ(cl.error, "");
        EXPECT_EQ(cl.prefix, "FV");
        EXPECT_EQ(cl.downloadCount, "5");
        EXPECT_EQ(cl.uploadCount, "7");
        EXPECT_EQ(cl.frequency, "15");
        EXPECT_EQ(cl.branch, "Centro");
        EXPECT_TRUE(cl.newestFirst);
        EXPECT_TRUE(cl.atomicDocuments);
        EXPECT_TRUE(fieldsFrom(cl).atomicDocuments);
        EXPECT_TRUE(cl.skipErrorsChecked());
        EXPECT_EQ(cl.passwordFile, "/run/p");
        // The named forms fill the positional values the window reads.
        const CommandLine positional =
            parseCommandLine({"--headless", "srv", "usr", "", "001", "1", "other"});
        EXPECT_EQ(cl.server, positional.server);
        EXPECT_EQ(cl.user, positional.user);
        EXPECT_EQ(cl.company, positional.company);
        EXPECT_EQ(cl.skipErrors, positional.skipErrors);
        EXPECT_EQ(cl.serverOverride, positional.serverOverride);
    }
    // The window takes its fields from the screen, not from these.
    EXPECT_EQ(parseCommandLine({"--prefix", "", "--frequency", "0", "s", "u", "p", "1"})
                  .windowIgnoredOptions(),
              (std::vector<std::string>{"--prefix", "--frequency"}));
}

TEST(CommandLine, BadValuesAndCombinationsAreRefusedWithTheirReason) {
    const std::string start[] = {"--headless", "srv", "usr", "pw", "001"};
    struct Case {
        std::vector<std::string> extra;
        std::string message;  // the whole error, or its beginning
    } cases[] = {
        {{"--download-count", "abc"},
         "--download-count 'abc': El valor de \"Operaciones a traer:\" debe ser un número entero."},
        {{"--download-count", "-5"}, "--download-count '-5': "},
        {{"--download-count", "2147483648"},
         "--download-count '2147483648': El valor de \"Operaciones a traer:\" no puede pasar "
         "de 2147483647."},
        {{"--upload-count=1.5"},
         "--upload-count '1.5': El valor de \"Operaciones a enviar:\" debe ser un número entero."},
        {{"--upload-count", " 5"}, "--upload-count ' 5': "},
        {{"--frequency", "35792"},
         "--frequency '35792': El valor de \"Frecuencia:\" debe ser un número entero de minutos, "
         "de 0 a 35791."},
        {{"--frequency", "uno"}, "--frequency 'uno': "},
        {{"--download-count"}, "--download-count necesita un valor"},
        {{"--branch="}, "--branch necesita un valor"},
        {{"--once=yes"}, "--once no lleva valor"},
        {{"--fast"}, "opción desconocida: --fast"},
        {{"--company", "002"}, "la compañía se indica dos veces (argumento y --company)"},
        {{"--server", "srv"}, "el servidor se indica dos veces (argumento y --server)"},
        {{"--password-file", "/p"}, "la clave se indica dos veces (argumento y --password-file)"},
        {{"--json"}, "--json solo se usa con status"},
        {{"--branch", "A", "--branch", "B"}, "--branch se indica dos veces"},
        {{"--timeout", "5", "--timeout=5"}, "--timeout se indica dos veces"},
        {{"--timeout", "0"},
         "--timeout '0': El tiempo de espera debe ser un número entero de segundos, de 1 a "
         "86400."},
        {{"--timeout=86401"}, "--timeout '86401': "},
        {{"--timeout", "3m"}, "--timeout '3m': "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args(std::begin(start), std::end(start));
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(c.extra[0]);
        const CommandLine cl = parseCommandLine(args);
        EXPECT_EQ(cl.error.substr(0, c.message.size()), c.message);
    }
    // The largest values the run takes are taken.
    const CommandLine limits =
        parseCommandLine({"--headless", "srv", "usr", "pw", "001", "--download-count", "2147483647",
                          "--upload-count", "0", "--frequency", "35791"});
    EXPECT_EQ(limits.error, "");

    EXPECT_EQ(parseCommandLine({"--headless", "--company", "001"}).error,
              "--headless necesita el servidor y la compañía (argumentos 1 y 4, o --server y "
              "--company)");
    EXPECT_EQ(parseCommandLine({"status", "--once", "srv", "u", "p", "001"}).error,
              "--once no se usa con status");
    EXPECT_EQ(parseCommandLine({"status", "--prefix", "FV", "srv", "u", "p", "001"}).error,
              "--prefix no se usa con status");
    const CommandLine status = parseCommandLine(
        {"status", "--json", "--server=srv", "--company=001", "--user", "u", "--timeout", "86400"});
    EXPECT_EQ(status.error, "");
    EXPECT_EQ(status.timeout, 86400);
    EXPECT_EQ(parseCommandLine({"--headless", "srv", "u", "p", "001", "--timeout=1"}).timeout, 1);
    EXPECT_EQ(parseCommandLine({"--headless", "srv", "u", "p", "001"}).timeout, std::nullopt);
    EXPECT_EQ(status.command, CommandLine::Command::Status);
    EXPECT_TRUE(status.json);
    // "status" is a command only as the first word.
    EXPECT_EQ(parseCommandLine({"srv", "status"}).command, CommandLine::Command::Agent);
}

TEST(CommandLine, PositionalPasswordIsFoundPastOptionValues) {
    EXPECT_EQ(positionalPasswordIndex({"--prefix", "FV", "srv", "--frequency=5", "usr", "pw"}), 5);
    EXPECT_EQ(positionalPasswordIndex({"status", "srv", "usr", "pw", "001"}), 3);
    EXPECT_EQ(positionalPasswordIndex({"--server", "srv", "usr"}), -1);
    EXPECT_EQ(positionalPasswordIndex({"a", "b", "--", "--c"}), 3);
}

// The help names each option with the screen field it stands for, on the
// option's own line.
TEST(CommandLine, HelpNamesTheFieldOfEachOption) {
    const std::string help = usageText();
    const std::pair<const char*, const char*> fields[] = {
        {"--server TEXT", "\"Servidor :\""},
        {"--user NAME", "\"Usuario :\""},
        {"--password-file FILE", "\"Clave :\""},
        {"--company CODE", "\"Compañía Local:\""},
        {"--prefix P", "\"Prefijo a enviar:\""},
        {"--download-count N", "\"Operaciones a traer:\""},
        {"--upload-count N", "\"Operaciones a enviar:\""},
        {"--frequency MIN", "\"Frecuencia:\""},
        {"--newest-first", "\"Enviar lo más reciente primero\""},
        {"--atomic-documents", "\"Documentos completos (todo o nada)\""},
        {"--no-retry", "\"No reintentar errores\""},
        {"--branch NAME", "\"Agencia:\""},
    };
    for (const auto& [option, field] : fields) {
        const std::size_t at = help.find("  " + std::string(option) + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const std::string line = help.substr(at, help.find('\n', at) - at);
        EXPECT_NE(line.find(field), std::string::npos) << line;
    }
}

// --help is written from the table of options: no entry may push a line
// past a terminal's 80 columns (counted in characters, not bytes).
TEST(CommandLine, HelpFitsEightyColumns) {
    const std::string help = usageText();
    std::size_t from = 0;
    while (from < help.size()) {
        const std::size_t end = help.find('\n', from);
        const std::string line = help.substr(from, end - from);
        std::size_t characters = 0;
        for (const char c : line) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        EXPECT_LE(characters, 80u) << line;
        from = end == std::string::npos ? help.size() : end + 1;
    }
}

// The man page's option entries come from the same table: each group
// where its marker line stands, every option of --help named with troff's
// minus ("\-"; a bare "-" is a hyphen, which a copied option would not
// match), and a page that lost or repeats a marker is refused rather than
// installed without its options.
TEST(CommandLine, ManPageTakesTheOptionsOfHelpAtItsMarkers) {
    const std::string connection = ".\\\" options: connection\n";
    const std::string fields = ".\\\" options: fields\n";
    const std::string modes = ".\\\" options: modes\n";
    const std::string page = "before\n" + connection + "between\n" + fields + modes + "after\n";
    const std::string filled = fillManPageOptions(page);
    EXPECT_EQ(filled.rfind("before\n.TP\n", 0), 0u);
    EXPECT_NE(filled.find("\nbetween\n.TP\n"), std::string::npos);
    EXPECT_EQ(filled.substr(filled.size() - 7), "\nafter\n");
    EXPECT_EQ(filled.find("options:"), std::string::npos);

    std::vector<std::string> heads;  // the line after each .TP
    for (std::size_t at = filled.find(".TP\n"); at != std::string::npos;
         at = filled.find(".TP\n", at + 1)) {
        const std::size_t begin = at + 4;
        heads.push_back(filled.substr(begin, filled.find('\n', begin) - begin));
    }
    for (const std::string& head : heads) {
        EXPECT_EQ(head.rfind(".B", 0), 0u) << head;
        for (std::size_t i = 0; i < head.size(); ++i) {
            EXPECT_FALSE(head[i] == '-' && (i == 0 || head[i - 1] != '\\')) << head;
        }
    }
    const std::string help = usageText();
    std::size_t options = 0;
    for (std::size_t at = help.find("\n  --"); at != std::string::npos;
         at = help.find("\n  --", at + 1)) {
        const std::string name = help.substr(at + 3, help.find_first_of(" ,\n", at + 3) - at - 3);
        std::string troff;
        for (const char c : name) {
            troff += c == '-' ? "\\-" : std::string(1, c);
        }
        const bool named = std::any_of(heads.begin(), heads.end(), [&](const std::string& h) {
            return h.find(" " + troff + " ") != std::string::npos || h.ends_with(" " + troff);
        });
        EXPECT_TRUE(named) << name;
        ++options;
    }
    EXPECT_EQ(heads.size(), options + 1);  // and "status"

    for (const std::string& bad :
         {"before\n" + connection + modes, page + fields, page + ".\\\" options: extras\n"}) {
        EXPECT_THROW(fillManPageOptions(bad), std::invalid_argument) << bad;
    }
}

// The installation's settings in a folder of their own, as XDG_CONFIG_DIRS
// names it for the length of a test.
class InstallationSettings {
  public:
    InstallationSettings() {
        QDir().mkpath(m_dir.path() + "/QTX");
        const char* old = std::getenv("XDG_CONFIG_DIRS");
        m_old = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_DIRS", ("/nonexistent:" + m_dir.path()).toStdString().c_str(), 1);
    }
    ~InstallationSettings() {
        if (m_old) {
            setenv("XDG_CONFIG_DIRS", m_old->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_DIRS");
        }
    }
    QString file() const { return m_dir.path() + "/QTX/NorvaleERP2026.conf"; }
    void write(const QByteArray& text) const {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

  private:
    QTemporaryDir m_dir;
    std::optional<std::string> m_old;
};

TEST(ApplicationDirectory, EnvironmentReplacesTheSettingAndAbsenceIsReported) {
    InstallationSettings settings;
    std::vector<std::string> told;
    auto notify = [&](const std::string& m) { told.push_back(m); };

    setenv(kDirectoryEnvironment, "/srv/replica", 1);
    EXPECT_EQ(applicationDirectory(notify), "/srv/replica");
    EXPECT_TRUE(told.empty());

    // An empty variable is treated as unset; the file that lacks the
    // setting is named (the first folder that has one).
    setenv(kDirectoryEnvironment, "", 1);
    EXPECT_EQ(applicationDirectory(notify), "");
    settings.write("[General]\nEsperaServidor=5\n");
    EXPECT_EQ(applicationDirectory(notify), "");
    unsetenv(kDirectoryEnvironment);
    EXPECT_EQ(told, (std::vector<std::string>{
                        std::string(kMissingDirectoryMessage) + "/nonexistent/" + kSettingsFile,
                        kMissingDirectoryMessage + settings.file().toStdString()}));
}

// The settings file as the toolkit writes it (the window's settings editor
// and an administrator's tools may): the agent, which links no toolkit,
// reads back every value the same.
TEST(ApplicationDirectory, ReadsWhatTheToolkitWrites) {
    InstallationSettings settings;
    const std::vector<std::string> values = {
        "/srv/erp",
        "  /srv/con blancos  ",
        "C:\\ERP\\datos",
        "/a;b",
        "@principio",
        "dice \"hola\"",
        "a,b",
        "",
    };
    for (const std::string& value : values) {
        {
            QSettings writer(settings.file(), QSettings::IniFormat);
            writer.setValue("Otra/Directorio", "/no/este");
            writer.setValue("Directorio", QString::fromStdString(value));
        }
        EXPECT_EQ(installationSetting("Directorio"), value);
    }
    settings.write("Directorio=/antes\n[Otra]\nDirectorio=/no\n");
    EXPECT_EQ(installationSetting("Directorio"), "/antes");
    EXPECT_EQ(installationSetting("EsperaServidor"), std::nullopt);
}

// The time limit of the connections: the option, else the installation
// setting next to Directorio, else three minutes; a setting that is no
// whole number of seconds in range is named and not used.
TEST(DatabaseTimeout, OptionThenSettingThenDefault) {
    InstallationSettings settings;
    std::vector<std::string> told;
    auto notify = [&](const std::string& m) { told.push_back(m); };
    auto setting = [&](const char* value) {
        settings.write(QByteArray("[General]\nEsperaServidor=") + value + "\n");
    };

    EXPECT_EQ(databaseTimeout(std::nullopt, notify), std::chrono::seconds(180));
    setting("45");
    EXPECT_EQ(databaseTimeout(std::nullopt, notify), std::chrono::seconds(45));
    EXPECT_EQ(databaseTimeout(10, notify), std::chrono::seconds(10));
    EXPECT_TRUE(told.empty());
    for (const char* bad : {"0", "tres", "90000", "45s"}) {
        setting(bad);
        EXPECT_EQ(databaseTimeout(std::nullopt, notify), std::chrono::seconds(180));
    }
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[1],
              "EsperaServidor 'tres': El tiempo de espera debe ser un número entero de segundos, "
              "de 1 a 86400. Se usan 180.");

    // The compression setting beside it: S or N, anything else named.
    told.clear();
    EXPECT_FALSE(wireCompression(notify));  // absent
    const auto compression = [&](const char* value) {
        settings.write(QByteArray("[General]\nCompresionRed=") + value + "\n");
    };
    compression("s");
    EXPECT_TRUE(wireCompression(notify));
    compression("  N");
    EXPECT_FALSE(wireCompression(notify));
    EXPECT_TRUE(told.empty());
    compression("si");
    EXPECT_FALSE(wireCompression(notify));
    EXPECT_EQ(told, std::vector<std::string>{"CompresionRed 'SI': debe ser S o N. Se usa N."});
}

// A run's outcome as one number: an outage before a failed event before
// lost log lines.
TEST(ExitStatus, OutageFirstThenFailedEventsThenLostLogLines) {
    RunReport r;
    EXPECT_EQ(exitStatus(r), kExitNotStarted);
    r.anotherAgent = true;
    EXPECT_EQ(exitStatus(r), kExitNotStarted);
    r = RunReport{};
    r.started = r.finished = true;
    EXPECT_EQ(exitStatus(r), kExitCompleted);
    r.logFailure = "No se pudo abrir el archivo /x/ENVIO.TXT: No such file or directory";
    EXPECT_EQ(exitStatus(r), kExitLogsUnwritten);
    r.failed = 1;
    EXPECT_EQ(exitStatus(r), kExitEventFailed);
    r.outage = true;
    EXPECT_EQ(exitStatus(r), kExitOutage);
    r.failed = 0;
    r.finished = false;
    EXPECT_EQ(exitStatus(r), kExitOutage);
    r.outage = false;
    EXPECT_EQ(exitStatus(r), kExitEventFailed);
}

}  // namespace
}  // namespace replica::app
