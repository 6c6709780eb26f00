#pragma once
// One agent per company and application directory.
//
// Two agents replicating the same company at once would select the same
// pending events and copy them twice. Each agent therefore holds, for its
// whole life, an advisory lock (flock) on the file replica-<company>.lock of
// its application directory. The lock belongs to the open file, so the
// system releases it however the process ends, a kill -9 included; the file
// itself stays (removing it would let a third agent lock a new file while
// the second still waits on the old one). The file holds the process id of
// the agent that last locked it, for the refusal message.

#include <string>

namespace replica::app {

class AgentLock {
  public:
    enum class Result {
        Acquired,  // this process holds the lock until the object is destroyed
        Held,      // another agent holds it
        Failed,    // the lock file cannot be opened or locked (error())
    };

    AgentLock() = default;
    ~AgentLock();
    AgentLock(const AgentLock&) = delete;
    AgentLock& operator=(const AgentLock&) = delete;

    // Tries once, without waiting. directory: the application directory
    // ("" is the root directory, as for the log files).
    Result acquire(const std::string& directory, const std::string& company);

    const std::string& path() const { return m_path; }
    // Held: the process id written by the holder (0 when unknown).
    long holder() const { return m_holder; }
    // Failed: why, naming the file.
    const std::string& error() const { return m_error; }

    // The file name for company; characters other than letters, digits,
    // '-' and '_' are written as %XX so that any code makes one file name
    // of its own inside the directory.
    static std::string fileName(const std::string& company);

  private:
    int m_fd = -1;
    long m_holder = 0;
    std::string m_path;
    std::string m_error;
};

// The operator's message for a refused start.
std::string alreadyRunningMessage(const std::string& company, const AgentLock& lock);

}  // namespace replica::app
