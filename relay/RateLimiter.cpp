#include "RateLimiter.h"

#include <algorithm>

namespace {

const auto Window = std::chrono::minutes(1);

} // namespace

RateLimiter::RateLimiter(int perMinute)
    : m_perMinute(perMinute)
{}

int RateLimiter::waitLocked(const std::string &client, Clock::time_point now)
{
    // Forget clients whose window has emptied so the map cannot grow without
    // bound under a stream of one-off addresses.
    for (auto it = m_seen.begin(); it != m_seen.end();) {
        auto &times = it->second;
        while (!times.empty() && now - times.front() >= Window)
            times.pop_front();
        it = times.empty() ? m_seen.erase(it) : std::next(it);
    }
    const auto found = m_seen.find(client);
    if (found == m_seen.end() || int(found->second.size()) < m_perMinute)
        return 0;
    const auto wait = std::chrono::duration_cast<std::chrono::seconds>(found->second.front() + Window - now);
    return std::max<int>(1, int(wait.count()) + 1);
}

int RateLimiter::admit(const std::string &client, Clock::time_point now)
{
    if (m_perMinute <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int wait = waitLocked(client, now);
    if (wait == 0)
        m_seen[client].push_back(now);
    return wait;
}

int RateLimiter::retryAfter(const std::string &client, Clock::time_point now)
{
    if (m_perMinute <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    return waitLocked(client, now);
}
