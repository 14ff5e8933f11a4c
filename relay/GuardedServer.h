#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

// The HTTP server the relay runs, hardened for strangers on top of
// cpp-httplib, whose own loop only bounds each single receive and keeps
// connections alive across requests:
// - every connection carries exactly one request, answered with
//   "Connection: close", so bytes of a body that was refused unread can never
//   be taken for a next request;
// - the whole request (head and body) must arrive before a deadline, however
//   slowly it trickles in, and within `maxRequestBytes`;
// - after the answer, what the client still sends is read off and dropped for
//   a short while (at most `maxRequestBytes` again), so a client refused
//   mid-upload sees the answer rather than a reset.
class GuardedServer : public httplib::Server
{
public:
    GuardedServer(std::chrono::milliseconds requestDeadline, std::size_t maxRequestBytes);

    // Call after binding: cpp-httplib listens with a queue of 5, which drops
    // bursts of connects.
    void widenBacklog();

private:
    bool process_and_close_socket(socket_t sock) override;

    std::chrono::milliseconds m_deadline;
    std::size_t m_maxBytes;
};
