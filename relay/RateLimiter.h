#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

// A sliding one-minute window of requests per client address.
class RateLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(int perMinute);

    // Records a request and returns 0 when it is allowed; otherwise the number
    // of seconds after which the client may try again (at least 1).
    int admit(const std::string &client, Clock::time_point now = Clock::now());
    // The same answer as admit() without recording anything.
    int retryAfter(const std::string &client, Clock::time_point now = Clock::now());

private:
    int waitLocked(const std::string &client, Clock::time_point now);

    int m_perMinute;
    std::mutex m_mutex;
    std::map<std::string, std::deque<Clock::time_point>> m_seen;
};
