#pragma once
// An Operator for the tests: remembers everything the engine showed and
// lets the test set the main screen's fields.

#include <string>
#include <vector>

#include "engine/operator.h"

namespace replica::test {

class RecordingOperator : public Operator {
  public:
    RunInputs fields;
    std::vector<std::string> captions;       // every showProgress caption, in order
    std::vector<std::string> eventLines;     // every showEventLine text
    std::vector<std::string> messages;       // message()
    std::vector<std::string> errorMessages;  // errorMessage()
    std::string lastError;                   // the "Ultimo error:" label
    std::string lastSend;                    // "Ultima actualización:"
    bool errorsButtonEnabled = false;
    bool progressVisible = false;
    bool eventLineVisible = false;
    int progressMaximum = 0;
    int progressPosition = 0;
    int beeps = 0;
    bool timerRunning = true;
    int timerInterval = 1800000;
    int timerStops = 0;

    RunInputs inputs() override { return fields; }
    void setDownloadCount(const std::string& t) override { fields.downloadCount = t; }
    void setUploadCount(const std::string& t) override { fields.uploadCount = t; }
    void showProgress(const std::string& caption) override {
        captions.push_back(caption);
        progressVisible = true;
    }
    void hideProgress() override { progressVisible = false; }
    void setProgressMaximum(int m) override {
        progressMaximum = m;
        progressPosition = 0;
    }
    void stepProgress() override { ++progressPosition; }
    void showEventLine(const std::string& t) override {
        eventLines.push_back(t);
        eventLineVisible = true;
    }
    void hideEventLine() override { eventLineVisible = false; }
    void setLastError(const std::string& t) override { lastError = t; }
    void setLastSend(const std::string& t) override { lastSend = t; }
    void setErrorsButtonEnabled(bool e) override { errorsButtonEnabled = e; }
    void message(const std::string& t) override { messages.push_back(t); }
    void errorMessage(const std::string& t) override { errorMessages.push_back(t); }
    void beep() override { ++beeps; }
    void processEvents() override {}
    void repaint() override {}
    void stopTimer() override {
        timerRunning = false;
        ++timerStops;
    }
    void startTimer(int ms) override {
        timerRunning = true;
        timerInterval = ms;
    }
};

}  // namespace replica::test
