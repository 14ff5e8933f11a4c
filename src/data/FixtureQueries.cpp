#include "FixtureQueries.h"

#include "app/League.h"
#include "data/EspnApi.h"

#include <QMap>
#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <exception>
#include <memory>
#include <tuple>

namespace {

// One league's fetch as a pool task that keeps its outcome for the caller.
class LeagueFetch : public QRunnable
{
public:
    LeagueFetch(const EspnApi &api, QString slug, QDate day, bool bypassCache)
        : m_api(api)
        , m_slug(std::move(slug))
        , m_day(day)
        , m_bypassCache(bypassCache)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        try {
            m_matches = m_api.matchesOn(m_slug, m_day, m_bypassCache);
        } catch (...) {
            m_error = std::current_exception();
        }
        m_done.release();
    }

    std::vector<Match> take(QThreadPool *pool)
    {
        // A task still queued is run right here: waiting for it from a pool
        // thread could otherwise starve the pool that has to run it.
        if (pool->tryTake(this))
            run();
        m_done.acquire();
        if (m_error)
            std::rethrow_exception(m_error);
        return std::move(m_matches);
    }

private:
    const EspnApi &m_api;
    QString m_slug;
    QDate m_day;
    bool m_bypassCache;
    std::vector<Match> m_matches;
    std::exception_ptr m_error;
    QSemaphore m_done;
};

} // namespace

std::vector<Match> fetchTodayMatches(const EspnApi &api, const QString &filter, const QDate &today,
                                     bool bypassCache)
{
    if (filter != ALL_LEAGUES)
        return api.matchesOn(filter, today, bypassCache);

    QThreadPool *pool = QThreadPool::globalInstance();
    std::vector<std::unique_ptr<LeagueFetch>> fetches;
    for (const League &league : defaultLeagues()) {
        fetches.push_back(std::make_unique<LeagueFetch>(api, league.slug, today, bypassCache));
        pool->start(fetches.back().get());
    }

    // Every task must have finished before the tasks are destroyed, even when
    // an earlier league failed; the first failure in list order is reported.
    QMap<QString, Match> byId;
    std::exception_ptr firstError;
    for (const auto &fetch : fetches) {
        try {
            for (const Match &m : fetch->take(pool))
                byId.insert(m.id, m); // a later league's copy replaces an earlier one
        } catch (...) {
            if (!firstError)
                firstError = std::current_exception();
        }
    }
    if (firstError)
        std::rethrow_exception(firstError);

    std::vector<Match> merged(byId.cbegin(), byId.cend());
    std::stable_sort(merged.begin(), merged.end(), [](const Match &a, const Match &b) {
        return std::tie(a.time, a.league) < std::tie(b.time, b.league);
    });
    return merged;
}

Match hypotheticalMatch(const Team &home, const Team &away)
{
    Match m;
    m.id = Match::hypotheticalId(home.id, away.id);
    m.home_team = home.name;
    m.away_team = away.name;
    m.home_team_id = home.id;
    m.away_team_id = away.id;
    m.home_badge = home.badge_url;
    m.away_badge = away.badge_url;
    m.league = home.league.isEmpty() ? away.league : home.league;
    return m;
}

bool isMatchOver(const Match &match)
{
    return match.state == QLatin1String("post") ||
           (match.hasBothScores() && match.state != QLatin1String("in"));
}

bool isHypothetical(const Match &match)
{
    return Match::isHypotheticalId(match.id);
}

std::pair<Match, bool> findMatchup(const EspnApi &api, const QString &a, const QString &b)
{
    const std::vector<Match> meetings = api.searchHeadToHead(a, b);
    if (!meetings.empty()) {
        // Newest first, so the first unplayed entry is the latest-dated one.
        const auto unplayed =
            std::find_if(meetings.begin(), meetings.end(), [](const Match &m) { return !m.hasBothScores(); });
        return {unplayed != meetings.end() ? *unplayed : meetings.front(), false};
    }
    const std::optional<Team> home = api.searchTeam(a);
    const std::optional<Team> away = api.searchTeam(b);
    if (!home || !away)
        throw ApiError(QStringLiteral("Couldn't find a team called \"%1\".").arg(!home ? a : b));
    return {hypotheticalMatch(*home, *away), true};
}
