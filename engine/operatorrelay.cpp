#include "engine/operatorrelay.h"

#include <numeric>

namespace replica {

void OperatorRelay::post(std::function<void(Operator&)> call) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    m_posted.notify_one();
}

void OperatorRelay::wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_posted.notify_one();
}

void OperatorRelay::pump(std::chrono::milliseconds wait) {
    std::deque<std::function<void(Operator&)>> calls;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_posted.wait_for(lock, wait, [this] { return !m_calls.empty() || m_woken; });
        calls.swap(m_calls);
        m_woken = false;
    }
    // Outside the lock: a call may open a box and wait for a click while
    // the lanes go on posting.
    for (auto& call : calls) {
        call(m_target);
    }
}

void OperatorRelay::laneMaximum(std::size_t lane, int maximum) {
    if (m_maximum.size() <= lane) {
        m_maximum.resize(lane + 1, 0);
        m_position.resize(lane + 1, 0);
    }
    m_maximum[lane] = maximum;
    m_position[lane] = 0;
    showProgress();
}

void OperatorRelay::laneStep(std::size_t lane) {
    if (lane < m_position.size()) {
        ++m_position[lane];
        m_target.stepProgress();
    }
}

void OperatorRelay::showProgress() {
    // A new maximum puts the bar back at 0: the steps already made are
    // shown again.
    m_target.setProgressMaximum(std::accumulate(m_maximum.begin(), m_maximum.end(), 0));
    const int done = std::accumulate(m_position.begin(), m_position.end(), 0);
    for (int i = 0; i < done; ++i) {
        m_target.stepProgress();
    }
}

void LaneOperator::setDownloadCount(const std::string& text) {
    m_relay.post([text](Operator& op) { op.setDownloadCount(text); });
}

void LaneOperator::setUploadCount(const std::string& text) {
    m_relay.post([text](Operator& op) { op.setUploadCount(text); });
}

void LaneOperator::setProgressMaximum(int maximum) {
    m_relay.post([this, maximum](Operator&) { m_relay.laneMaximum(m_lane, maximum); });
}

void LaneOperator::stepProgress() {
    m_relay.post([this](Operator&) { m_relay.laneStep(m_lane); });
}

void LaneOperator::showEventLine(const std::string& text) {
    m_relay.post([line = m_company + ": " + text](Operator& op) { op.showEventLine(line); });
}

void LaneOperator::setLastError(const std::string& text) {
    m_relay.post([text](Operator& op) { op.setLastError(text); });
}

void LaneOperator::setLastSend(const std::string& text) {
    m_relay.post([text](Operator& op) { op.setLastSend(text); });
}

void LaneOperator::setErrorsButtonEnabled(bool enabled) {
    m_relay.post([enabled](Operator& op) { op.setErrorsButtonEnabled(enabled); });
}

void LaneOperator::message(const std::string& text) {
    m_relay.post([text](Operator& op) { op.message(text); });
}

void LaneOperator::errorMessage(const std::string& text) {
    m_relay.post([text](Operator& op) { op.errorMessage(text); });
}

void LaneOperator::beep() {
    m_relay.post([](Operator& op) { op.beep(); });
}

void LaneOperator::stopTimer() {
    m_relay.post([](Operator& op) { op.stopTimer(); });
}

void LaneOperator::startTimer(int intervalMs) {
    m_relay.post([intervalMs](Operator& op) { op.startTimer(intervalMs); });
}

}  // namespace replica
