#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

// Tokens the relay may spend on the operator's key per UTC day. Usage is
// counted after each reply, so calls already under way when the budget runs
// out may overshoot it by their own size.
class DailyBudget
{
public:
    explicit DailyBudget(std::int64_t tokensPerDay);

    // 0 while tokens remain today; otherwise the seconds until midnight UTC.
    int secondsUntilRefill(std::time_t now = std::time(nullptr));
    void spend(std::int64_t tokens, std::time_t now = std::time(nullptr));

private:
    void turnDay(std::time_t now);

    const std::int64_t m_perDay;
    std::mutex m_mutex;
    std::int64_t m_day = -1;
    std::int64_t m_spent = 0;
};
