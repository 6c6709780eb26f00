#pragma once
// The built program as outside scripts and service managers use it: run
// to its end with a shell command line, or started in the background and
// stopped with a signal.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace replica::test {

// build/app/replica, next to the test programs' folder.
std::string programPath();

struct ProgramResult {
    int status = -1;     // exit status; -1 when it did not exit normally
    std::string output;  // standard output and standard error together
};

// Runs `env REPLICA_APP_DIR=appDir [environment] replica args` through the
// shell (args already quoted where needed), standard output and error to
// outputFile, standard input empty.
ProgramResult runProgram(const std::string& appDir, const std::string& args,
                         const std::string& outputFile, const std::string& environment = {});

// The program started in the background with argv (program name excluded)
// and the test's environment plus REPLICA_APP_DIR=appDir and extra, its
// output going to outputFile. Killed (SIGKILL) if still running when
// destroyed.
class Agent {
  public:
    Agent(const std::string& appDir, const std::vector<std::string>& args,
          const std::string& outputFile, const std::vector<std::string>& extraEnvironment = {});
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    pid_t pid() const { return m_pid; }
    std::string output() const;
    // Waits until the output holds text; false after limit.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds limit);
    // Sends sig and waits up to limit for the end; returns the raw wait
    // status, or -1 when it did not end (it is then killed).
    int stop(int sig, std::chrono::milliseconds limit);
    // Waits up to limit for the end without a signal; returns the raw wait
    // status, or -1 when it is still running (it is left running).
    int wait(std::chrono::milliseconds limit);

  private:
    pid_t m_pid = -1;
    std::string m_output;
};

// Whether line begins with "YYYY-MM-DD HH:MM:SS ", the console agent's
// stamp.
bool startsWithStamp(const std::string& line);

// Polls done every 100 ms until it holds or limit has passed.
template <typename F>
bool waitFor(F done, std::chrono::milliseconds limit) {
    using namespace std::chrono_literals;
    for (auto waited = 0ms; waited < limit; waited += 100ms) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

}  // namespace replica::test
