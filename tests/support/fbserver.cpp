#include "tests/support/fbserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/program.h"

extern char** environ;

namespace replica::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Where the Debian packages put the server's plugins, messages and
// character sets; the private root links to them.
constexpr const char* kFirebirdLibrary = "/usr/lib/x86_64-linux-gnu/firebird/3.0";
constexpr const char* kIsql = "/usr/bin/isql-fb";

// A port nobody listens on now (the kernel's choice).
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(s);
    return port;
}

bool listening(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

// This process's environment without any FIREBIRD variable, plus extra.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("FIREBIRD", 0) != 0) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Runs program with args and env, standard input from inputFile and output
// to outputFile; returns its raw wait status (-1: it did not start).
int runWith(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env, const std::string& inputFile,
            const std::string& outputFile, pid_t* background = nullptr) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, inputFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        return -1;
    }
    if (background) {
        *background = pid;
        return 0;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

FirebirdServer::FirebirdServer(std::string root) : m_root(std::move(root)) {
    if (prepare()) {
        start();
    }
}

FirebirdServer::~FirebirdServer() {
    if (m_pid > 0) {
        thaw();
        kill();
    }
}

std::string FirebirdServer::remote(const std::string& path) const {
    return "127.0.0.1/" + std::to_string(m_port) + ":" + path;
}

bool FirebirdServer::prepare() {
    for (const char* needed : {kServerProgram, kIsql, kFirebirdLibrary}) {
        if (!fs::exists(needed)) {
            m_why = std::string("no Firebird server can run here: ") + needed +
                    " is missing (scripts/setup.sh installs firebird3.0-server and "
                    "firebird3.0-utils)";
            return false;
        }
    }
    m_port = freePort();
    if (m_port == 0) {
        m_why = "no free port on 127.0.0.1";
        return false;
    }
    fs::create_directories(m_root + "/lock");
    for (const char* shared : {"plugins", "intl", "firebird.msg", "plugins.conf"}) {
        fs::create_symlink(std::string(kFirebirdLibrary) + "/" + shared, m_root + "/" + shared);
    }
    const std::string security = m_root + "/security3.fdb";
    {
        std::ofstream conf(m_root + "/firebird.conf");
        conf << "RemoteServicePort = " << m_port << "\n"
             << "RemoteBindAddress = 127.0.0.1\n"
             << "SecurityDatabase = " << security << "\n"
             << "AuthServer = Srp256, Srp\n"
             << "UserManager = Srp\n"
             << "DefaultDbCachePages = 512\n"
             // A file grows page by page, so that a size limit is met at
             // once, not after a large allocation.
             << "DatabaseGrowthIncrement = 0\n";
        std::ofstream aliases(m_root + "/databases.conf");
        aliases << "security.db = " << security << "\n";
    }
    // The security database holds SYSDBA: created through the private
    // configuration, so the user goes into this file and nowhere else.
    {
        std::ofstream sql(m_root + "/security.sql");
        sql << "create database '" << security << "' user 'SYSDBA';\n"
            << "create user SYSDBA password 'masterkey' using plugin Srp;\n"
            << "commit;\n";
    }
    const int status = runWith(
        kIsql, {"-q"}, environmentWith({"FIREBIRD=" + m_root, "FIREBIRD_LOCK=" + m_root + "/lock"}),
        m_root + "/security.sql", m_root + "/isql.log");
    if (status != 0 || !fs::exists(security)) {
        m_why = "the server's security database could not be made (" + m_root + "/isql.log)";
        return false;
    }
    m_prepared = true;
    return true;
}

bool FirebirdServer::start() {
    if (!m_prepared) {
        return false;
    }
    if (m_pid > 0) {
        return true;
    }
    const std::string empty = "/dev/null";
    // The server inherits the signal ignored: a write past a file size
    // limit (limitFileSize) then fails as on a full disk instead of killing
    // it.
    std::signal(SIGXFSZ, SIG_IGN);
    pid_t pid = -1;
    if (runWith(kServerProgram, {"-e", m_root, "-el", m_root + "/lock"},
                environmentWith({"FIREBIRD=" + m_root, "FIREBIRD_LOCK=" + m_root + "/lock"}), empty,
                m_root + "/server.log", &pid) != 0) {
        m_why = std::string("cannot start ") + kServerProgram;
        return false;
    }
    m_pid = pid;
    if (!waitFor([this] { return listening(m_port); }, 10s)) {
        m_why = std::string(kServerProgram) +
                " does not listen on 127.0.0.1:" + std::to_string(m_port) + " (" + m_root +
                "/server.log, " + m_root + "/firebird.log)";
        kill();
        return false;
    }
    return true;
}

void FirebirdServer::kill() {
    if (m_pid <= 0) {
        return;
    }
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

void FirebirdServer::freeze() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGSTOP);
    }
}

void FirebirdServer::thaw() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGCONT);
    }
}

bool FirebirdServer::limitFileSize(unsigned long long bytes) {
    const rlimit limit{bytes == 0 ? RLIM_INFINITY : static_cast<rlim_t>(bytes), RLIM_INFINITY};
    return m_pid > 0 && ::prlimit(m_pid, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

}  // namespace replica::test
