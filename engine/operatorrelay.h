#pragma once
// The operator of upload phases served side by side.
//
// Each destination company's phase runs on a thread of its own, but the
// operator (a window, a console) lives on the thread that started the run
// and is called from there only. Every lane therefore talks to a
// LaneOperator that posts its calls to the relay; the run's thread pumps
// them to the real operator while it waits for the lanes, and lets the
// window process its messages in between, so "Detener" and repaints are
// acted on while the servers work.
//
// What the lanes show is merged, not interleaved: one progress bar over
// all the lanes' events, each event line headed by its company, captions
// left to the run's thread. A lane never waits for the operator: a message
// it posts is shown when the run's thread gets to it.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/operator.h"

namespace replica {

class OperatorRelay {
  public:
    OperatorRelay(Operator& target, RunInputs inputs)
        : m_target(target), m_inputs(std::move(inputs)) {}

    // Any thread: queues a call for the run's thread.
    void post(std::function<void(Operator&)> call);
    // Any thread: wakes pump() without a call (a lane has finished).
    void wake();
    // The run's thread: runs the calls posted so far, in their order,
    // waiting up to wait for the first when none is queued.
    void pump(std::chrono::milliseconds wait);

    const RunInputs& inputs() const { return m_inputs; }

    // The run's thread (inside posted calls): one progress bar for all the
    // lanes. lane is the lane's index, as the relay's lanes are numbered.
    void laneMaximum(std::size_t lane, int maximum);
    void laneStep(std::size_t lane);

  private:
    void showProgress();

    Operator& m_target;
    const RunInputs m_inputs;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void(Operator&)>> m_calls;
    bool m_woken = false;
    // Per lane: its bar's maximum and position (touched on the run's thread only).
    std::vector<int> m_maximum;
    std::vector<int> m_position;
};

// What one lane's phase sees as its operator.
class LaneOperator final : public Operator {
  public:
    LaneOperator(OperatorRelay& relay, std::size_t lane, std::string company)
        : m_relay(relay), m_lane(lane), m_company(std::move(company)) {}

    RunInputs inputs() override { return m_relay.inputs(); }
    void setDownloadCount(const std::string& text) override;
    void setUploadCount(const std::string& text) override;
    // The run's thread says what the run is doing; a lane's captions would
    // only flicker between companies.
    void showProgress(const std::string&) override {}
    void hideProgress() override {}
    void setProgressMaximum(int maximum) override;
    void stepProgress() override;
    void showEventLine(const std::string& text) override;
    void hideEventLine() override {}
    void setLastError(const std::string& text) override;
    void setLastSend(const std::string& text) override;
    void setErrorsButtonEnabled(bool enabled) override;
    void message(const std::string& text) override;
    void errorMessage(const std::string& text) override;
    void beep() override;
    // The run's thread keeps the window live while it pumps.
    void processEvents() override {}
    void repaint() override {}
    void stopTimer() override;
    void startTimer(int intervalMs) override;

  private:
    OperatorRelay& m_relay;
    std::size_t m_lane;
    std::string m_company;
};

}  // namespace replica
