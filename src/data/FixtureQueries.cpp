#include "FixtureQueries.h"

#include "app/League.h"
#include "app/WorkerPool.h"
#include "data/EspnApi.h"

#include <QMap>

#include <algorithm>
#include <functional>
#include <tuple>

std::vector<Match> fetchTodayMatches(const EspnApi &api, const QString &filter, const QDate &today,
                                     bool bypassCache)
{
    if (filter != ALL_LEAGUES)
        return api.matchesOn(filter, today, bypassCache);

    const QList<League> leagues = defaultLeagues();
    std::vector<std::vector<Match>> perLeague(size_t(leagues.size()));
    std::vector<std::function<void()>> fetches;
    for (qsizetype i = 0; i < leagues.size(); ++i)
        fetches.push_back(
            [&, i] { perLeague[size_t(i)] = api.matchesOn(leagues.at(i).slug, today, bypassCache); });
    runConcurrently(fetches);

    QMap<QString, Match> byId;
    for (const std::vector<Match> &matches : perLeague) {
        for (const Match &m : matches)
            byId.insert(m.id, m); // a later league's copy replaces an earlier one
    }
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
