#pragma once
// A TCP proxy on 127.0.0.1 that makes a server look far away: every byte is
// held for a fixed time in each direction (the order of the bytes kept, the
// two directions independent), and what crosses it is counted per
// connection.
//
// A round trip is counted each time the talk turns back to the server: the
// client sends after having received (or for the first time). For a
// request-and-answer protocol that is the number of exchanges the client
// waited for, which is what a remote site pays for.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace replica::bench {

class DelayProxy {
  public:
    // Forwards to 127.0.0.1:targetPort. Throws std::runtime_error when it
    // cannot listen.
    DelayProxy(int targetPort, std::chrono::microseconds oneWay);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int port() const { return m_port; }
    // The delay of the bytes that arrive from now on.
    void setDelay(std::chrono::microseconds oneWay) { m_delayUs = oneWay.count(); }

    struct Counts {
        long long roundTrips = 0;
        long long bytesToServer = 0;
        long long bytesToClient = 0;
        long long connections = 0;
    };
    // Summed over every connection since the last reset.
    Counts counts() const;
    void reset();

  private:
    struct Link;
    void acceptLoop();

    int m_port = 0;
    int m_targetPort = 0;
    int m_listener = -1;
    std::atomic<long long> m_delayUs;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Link>> m_links;
    Counts m_closed;  // of the links already gone, since the last reset
};

}  // namespace replica::bench
