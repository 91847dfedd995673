#pragma once
// A TCP relay on 127.0.0.1 that holds every chunk it forwards for a fixed
// time in each direction, as a distant server would: a round trip costs
// twice that. It counts round trips as the turns of the conversation (the
// client speaking again after the server answered).
#include <QtGlobal>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class LatencyRelay
{
public:
    using Clock = std::chrono::steady_clock;

    LatencyRelay(quint16 targetPort, std::chrono::milliseconds oneWay)
        : m_target(targetPort)
        , m_delay(oneWay)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        ::listen(m_listener, 8);
        m_acceptor = std::thread([this] { serve(); });
    }
    ~LatencyRelay()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_acceptor.join();
        {
            std::lock_guard lock(m_mutex);
            for (const int fd : m_sockets)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (std::thread &t : m_pumps)
            t.join();
        for (const int fd : m_sockets)
            ::close(fd);
    }
    LatencyRelay(const LatencyRelay &) = delete;
    LatencyRelay &operator=(const LatencyRelay &) = delete;

    quint16 port() const { return m_port; }
    int roundTrips() const { return m_roundTrips; }

private:
    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return a;
    }

    void serve()
    {
        for (;;) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0 || m_stopping)
                return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a = loopback(m_target);
            if (::connect(server, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
                ::close(server);
                ::close(client);
                continue;
            }
            std::lock_guard lock(m_mutex);
            m_sockets.insert(m_sockets.end(), {client, server});
            m_pumps.emplace_back([this, client, server] { pump(client, server, true); });
            m_pumps.emplace_back([this, client, server] { pump(server, client, false); });
        }
    }

    // Forwards from one socket to the other, each chunk once it is due.
    void pump(int from, int to, bool fromClient)
    {
        struct Chunk
        {
            Clock::time_point due;
            std::string bytes;
        };
        std::deque<Chunk> held;
        bool open = true;
        char buffer[65536];
        while (open || !held.empty()) {
            int wait = -1;
            if (!held.empty())
                wait = int(std::max<qint64>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(held.front().due - Clock::now()).count()));
            pollfd p{from, POLLIN, 0};
            if (open && ::poll(&p, 1, wait) > 0) {
                const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    open = false;
                } else {
                    held.push_back({Clock::now() + m_delay, std::string(buffer, std::size_t(n))});
                    const bool turn = m_lastFromClient.exchange(fromClient) != fromClient;
                    if (fromClient && turn)
                        ++m_roundTrips;
                }
            } else if (!open && !held.empty()) {
                std::this_thread::sleep_until(held.front().due);
            }
            while (!held.empty() && held.front().due <= Clock::now()) {
                const std::string &b = held.front().bytes;
                for (std::size_t off = 0; off < b.size();) {
                    const ssize_t n = ::send(to, b.data() + off, b.size() - off, MSG_NOSIGNAL);
                    if (n <= 0)
                        return;
                    off += std::size_t(n);
                }
                held.pop_front();
            }
        }
        ::shutdown(to, SHUT_WR);
    }

    quint16 m_target;
    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_lastFromClient{false};
    std::atomic<int> m_roundTrips{0};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_pumps;
};

} // namespace bench
