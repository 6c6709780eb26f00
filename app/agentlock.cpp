#include "app/agentlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace replica::app {

AgentLock::~AgentLock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // releases the lock
    }
}

std::string AgentLock::fileName(const std::string& company) {
    std::string name = "replica-";
    for (const char ch : company) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_') {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            name += escaped;
        }
    }
    return name + ".lock";
}

AgentLock::Result AgentLock::acquire(const std::string& directory, const std::string& company) {
    if (m_fd >= 0) {
        return Result::Acquired;
    }
    m_path = directory + "/" + fileName(company);
    m_holder = 0;
    m_error.clear();
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_error = "No se pudo abrir el archivo de bloqueo " + m_path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            char buffer[32] = {};
            const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
            if (n > 0) {
                m_holder = std::strtol(buffer, nullptr, 10);
            }
            ::close(fd);
            return Result::Held;
        }
        ::close(fd);
        m_error = "No se pudo bloquear el archivo " + m_path + ": " + std::strerror(error);
        return Result::Failed;
    }
    // Who holds it, for the message of the next agent; a failure here costs
    // only that detail.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    m_fd = fd;
    return Result::Acquired;
}

std::string alreadyRunningMessage(const std::string& company, const AgentLock& lock) {
    std::string text =
        "Ya hay un agente en marcha para la compañía " + company + " (" + lock.path();
    if (lock.holder() > 0) {
        text += ", proceso " + std::to_string(lock.holder());
    }
    return text + "); este no se inicia.";
}

}  // namespace replica::app
