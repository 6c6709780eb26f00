#pragma once
// A Firebird server of the test's own: the machine's server program run
// from a private root folder (its own configuration, security database with
// SYSDBA/masterkey, lock folder and log), listening on 127.0.0.1 at a free
// port. Nothing of the machine's own server setup is used or changed.
//
// It is started, killed, frozen and thawed by its own process id only. When
// the machine has no server program (or it cannot start), running() is
// false and why() says what is missing: the tests that need it skip with
// that text.

#include <sys/types.h>

#include <string>

namespace replica::test {

class FirebirdServer {
  public:
    // root: an empty folder for the server's own files.
    explicit FirebirdServer(std::string root);
    ~FirebirdServer();
    FirebirdServer(const FirebirdServer&) = delete;
    FirebirdServer& operator=(const FirebirdServer&) = delete;

    bool running() const { return m_pid > 0; }
    const std::string& why() const { return m_why; }
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }

    // The remote form of a path on this server ("127.0.0.1/port:" + path).
    std::string remote(const std::string& path) const;

    // Starts the server (again); false, with why(), when it does not listen
    // within a few seconds.
    bool start();
    // SIGKILL and wait: the server dies as a machine that loses power.
    void kill();
    // SIGSTOP / SIGCONT: the server stops answering without closing a
    // single connection, and answers again.
    void freeze();
    void thaw();
    // No file of the server may grow beyond bytes (a disk that is full);
    // 0 lifts the limit. A write past it fails (EFBIG), as on a full disk.
    bool limitFileSize(unsigned long long bytes);

  private:
    bool prepare();

    std::string m_root;
    std::string m_why;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_prepared = false;
};

// The server program the tests run.
inline constexpr const char* kServerProgram = "/usr/sbin/firebird";

}  // namespace replica::test
