#include "RateLimiter.h"

#include <algorithm>

RateLimiter::RateLimiter(int perMinute)
    : m_perMinute(perMinute)
{}

int RateLimiter::admit(const std::string &client, Clock::time_point now)
{
    if (m_perMinute <= 0)
        return 0;
    const auto window = std::chrono::minutes(1);
    std::lock_guard<std::mutex> lock(m_mutex);

    // Forget clients whose window has emptied so the map cannot grow without
    // bound under a stream of one-off addresses.
    for (auto it = m_seen.begin(); it != m_seen.end();) {
        auto &times = it->second;
        while (!times.empty() && now - times.front() >= window)
            times.pop_front();
        it = times.empty() ? m_seen.erase(it) : std::next(it);
    }

    auto &times = m_seen[client];
    if (int(times.size()) < m_perMinute) {
        times.push_back(now);
        return 0;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::seconds>(times.front() + window - now);
    return std::max<int>(1, int(wait.count()) + 1);
}
