#include "engine/console_operator.h"

#include "engine/sql.h"

namespace replica {

std::string ConsoleOperator::clockStamp() {
    return sqlDate(today()) + " " + sqlTime(now());
}

void ConsoleOperator::line(const std::string& text, Level level) {
    // Flushed at once: a service manager's log must show a run as it goes.
    // The date and time are the agent's own, since a redirection to a file
    // adds none. A database message spans several lines; here it stays one
    // entry, as in errorenvio.txt, so that every line starts with its time.
    if (m_journal) {
        m_out << '<' << static_cast<int>(level) << '>';
    } else if (m_stamp) {
        m_out << m_stamp() << ' ';
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            m_out << ' ';
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            m_out << c;
        }
    }
    m_out << std::endl;
}

void ConsoleOperator::showProgress(const std::string& caption) {
    // The screen shows a caption again when it repaints; the log needs it once.
    if (caption != m_lastCaption) {
        m_lastCaption = caption;
        line(caption, Level::Info);
    }
}

void ConsoleOperator::showEventLine(const std::string& text) {
    line("  " + text, Level::Info);
}

void ConsoleOperator::setLastError(const std::string& text) {
    m_lastError = text;
    line(text, Level::Error);
}

void ConsoleOperator::setLastSend(const std::string& text) {
    line("Ultima actualización: " + text, Level::Info);
}

// A message would wait for an operator's OK on screen: what the agent
// refused to do or could not find, not an error of a document.
void ConsoleOperator::message(const std::string& text) {
    line(text, Level::Warning);
}

void ConsoleOperator::errorMessage(const std::string& text) {
    line(text, Level::Error);
}

}  // namespace replica
