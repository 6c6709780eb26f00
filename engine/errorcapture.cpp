#include "engine/errorcapture.h"

#include <vector>

#include "engine/logs.h"
#include "engine/operator.h"
#include "engine/sql.h"

namespace replica {

void ErrorCapture::setCurrent(Phase phase, db::Connection* eventDatabase, std::int64_t eventId,
                              std::string document) {
    m_phase = phase;
    m_eventDatabase = eventDatabase;
    m_eventId = eventId;
    m_document = std::move(document);
}

void ErrorCapture::clearCurrent() {
    m_phase = Phase::None;
    m_eventDatabase = nullptr;
    m_eventId = 0;
    m_document.clear();
}

std::string documentName(const Event& e) {
    std::string name = "Documento tipo " + std::to_string(e.type);
    if (!e.prefix.empty() || !e.number.empty()) {
        name += " " + e.prefix + (e.prefix.empty() || e.number.empty() ? "" : " ") + e.number;
    }
    if (!e.code.empty()) {
        name += " código " + e.code;
    }
    return name;
}

namespace {

// The lines of a database message without the dash the client puts before
// every line after the first.
std::vector<std::string> messageLines(const std::string& message) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos) {
            end = message.size();
        }
        std::string line = message.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '-') {
            line.erase(0, 1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string ErrorCapture::exceptionFirst(const std::string& message) {
    // The database words a raised exception as "exception N", its name and
    // then the text written for the operator, each on a line of its own: a
    // label that shows the first lines only would show the name alone.
    if (message.rfind("exception ", 0) != 0) {
        return message;
    }
    std::vector<std::string> lines;
    for (std::string& line : messageLines(message)) {
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    if (lines.size() < 3) {
        return message;
    }
    std::string text = lines[2] + " (" + lines[0] + ", " + lines[1] + ")";
    for (std::size_t i = 3; i < lines.size(); ++i) {
        text += "\n" + lines[i];
    }
    return text;
}

std::string ErrorCapture::storedText(const std::string& message) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const auto c = static_cast<unsigned char>(message[i]);
        // Only lead bytes start a character; continuation bytes (10xxxxxx)
        // stay with the character they belong to.
        if ((c & 0xC0) != 0x80) {
            if (chars == kMaxStoredChars) {
                return message.substr(0, i);
            }
            ++chars;
        }
    }
    return message;
}

namespace {

// The text between the first pair of double quotes after from ("" when
// there is none); from moves past it.
std::string quoted(const std::string& line, std::size_t& from) {
    const std::size_t open = line.find('"', from);
    const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos) {
        return {};
    }
    from = close + 1;
    return line.substr(open + 1, close - open - 1);
}

std::string wordAfter(const std::string& line, const std::string& marker) {
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + marker.size();
    return line.substr(start, line.find(' ', start) - start);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// "Problematic key value is (...)", when the message carries one.
std::string keyValue(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (startsWith(line, "Problematic key value is ")) {
            return ": " + line.substr(25);
        }
    }
    return {};
}

bool hasLine(const std::vector<std::string>& lines, const char* text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Constraints of a table: its key, a reference, a CHECK.
std::string constraintText(const std::vector<std::string>& lines) {
    const std::string& first = lines.front();
    std::size_t at = 0;
    if (startsWith(first, "violation of PRIMARY or UNIQUE KEY constraint")) {
        const std::string constraint = quoted(first, at);
        const std::string table = quoted(first, at);
        return "Ya existe un registro con la misma clave en la tabla " + table + " (restricción " +
               constraint + ")" + keyValue(lines);
    }
    if (startsWith(first, "violation of FOREIGN KEY constraint")) {
        const std::string constraint = quoted(first, at);
        const std::string table = quoted(first, at);
        if (hasLine(lines, "references are present")) {
            return "El registro de la tabla " + table +
                   " no se puede borrar ni cambiar: otros registros dependen de él (restricción " +
                   constraint + ")" + keyValue(lines);
        }
        return "El registro de la tabla " + table +
               " hace referencia a uno que no existe (restricción " + constraint + ")" +
               keyValue(lines);
    }
    if (startsWith(first, "Operation violates CHECK constraint")) {
        return "La tabla " + wordAfter(first, " on view or table ") +
               " no admite esos valores: no cumplen la condición " +
               wordAfter(first, "CHECK constraint ");
    }
    if (startsWith(first, "attempt to store duplicate value")) {
        return "Ya existe un registro con el mismo valor en el índice único " + quoted(first, at) +
               keyValue(lines);
    }
    return {};
}

// Values a column cannot hold, and records another transaction holds.
std::string valueText(const std::vector<std::string>& lines) {
    const std::string& first = lines.front();
    if (startsWith(first, "validation error for column")) {
        std::size_t at = 0;
        const std::string table = quoted(first, at);
        const std::string column = quoted(first, at);
        const std::string value = quoted(first, at);
        if (value == "*** null ***") {
            return "El campo " + column + " de la tabla " + table + " es obligatorio";
        }
        return "El valor " + value + " no es válido para el campo " + column + " de la tabla " +
               table;
    }
    if (startsWith(first, "arithmetic exception, numeric overflow, or string truncation")) {
        if (hasLine(lines, "string right truncation")) {
            return "Un texto es más largo de lo que admite su campo";
        }
        return "Un número no cabe en su campo o una operación con él no es válida";
    }
    if (first == "deadlock" || hasLine(lines, "update conflicts with concurrent update")) {
        return "Otro usuario o proceso está modificando el mismo registro";
    }
    if (first == "Key violation.") {
        return "Ya existe un registro con la misma clave";
    }
    return {};
}

}  // namespace

std::string ErrorCapture::refusalText(const std::string& message) {
    const std::vector<std::string> lines = messageLines(message);
    std::string text = constraintText(lines);
    return text.empty() ? valueText(lines) : text;
}

std::string ErrorCapture::screenText(bool hasSender, const db::RecordSet* rs,
                                     const std::string& message) {
    if (!rs || hasSender) {
        if (std::string refusal = refusalText(message); !refusal.empty()) {
            return refusal;
        }
        // The messages this label was made for end in a full stop or a line
        // break, which it leaves out; the database's own messages often end
        // in a letter ("No such file or directory"), which must stay.
        if (!message.empty() &&
            (message.back() == '.' || message.back() == '\n' || message.back() == '\r')) {
            return message.substr(0, message.size() - 1);
        }
        return message;
    }
    const std::string head = message.substr(0, 3);
    if (head == "Fie") {
        std::string text = "Los campos ";
        for (int i = 0; i < rs->columnCount(); ++i) {
            if (rs->column(i).required && rs->editValue(i).isNull()) {
                text += rs->column(i).name + ", ";
            }
        }
        return text + " son obligatorios.";
    }
    if (head == "Key") {
        std::string text = "Ya existe un registro con el mismo ";
        for (int i = 0; i < rs->columnCount(); ++i) {
            if (rs->column(i).inKey) {
                text += rs->column(i).name + ", ";
            }
        }
        return text;
    }
    return {};
}

void ErrorCapture::ManejarError(bool hasSender, const db::RecordSet* rs,
                                const std::string& message) {
    record(message, screenText(hasSender, rs, message));
}

void ErrorCapture::record(const std::string& message, const std::string& text) {
    report(message, text, true);
}

void ErrorCapture::report(const std::string& message, const std::string& text, bool onEvent) {
    // The file and the label say which document failed; RPEV_ERROR is on
    // the event's own row and keeps the database's words only.
    const std::string document = m_document.empty() ? std::string() : m_document + ": ";
    m_logs.error(document + message);
    if (onEvent && m_phase != Phase::None && m_eventDatabase) {
        m_eventDatabase->execute("UPDATE REPLICA_EVENTOS SET RPEV_ERROR = " +
                                 Q(storedText(message)) + " where RPEV_ID = " + sqlInt(m_eventId));
    }
    m_op.beep();
    // The progress panel stays: the run goes on with the next event.
    m_op.setLastError("Ultimo error: " + document + exceptionFirst(text));
}

void ErrorCapture::showLastError(const std::string& text) {
    m_op.setLastError(text);
}

db::RecordSet::ErrorCallback ErrorCapture::applyCallback(const db::RecordSet& rs) {
    return [this, &rs](const db::Error& e) { ManejarError(true, &rs, e.message()); };
}

db::RecordSet::ErrorCallback ErrorCapture::furtherApplyCallback(const db::RecordSet& rs) {
    return [this, &rs](const db::Error& e) {
        report(e.message(), screenText(true, &rs, e.message()), false);
    };
}

}  // namespace replica
