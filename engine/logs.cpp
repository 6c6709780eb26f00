#include "engine/logs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "engine/sql.h"

namespace replica {

namespace {

// A log entry is one line: a database message may span several lines, and a
// reader of the file (or a script splitting it on commas and line breaks)
// must still see one entry per line. Every line break becomes a blank.
std::string oneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += ' ';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

// The system's reason for the last failed file operation.
std::string reason() {
    return errno != 0 ? std::strerror(errno) : "error de escritura";
}

// Lanes of a run served side by side write the same files: one line at a
// time, so a line is never taken back over another's.
std::mutex g_fileMutex;

std::string stamp() {
    return sqlDate(today()) + "," + sqlTime(now()) + ",";
}

}  // namespace

std::string Logs::file(const std::string& name) const {
    return directory() + "/" + name;
}

void Logs::append(const std::string& name, const std::string& line) {
    const std::string path = file(name);
    std::lock_guard<std::mutex> lock(g_fileMutex);
    // Opening for appending creates the file when it is absent; the file is
    // never truncated but to take back a line this call could not finish.
    errno = 0;
    // Read too, to see how the file ends (a file that may only be written
    // is appended to without looking).
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
        throw std::runtime_error("No se pudo abrir el archivo " + path + ": " + reason());
    }
    std::string entry = oneLine(line) + '\n';
    // A line an earlier writer could not finish (a kill, or a full disk that
    // also kept it from being taken back) must not swallow this one.
    struct stat before {};
    if (::fstat(fd, &before) == 0 && before.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, before.st_size - 1) == 1 && last != '\n') {
            entry.insert(entry.begin(), '\n');
        }
    }
    std::size_t written = 0;
    int error = 0;
    while (written < entry.size()) {
        const ssize_t n = ::write(fd, entry.data() + written, entry.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (error != 0 && written > 0) {
        // Part of the line reached the file: take it back, so the file
        // keeps whole lines only.
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_size >= static_cast<off_t>(written)) {
            const int kept = ::ftruncate(fd, now.st_size - static_cast<off_t>(written));
            static_cast<void>(kept);  // when even that fails, the next line starts anew
        }
    }
    ::close(fd);
    if (error != 0) {
        errno = error;
        throw std::runtime_error("No se pudo escribir en el archivo " + path + ": " + reason());
    }
}

void Logs::appendKept(const std::string& name, const std::string& line) noexcept {
    try {
        append(name, line);
    } catch (const std::exception& e) {
        if (m_failure.empty()) {
            m_failure = e.what();
        }
    }
}

void Logs::keepFailure(std::string failure) {
    if (m_failure.empty()) {
        m_failure = std::move(failure);
    }
}

std::string Logs::takeFailure() {
    std::string failure = std::move(m_failure);
    m_failure.clear();
    return failure;
}

void Logs::error(const std::string& text) {
    appendKept("errorenvio.txt", stamp() + text);
}

void Logs::error(const std::string& date, const std::string& time, const std::string& text) {
    appendKept("errorenvio.txt", date + "," + time + "," + text);
}

void Logs::audit(std::int64_t eventId, int type, const std::string& key) {
    appendKept("ENVIO.TXT", stamp() + std::to_string(eventId) + "," + std::to_string(type) + "," +
                                key + "," + m_lastUploadQuery);
}

}  // namespace replica
