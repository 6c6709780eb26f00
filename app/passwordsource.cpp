#include "app/passwordsource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace replica::app {

namespace {

// A password is one short line; anything past this is not read.
constexpr std::size_t kMaxRead = 4096;

std::string reason(int error) {
    return std::strerror(error);
}

}  // namespace

PasswordSource readPasswordFile(const std::string& path) {
    PasswordSource s;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        s.error = "No se pudo abrir el archivo de clave " + path + ": " + reason(errno);
        return s;
    }
    std::string bytes;
    char buffer[512];
    while (bytes.size() < kMaxRead && bytes.find('\n') == std::string::npos) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            s.error = "No se pudo leer el archivo de clave " + path + ": " + reason(errno);
            ::close(fd);
            return s;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::string line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        s.error = "El archivo de clave " + path + " está vacío (la clave es su primera línea)";
        return s;
    }
    s.password = std::move(line);
    return s;
}

PasswordSource resolvePassword(const CommandLine& cl, const char* environment) {
    if (!cl.passwordFile.empty()) {
        return readPasswordFile(cl.passwordFile);
    }
    if (!cl.password.empty()) {
        return {cl.password, {}};
    }
    if (environment) {
        return {environment, {}};
    }
    return {};
}

}  // namespace replica::app
