// EspnApi: team search, head-to-head lists and league tables.

#include "EspnApi.h"

#include "EspnMapping.h"

#include "app/WorkerPool.h"

#include <QDate>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

QString seasonLabel(int startYear)
{
    return QStringLiteral("%1-%2").arg(startYear).arg(startYear + 1);
}

bool sameFixture(const Match &m, const QString &team1, const QString &team2)
{
    return (m.home_team == team1 && m.away_team == team2) || (m.home_team == team2 && m.away_team == team1);
}

} // namespace

std::optional<std::pair<QString, QString>> EspnApi::parseVsQuery(const QString &query)
{
    // Tried in this order: "vs" first, so that a team whose name contains a
    // hyphen still splits at an explicit "vs".
    static const QList<QRegularExpression> separators = {
        QRegularExpression(QStringLiteral("\\s+vs\\.?\\s+"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("\\s+v\\s+"), QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("\\s*-\\s+")),
        QRegularExpression(QStringLiteral("\\s+@\\s+")),
    };
    const QString trimmed = query.trimmed();
    for (const QRegularExpression &separator : separators) {
        const QStringList parts = trimmed.split(separator, Qt::KeepEmptyParts);
        if (parts.size() != 2)
            continue;
        const QString first = parts.at(0).trimmed();
        const QString second = parts.at(1).trimmed();
        if (!first.isEmpty() && !second.isEmpty())
            return std::make_pair(first, second);
    }
    return std::nullopt;
}

std::optional<Team> EspnApi::searchTeam(const QString &name) const
{
    const QString q = name.trimmed().toLower();
    if (q.isEmpty())
        return std::nullopt;

    std::vector<QJsonObject> teams;
    for (const QJsonObject &item : espn::objectsOf(getSearch(q).value(QLatin1String("items")))) {
        if (item.value(QLatin1String("type")).toString() == QLatin1String("team"))
            teams.push_back(item);
    }
    if (teams.empty())
        return std::nullopt;

    auto chosen = std::find_if(teams.cbegin(), teams.cend(), [&](const QJsonObject &item) {
        return item.value(QLatin1String("displayName")).toString().toLower() == q;
    });
    const QJsonObject item = chosen != teams.cend() ? *chosen : teams.front();

    QString slug = item.value(QLatin1String("defaultLeagueSlug")).toString();
    if (slug.isEmpty())
        slug = item.value(QLatin1String("league")).toString();
    const QString id = espn::idText(item.value(QLatin1String("id")));
    teamLeagueSetIfAbsent(id, slug);

    Team team;
    team.id = id;
    team.name = item.value(QLatin1String("displayName")).toString();
    if (team.name.isEmpty())
        team.name = item.value(QLatin1String("name")).toString();
    if (team.name.isEmpty())
        team.name = name;
    team.badge_url = logoOf(item);
    team.league = leagueNameFor(slug);
    return team;
}

std::vector<Match> EspnApi::searchHeadToHead(const QString &name1, const QString &name2) const
{
    std::optional<Team> t1;
    std::optional<Team> t2;
    runConcurrently({[&] { t1 = searchTeam(name1); }, [&] { t2 = searchTeam(name2); }});
    if (!t1 || !t2)
        return {};

    // Three seasons of the first team's schedule and the league's upcoming
    // fixtures, all asked for at once; each list is kept apart so that the
    // merge below sees them in the same order whichever answers first.
    const int season = seasonStartYear(QDate::currentDate());
    const int seasons[] = {season, season - 1, season - 2};
    std::vector<Match> found[4];
    auto leagueOfTeams = [&] {
        const QString league = teamLeagueGet(t1->id);
        return league.isEmpty() ? teamLeagueGet(t2->id) : league;
    };
    QString league = leagueOfTeams();
    auto readUpcoming = [&] {
        try {
            for (const Match &m : upcomingMatches(league, 200, 0)) {
                if (sameFixture(m, t1->name, t2->name))
                    found[3].push_back(m);
            }
        } catch (const ApiError &) {
            // The past meetings are worth returning on their own.
        }
    };
    std::vector<std::function<void()>> fetches;
    for (int i = 0; i < 3; ++i) {
        fetches.push_back([&, i] {
            for (const Match &m : toMatches(teamSchedule(t1->id, seasons[i]), QString(), QString())) {
                if (sameFixture(m, t1->name, t2->name))
                    found[i].push_back(m);
            }
        });
    }
    if (!league.isEmpty())
        fetches.push_back(readUpcoming);
    runConcurrently(fetches);
    // Neither search named a league: a schedule that answered may have.
    if (league.isEmpty()) {
        league = leagueOfTeams();
        if (!league.isEmpty())
            readUpcoming();
    }

    // Keyed by event id: a meeting found in two seasons' schedules, or both in
    // a schedule and among the upcoming fixtures, is listed once.
    QMap<QString, Match> meetings;
    for (const std::vector<Match> &list : found) {
        for (const Match &m : list)
            meetings.insert(m.id, m);
    }

    std::vector<Match> result(meetings.cbegin(), meetings.cend());
    std::stable_sort(result.begin(), result.end(), [](const Match &a, const Match &b) {
        return std::tie(a.date, a.time) > std::tie(b.date, b.time);
    });
    return result;
}

std::vector<StandingsRow> EspnApi::standings(const QString &league, const QString &season) const
{
    QueryParams params;
    if (!season.isEmpty())
        params.insert(QStringLiteral("season"), season);
    const QJsonObject reply = get(QLatin1String("standings/") + league + QLatin1String("/standings"), params);

    auto entriesOf = [](const QJsonObject &holder) {
        return espn::objectsOf(
            holder.value(QLatin1String("standings")).toObject().value(QLatin1String("entries")));
    };
    std::vector<QJsonObject> entries;
    for (const QJsonObject &group : espn::objectsOf(reply.value(QLatin1String("children")))) {
        std::vector<QJsonObject> groupEntries = entriesOf(group);
        entries.insert(entries.end(), groupEntries.begin(), groupEntries.end());
    }
    if (entries.empty())
        entries = entriesOf(reply);

    std::vector<StandingsRow> rows;
    rows.reserve(entries.size());
    for (const QJsonObject &entry : entries) {
        QHash<QString, QString> stats;
        for (const QJsonObject &stat : espn::objectsOf(entry.value(QLatin1String("stats"))))
            stats.insert(stat.value(QLatin1String("name")).toString(),
                         stat.value(QLatin1String("displayValue")).toString());
        const QJsonObject team = entry.value(QLatin1String("team")).toObject();

        StandingsRow row;
        row.rank = stats.value(QStringLiteral("rank"));
        row.team = team.value(QLatin1String("displayName")).toString();
        if (row.team.isEmpty())
            row.team = team.value(QLatin1String("name")).toString();
        row.gamesPlayed = stats.value(QStringLiteral("gamesPlayed"));
        row.wins = stats.value(QStringLiteral("wins"));
        row.ties = stats.value(QStringLiteral("ties"));
        row.losses = stats.value(QStringLiteral("losses"));
        row.pointDifferential = stats.value(QStringLiteral("pointDifferential"));
        row.points = stats.value(QStringLiteral("points"));
        rows.push_back(row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const StandingsRow &a, const StandingsRow &b) {
        return safeInt(a.rank, 999) < safeInt(b.rank, 999);
    });
    return rows;
}

std::pair<std::vector<StandingsRow>, QString> EspnApi::standingsLatest(const QString &league) const
{
    const int season = seasonStartYear(QDate::currentDate());
    for (int s : {season, season - 1, season - 2}) {
        std::vector<StandingsRow> rows = standings(league, QString::number(s));
        const bool played = std::any_of(rows.cbegin(), rows.cend(), [](const StandingsRow &row) {
            return safeInt(row.gamesPlayed, 0) > 0;
        });
        if (played)
            return {std::move(rows), seasonLabel(s)};
    }
    return {{}, seasonLabel(season)};
}

QStringList EspnApi::seasonLabels(int n) const
{
    const int season = seasonStartYear(QDate::currentDate());
    QStringList labels;
    for (int i = 0; i < n; ++i)
        labels.append(seasonLabel(season - i));
    return labels;
}
