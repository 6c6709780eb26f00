#pragma once
// The Operator of a server without a display.
//
// The main screen's fields are given once by the program (command line) and
// may be changed through `fields`. Captions, the event line, "Ultimo error:",
// "Ultima actualización:" and every message are written as lines to the
// output stream (standard output by default), each after the date and time
// it was written; nothing waits for a person: a message that on screen
// would wait for OK is just written. The repeat timer is only remembered
// (`timerRunning`, `timerInterval`): the program's own loop waits for it.
//
// When the output is the systemd journal, every line begins instead with
// its syslog priority ("<3>" errors, "<4>" warnings, "<6>" the rest), which
// the journal takes off and keeps as the entry's priority, and carries no
// time of its own: the journal stamps every entry.

#include <functional>
#include <iostream>
#include <string>

#include "engine/operator.h"

namespace replica {

class ConsoleOperator : public Operator {
  public:
    // The text that begins every line: "YYYY-MM-DD HH:MM:SS" of the
    // machine's clock unless another clock is given (tests).
    using Stamp = std::function<std::string()>;
    static std::string clockStamp();

    explicit ConsoleOperator(RunInputs initial = {}, std::ostream& out = std::cout,
                             Stamp stamp = clockStamp)
        : fields(std::move(initial)), m_out(out), m_stamp(std::move(stamp)) {}

    RunInputs fields;

    // Syslog priorities.
    enum class Level { Error = 3, Warning = 4, Info = 6 };
    // Lines for the journal (see above) instead of stamped ones.
    void setJournal(bool journal) { m_journal = journal; }

    // A line of the program's own (a run's summary), stamped like the rest.
    void log(const std::string& text, Level level = Level::Info) { line(text, level); }

    bool timerRunning() const { return m_timerRunning; }
    int timerInterval() const { return m_timerInterval; }
    const std::string& lastError() const { return m_lastError; }

    RunInputs inputs() override { return fields; }
    void setDownloadCount(const std::string& text) override { fields.downloadCount = text; }
    void setUploadCount(const std::string& text) override { fields.uploadCount = text; }

    void showProgress(const std::string& caption) override;
    void hideProgress() override { m_lastCaption.clear(); }
    void setProgressMaximum(int) override {}
    void stepProgress() override {}
    void showEventLine(const std::string& text) override;
    void hideEventLine() override {}

    void setLastError(const std::string& text) override;
    void setLastSend(const std::string& text) override;
    void setErrorsButtonEnabled(bool) override {}

    void message(const std::string& text) override;
    void errorMessage(const std::string& text) override;
    void beep() override {}
    // Where the window lets its clicks through, before each event: the
    // program's chance to take a stop request in the middle of a run.
    void processEvents() override {
        if (m_eventsHook) {
            m_eventsHook();
        }
    }
    void setEventsHook(std::function<void()> hook) { m_eventsHook = std::move(hook); }
    void repaint() override {}

    void stopTimer() override { m_timerRunning = false; }
    void startTimer(int intervalMs) override {
        m_timerRunning = true;
        m_timerInterval = intervalMs;
    }

  private:
    void line(const std::string& text, Level level);

    std::ostream& m_out;
    Stamp m_stamp;
    std::string m_lastCaption;
    std::string m_lastError;
    bool m_journal = false;
    bool m_timerRunning = true;
    int m_timerInterval = 1800000;
    std::function<void()> m_eventsHook;
};

}  // namespace replica
