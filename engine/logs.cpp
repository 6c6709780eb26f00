#include "engine/logs.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
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

std::string stamp() {
    return sqlDate(today()) + "," + sqlTime(now()) + ",";
}

}  // namespace

std::string Logs::file(const std::string& name) const {
    return directory() + "/" + name;
}

void Logs::append(const std::string& name, const std::string& line) {
    const std::string path = file(name);
    // Opening for appending creates the file when it is absent; the file is
    // never truncated.
    errno = 0;
    std::ofstream out(path, std::ios::out | std::ios::app | std::ios::binary);
    if (!out) {
        throw std::runtime_error("No se pudo abrir el archivo " + path + ": " + reason());
    }
    out << oneLine(line) << '\n';
    out.flush();
    if (!out) {
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
