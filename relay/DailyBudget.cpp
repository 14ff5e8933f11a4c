#include "DailyBudget.h"

namespace {

constexpr std::int64_t SecondsPerDay = 24 * 60 * 60;

} // namespace

DailyBudget::DailyBudget(std::int64_t tokensPerDay)
    : m_perDay(tokensPerDay)
{}

void DailyBudget::turnDay(std::time_t now)
{
    // POSIX time has no leap seconds, so UTC days are whole multiples.
    const std::int64_t day = std::int64_t(now) / SecondsPerDay;
    if (day != m_day) {
        m_day = day;
        m_spent = 0;
    }
}

int DailyBudget::secondsUntilRefill(std::time_t now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    turnDay(now);
    if (m_spent < m_perDay)
        return 0;
    return int((m_day + 1) * SecondsPerDay - std::int64_t(now));
}

void DailyBudget::spend(std::int64_t tokens, std::time_t now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    turnDay(now);
    m_spent += tokens;
}
