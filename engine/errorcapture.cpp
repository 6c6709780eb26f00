#include "engine/errorcapture.h"

#include "engine/logs.h"
#include "engine/operator.h"
#include "engine/sql.h"

namespace replica {

void ErrorCapture::setCurrent(Phase phase, db::Connection* eventDatabase, std::int64_t eventId) {
    m_phase = phase;
    m_eventDatabase = eventDatabase;
    m_eventId = eventId;
}

void ErrorCapture::clearCurrent() {
    m_phase = Phase::None;
    m_eventDatabase = nullptr;
    m_eventId = 0;
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

std::string ErrorCapture::screenText(bool hasSender, const db::RecordSet* rs,
                                     const std::string& message) {
    if (!rs || hasSender) {
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
    m_logs.error(message);
    if (onEvent && m_phase != Phase::None && m_eventDatabase) {
        m_eventDatabase->execute("UPDATE REPLICA_EVENTOS SET RPEV_ERROR = " +
                                 Q(storedText(message)) + " where RPEV_ID = " + sqlInt(m_eventId));
    }
    m_op.beep();
    m_op.setLastError("Ultimo error: " + text);
    m_op.hideProgress();
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
