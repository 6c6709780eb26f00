#include "engine/console_operator.h"

namespace replica {

void ConsoleOperator::line(const std::string& text) {
    // Flushed at once: a service manager's log must show a run as it goes.
    m_out << text << std::endl;
}

void ConsoleOperator::showProgress(const std::string& caption) {
    // The screen shows a caption again when it repaints; the log needs it once.
    if (caption != m_lastCaption) {
        m_lastCaption = caption;
        line(caption);
    }
}

void ConsoleOperator::showEventLine(const std::string& text) {
    line("  " + text);
}

void ConsoleOperator::setLastError(const std::string& text) {
    m_lastError = text;
    line(text);
}

void ConsoleOperator::setLastSend(const std::string& text) {
    line("Ultima actualización: " + text);
}

void ConsoleOperator::message(const std::string& text) {
    line(text);
}

void ConsoleOperator::errorMessage(const std::string& text) {
    line(text);
}

}  // namespace replica
