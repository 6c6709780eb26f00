#include "tests/support/program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "tests/support/tempdir.h"

namespace replica::test {

namespace fs = std::filesystem;

std::string programPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "replica")
        .string();
}

ProgramResult runProgram(const std::string& appDir, const std::string& args,
                         const std::string& outputFile, const std::string& environment) {
    const std::string command = "REPLICA_APP_DIR='" + appDir + "' " + environment + " '" +
                                programPath() + "' " + args + " >'" + outputFile +
                                "' 2>&1 </dev/null";
    const int raw = std::system(command.c_str());
    ProgramResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.output = slurp(outputFile);
    return r;
}

bool startsWithStamp(const std::string& line) {
    const std::string shape = "dddd-dd-dd dd:dd:dd ";
    if (line.size() < shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

Agent::Agent(const std::string& appDir, const std::vector<std::string>& args,
             const std::string& outputFile, const std::vector<std::string>& extraEnvironment)
    : m_output(outputFile) {
    const std::string program = programPath();
    std::vector<char*> argv = {const_cast<char*>("replica")};
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    // The agent inherits this environment (the Firebird lock folder, the
    // sanitizers' options) with its application directory added.
    const std::string dirVariable = "REPLICA_APP_DIR=" + appDir;
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("REPLICA_", 0) != 0) {
            envp.push_back(*e);
        }
    }
    envp.push_back(const_cast<char*>(dirVariable.c_str()));
    for (const std::string& e : extraEnvironment) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    if (posix_spawn(&m_pid, program.c_str(), &files, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&files);
}

Agent::~Agent() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

std::string Agent::output() const {
    return slurp(m_output);
}

bool Agent::waitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    return waitFor([&] { return output().find(text) != std::string::npos; }, limit);
}

int Agent::wait(std::chrono::milliseconds limit) {
    if (m_pid <= 0) {
        return -1;
    }
    int status = 0;
    if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit)) {
        return -1;
    }
    m_pid = -1;
    return status;
}

int Agent::stop(int sig, std::chrono::milliseconds limit) {
    if (m_pid <= 0) {
        return -1;
    }
    ::kill(m_pid, sig);
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit);
    if (!ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        status = -1;
    }
    m_pid = -1;
    return status;
}

}  // namespace replica::test
