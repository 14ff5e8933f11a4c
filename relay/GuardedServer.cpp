#include "GuardedServer.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Longest silence accepted inside a request, and while draining after it.
constexpr int ReadIdleMs = 5000;
constexpr int WriteIdleMs = 15000;
constexpr int DrainIdleMs = 1000;

#ifdef Q_OS_WIN
using IoSize = int;
constexpr int SendFlags = 0;
constexpr int ShutWrite = SD_SEND;
int waitFor(socket_t sock, short events, int ms)
{
    WSAPOLLFD p{sock, events, 0};
    return WSAPoll(&p, 1, ms);
}
void closeSocket(socket_t sock)
{
    closesocket(sock);
}
#else
using IoSize = std::size_t;
constexpr int SendFlags = MSG_NOSIGNAL;
constexpr int ShutWrite = SHUT_WR;
int waitFor(socket_t sock, short events, int ms)
{
    pollfd p{sock, events, 0};
    return ::poll(&p, 1, ms);
}
void closeSocket(socket_t sock)
{
    ::close(sock);
}
#endif

// Milliseconds left before `until`, at most `cap`, never negative.
int msLeft(Clock::time_point until, int cap)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, cap));
}

void numericAddress(const sockaddr_storage &address, socklen_t length, std::string &ip, int &port)
{
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

// A socket stream whose reads give up at the request's deadline, however
// regularly bytes keep arriving, or past a total size (cpp-httplib bounds
// each header line but not their number). Reads are buffered because the header
// parser asks for one byte at a time.
class DeadlineStream : public httplib::Stream
{
public:
    DeadlineStream(socket_t sock, Clock::time_point deadline, std::size_t maxBytes)
        : m_sock(sock)
        , m_deadline(deadline)
        , m_left(maxBytes)
    {}

    bool is_readable() const override
    {
        if (m_begin < m_end)
            return true;
        const int ms = msLeft(m_deadline, ReadIdleMs);
        return ms > 0 && waitFor(m_sock, POLLIN, ms) > 0;
    }

    bool is_writable() const override { return waitFor(m_sock, POLLOUT, WriteIdleMs) > 0; }

    ssize_t read(char *ptr, size_t size) override
    {
        if (m_begin == m_end) {
            if (m_left == 0 || !is_readable())
                return -1;
            const auto n = ::recv(m_sock, m_buffer, IoSize(std::min(sizeof m_buffer, m_left)), 0);
            if (n <= 0)
                return n;
            m_begin = 0;
            m_end = std::size_t(n);
            m_left -= m_end;
        }
        const std::size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, n);
        m_begin += n;
        return ssize_t(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        return ::send(m_sock, ptr, IoSize(size), SendFlags);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getpeername(m_sock, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            numericAddress(address, length, ip, port);
    }

    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(m_sock, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            numericAddress(address, length, ip, port);
    }

    socket_t socket() const override { return m_sock; }

private:
    socket_t m_sock;
    Clock::time_point m_deadline;
    std::size_t m_left; // bytes this request may still read, head included
    char m_buffer[4096];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace

GuardedServer::GuardedServer(std::chrono::milliseconds requestDeadline, std::size_t maxRequestBytes)
    : m_deadline(requestDeadline)
    , m_maxBytes(maxRequestBytes)
{}

void GuardedServer::widenBacklog()
{
    ::listen(svr_sock_, SOMAXCONN);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    const auto deadline = Clock::now() + m_deadline;
    bool closed = false;
    bool handled = false;
    {
        DeadlineStream stream(sock, deadline, m_maxBytes);
        handled = process_request(stream, true, closed, nullptr);
    }

    // The answer is out; a lingering close keeps it from being lost to a
    // reset while the client is still sending what was refused.
    ::shutdown(sock, ShutWrite);
    char sink[4096];
    std::size_t drained = 0;
    while (drained < m_maxBytes) {
        const int ms = msLeft(deadline, DrainIdleMs);
        if (ms <= 0 || waitFor(sock, POLLIN, ms) <= 0)
            break;
        const auto n = ::recv(sock, sink, IoSize(sizeof sink), 0);
        if (n <= 0)
            break;
        drained += std::size_t(n);
    }
    closeSocket(sock);
    return handled;
}
