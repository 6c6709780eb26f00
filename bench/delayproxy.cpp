#include "bench/delayproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <string>

namespace replica::bench {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

void noDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

// One client connection and its connection to the server: two directions,
// each read as it arrives and written once its delay has passed.
struct DelayProxy::Link {
    struct Direction {
        int from = -1;
        int to = -1;
        bool up = false;  // client to server
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<std::pair<Clock::time_point, std::string>> queue;
        bool ended = false;
        std::thread reader;
        std::thread writer;
    };

    Link(int client, int server, DelayProxy& proxy) : m_proxy(proxy) {
        m_up.from = client;
        m_up.to = server;
        m_up.up = true;
        m_down.from = server;
        m_down.to = client;
        for (Direction* d : {&m_up, &m_down}) {
            d->reader = std::thread([this, d] { read(*d); });
            d->writer = std::thread([this, d] { write(*d); });
        }
    }
    ~Link() {
        for (Direction* d : {&m_up, &m_down}) {
            ::shutdown(d->from, SHUT_RDWR);
        }
        for (Direction* d : {&m_up, &m_down}) {
            d->reader.join();
            d->writer.join();
        }
        ::close(m_up.from);
        ::close(m_down.from);
    }

    void read(Direction& d) {
        std::string buffer(65536, '\0');
        for (;;) {
            const ssize_t n = ::recv(d.from, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                break;
            }
            if (d.up) {
                if (!m_lastUp.exchange(true)) {
                    ++roundTrips;
                }
                bytesToServer += n;
            } else {
                m_lastUp = false;
                bytesToClient += n;
            }
            const auto due = Clock::now() + std::chrono::microseconds(m_proxy.m_delayUs.load());
            std::lock_guard<std::mutex> lock(d.mutex);
            d.queue.emplace_back(due, buffer.substr(0, static_cast<std::size_t>(n)));
            d.ready.notify_one();
        }
        std::lock_guard<std::mutex> lock(d.mutex);
        d.ended = true;
        d.ready.notify_one();
    }

    void write(Direction& d) {
        for (;;) {
            std::unique_lock<std::mutex> lock(d.mutex);
            d.ready.wait(lock, [&] { return d.ended || !d.queue.empty(); });
            if (d.queue.empty()) {
                break;  // ended, and everything delivered
            }
            auto [due, bytes] = std::move(d.queue.front());
            d.queue.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            std::size_t sent = 0;
            while (sent < bytes.size()) {
                const ssize_t n =
                    ::send(d.to, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        }
        // The other side learns the end once what was said before it arrived.
        ::shutdown(d.to, SHUT_WR);
    }

    DelayProxy& m_proxy;
    Direction m_up;
    Direction m_down;
    // The last bytes went to the server; the first ones count as a turn.
    std::atomic<bool> m_lastUp{false};
    std::atomic<long long> roundTrips{0};
    std::atomic<long long> bytesToServer{0};
    std::atomic<long long> bytesToClient{0};
};

DelayProxy::DelayProxy(int targetPort, std::chrono::microseconds oneWay)
    : m_targetPort(targetPort), m_delayUs(oneWay.count()) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("the delay proxy cannot listen on 127.0.0.1");
    }
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

DelayProxy::~DelayProxy() {
    m_stop = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_acceptor.join();
    ::close(m_listener);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_links.clear();
}

void DelayProxy::acceptLoop() {
    while (!m_stop) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in target = loopback(m_targetPort);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            ::close(client);
            if (server >= 0) {
                ::close(server);
            }
            continue;
        }
        noDelay(client);
        noDelay(server);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_links.push_back(std::make_unique<Link>(client, server, *this));
        ++m_closed.connections;
    }
}

DelayProxy::Counts DelayProxy::counts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Counts c = m_closed;
    for (const auto& link : m_links) {
        c.roundTrips += link->roundTrips;
        c.bytesToServer += link->bytesToServer;
        c.bytesToClient += link->bytesToClient;
    }
    return c;
}

void DelayProxy::reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = Counts{};
    for (const auto& link : m_links) {
        link->roundTrips = 0;
        link->bytesToServer = 0;
        link->bytesToClient = 0;
    }
}

}  // namespace replica::bench
