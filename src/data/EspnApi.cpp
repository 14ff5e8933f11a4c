#include "EspnApi.h"
#include "MarketOdds.h"

#include "EspnMapping.h"

#include "app/Constants.h"
#include "app/League.h"
#include "app/WorkerPool.h"
#include "data/BlockingRequest.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkRequest>
#include <QSet>
#include <QUrl>
#include <QtDebug>

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

const QString DEFAULT_SITE_HOST = QStringLiteral("https://site.api.espn.com");
const QString DEFAULT_SEARCH_HOST = QStringLiteral("https://site.web.api.espn.com");

// The paths below each host are fixed; only the hosts are configuration.
const QString SITE_BASE = QStringLiteral("/apis/site/v2/sports/soccer");
const QString CORE_BASE = QStringLiteral("/apis/v2/sports/soccer");
const QString SEARCH_PATH = QStringLiteral("/apis/common/v3/search");

const QString LIMIT = QStringLiteral("300");
constexpr int DEFAULT_UPCOMING_DAYS = 75;
constexpr int PROBED_LEAGUES = 6;
constexpr qint64 SEARCH_TTL_SECONDS = 24 * 3600;

// A host from the environment ("http://127.0.0.1:8080"), or the default when
// the variable is unset or unusable; a trailing slash is forgiven.
QString hostFromEnvironment(const char *variable, const QString &fallback)
{
    QString host = qEnvironmentVariable(variable).trimmed();
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    if (host.isEmpty())
        return fallback;
    const QUrl url(host, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty()) {
        qWarning("%s is not an http(s) address; using %s", variable, qUtf8Printable(fallback));
        return fallback;
    }
    return host;
}

bool newerFirst(const Match &a, const Match &b)
{
    return std::tie(a.date, a.time) > std::tie(b.date, b.time);
}

bool soonerFirst(const Match &a, const Match &b)
{
    return std::tie(a.date, a.time) < std::tie(b.date, b.time);
}

template <typename Keep> std::vector<Match> filtered(std::vector<Match> matches, Keep keep)
{
    matches.erase(std::remove_if(matches.begin(), matches.end(), [&](const Match &m) { return !keep(m); }),
                  matches.end());
    return matches;
}

void cut(std::vector<Match> &matches, int n)
{
    if (n < 0)
        n = 0;
    if (matches.size() > size_t(n))
        matches.resize(size_t(n));
}

QString dayText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

EspnApi::EspnApi()
    : CachedJsonClient(QStringLiteral("espn"), QStringLiteral("python-requests/2.31.0"), 12.0)
{
    minInterval = 0.03;
    const QString siteHost = hostFromEnvironment("TOLVO_ESPN_HOST", DEFAULT_SITE_HOST);
    m_siteBase = siteHost + SITE_BASE;
    m_coreBase = siteHost + CORE_BASE;
    m_searchEndpoint = hostFromEnvironment("TOLVO_ESPN_SEARCH_HOST", DEFAULT_SEARCH_HOST) + SEARCH_PATH;
}

EspnApi::~EspnApi() = default;

QString EspnApi::serviceName() const
{
    return QStringLiteral("ESPN");
}

QString EspnApi::urlFor(const QString &path) const
{
    const QString standingsPrefix = QStringLiteral("standings/");
    if (path.startsWith(standingsPrefix))
        return m_coreBase + QLatin1Char('/') + path.mid(standingsPrefix.size());
    return m_siteBase + QLatin1Char('/') + path;
}

int EspnApi::ttlFor(const QString &path) const
{
    if (path.contains(QLatin1String("standings")))
        return 21600;
    if (path.contains(QLatin1String("schedule")))
        return 1800;
    if (path.contains(QLatin1String("scoreboard")))
        return 120;
    return 300;
}

std::vector<QJsonObject> EspnApi::scoreboard(const QString &league, const QDate &from, const QDate &to,
                                             bool bypassCache) const
{
    const QString path = league + QLatin1String("/scoreboard");
    if (!from.isValid() || !to.isValid())
        return {};
    if (from == to) {
        const QJsonObject reply = get(path,
                                      {{QStringLiteral("dates"), from.toString(QStringLiteral("yyyyMMdd"))},
                                       {QStringLiteral("limit"), LIMIT}},
                                      bypassCache);
        return espn::objectsOf(reply.value(QLatin1String("events")));
    }

    // ESPN refuses date ranges ("dates=A-B" answers 400) but still serves a
    // single day or a whole month, so a range is read month by month and cut
    // to the days asked for. Cached per month, a wider window reuses the
    // months a narrower one already fetched.
    const QString first = dayText(from);
    const QString last = dayText(to);
    std::vector<QJsonObject> events;
    QSet<QString> seen;
    // The months are asked for at once and read in calendar order.
    QStringList months;
    for (QDate month(from.year(), from.month(), 1); month <= to; month = month.addMonths(1))
        months.append(month.toString(QStringLiteral("yyyyMM")));
    std::vector<QJsonObject> replies(size_t(months.size()));
    std::vector<std::function<void()>> fetches;
    for (qsizetype i = 0; i < months.size(); ++i) {
        fetches.push_back([&, i] {
            replies[size_t(i)] =
                get(path, {{QStringLiteral("dates"), months.at(i)}, {QStringLiteral("limit"), LIMIT}},
                    bypassCache);
        });
    }
    runConcurrently(fetches);
    for (const QJsonObject &reply : replies) {
        for (QJsonObject &event : espn::objectsOf(reply.value(QLatin1String("events")))) {
            const QString date = espn::dateAndTime(event.value(QLatin1String("date")).toString()).first;
            if (date < first || date > last)
                continue;
            const QString id = espn::eventId(event);
            if (!id.isEmpty()) {
                if (seen.contains(id))
                    continue;
                seen.insert(id);
            }
            events.push_back(std::move(event));
        }
    }
    return events;
}

std::vector<Match> EspnApi::matchesOn(const QString &league, const QDate &date, bool bypassCache) const
{
    const QString day = dayText(date);
    std::vector<Match> matches =
        filtered(toMatches(scoreboard(league, date, date, bypassCache), QString(), league),
                 [&](const Match &m) { return m.date == day; });
    std::stable_sort(matches.begin(), matches.end(),
                     [](const Match &a, const Match &b) { return a.time < b.time; });
    return matches;
}

std::vector<Match> EspnApi::recentMatches(const QString &league, int n) const
{
    const QDate today = QDate::currentDate();
    for (int window : RECENT_WINDOWS) {
        std::vector<Match> matches =
            filtered(toMatches(scoreboard(league, today.addDays(-window), today), QString(), league),
                     [](const Match &m) { return m.hasBothScores(); });
        if (!matches.empty()) {
            std::stable_sort(matches.begin(), matches.end(), newerFirst);
            cut(matches, n);
            return matches;
        }
    }
    return {};
}

std::vector<Match> EspnApi::upcomingMatches(const QString &league, int n, int days) const
{
    if (days == 0)
        days = DEFAULT_UPCOMING_DAYS;
    const QDate today = QDate::currentDate();
    std::vector<Match> matches =
        filtered(toMatches(scoreboard(league, today, today.addDays(days)), QString(), league),
                 [](const Match &m) { return !m.hasBothScores(); });
    std::stable_sort(matches.begin(), matches.end(), soonerFirst);
    cut(matches, n);
    return matches;
}

QMap<QString, QString> EspnApi::leagueForm(const QString &league, int n) const
{
    std::vector<Match> matches;
    try {
        matches = recentMatches(league, 400);
    } catch (const ApiError &) {
        return {};
    }
    std::stable_sort(matches.begin(), matches.end(), soonerFirst);

    QMap<QString, QString> letters;
    for (const Match &m : matches) {
        const auto scores = m.parsedScores();
        if (!scores)
            continue;
        const auto [home, away] = *scores;
        const QChar homeLetter = home > away ? u'W' : home == away ? u'D' : u'L';
        const QChar awayLetter = home > away ? u'L' : home == away ? u'D' : u'W';
        letters[m.home_team] += homeLetter;
        letters[m.away_team] += awayLetter;
    }
    for (QString &form : letters)
        form = form.right(std::max(n, 0));
    return letters;
}

std::optional<Match> EspnApi::lookupEvent(const QString &eventId, bool bypassCache) const
{
    if (eventId.isEmpty())
        return std::nullopt;
    const QJsonObject reply =
        get(QStringLiteral("all/summary"), {{QStringLiteral("event"), eventId}}, bypassCache);
    const QJsonObject header = reply.value(QLatin1String("header")).toObject();
    const QJsonArray competitions = header.value(QLatin1String("competitions")).toArray();
    if (competitions.isEmpty())
        return std::nullopt;
    QJsonObject event;
    event.insert(QLatin1String("id"), eventId);
    event.insert(QLatin1String("date"), competitions.first().toObject().value(QLatin1String("date")));
    event.insert(QLatin1String("competitions"), competitions);
    std::optional<Match> match =
        eventToMatch(event, espn::leagueName(header.value(QLatin1String("league")).toObject()));
    // A summary carries its prices beside the header, not in the competition.
    if (match && !match->market)
        match->market = espn::marketFromOdds(reply.value(QLatin1String("odds")));
    return match;
}

bool EspnApi::teamLeagueContains(const QString &teamId) const
{
    QMutexLocker lock(&m_teamLeagueMutex);
    return m_teamLeague.contains(teamId);
}

QString EspnApi::teamLeagueGet(const QString &teamId) const
{
    QMutexLocker lock(&m_teamLeagueMutex);
    return m_teamLeague.value(teamId);
}

void EspnApi::teamLeagueSetIfAbsent(const QString &teamId, const QString &league) const
{
    if (teamId.isEmpty() || league.isEmpty())
        return;
    QMutexLocker lock(&m_teamLeagueMutex);
    if (!m_teamLeague.contains(teamId))
        m_teamLeague.insert(teamId, league);
}

void EspnApi::teamLeagueSet(const QString &teamId, const QString &league) const
{
    if (teamId.isEmpty() || league.isEmpty())
        return;
    QMutexLocker lock(&m_teamLeagueMutex);
    m_teamLeague.insert(teamId, league);
}

void EspnApi::rememberLeague(const Match &match, const QString &league) const
{
    if (league.isEmpty())
        return;
    teamLeagueSetIfAbsent(match.home_team_id, league);
    teamLeagueSetIfAbsent(match.away_team_id, league);
}

QJsonObject EspnApi::getSearch(const QString &query) const
{
    // What a search finds (a team's id, name and league) hardly ever changes,
    // so an answer is kept for a day: predicting the same teams again asks
    // nothing. Searches skip the spacing and the retries: a user is typing
    // and waiting, and an empty answer is an acceptable outcome (and is not
    // kept).
    const QString key = cacheKey(QStringLiteral("search"), {{QStringLiteral("query"), query}});
    if (std::optional<QJsonObject> cached = readCache(key, SEARCH_TTL_SECONDS))
        return *cached;
    const QNetworkRequest request(
        urlWithQuery(m_searchEndpoint, {{QStringLiteral("query"), query},
                                        {QStringLiteral("limit"), QStringLiteral("12")},
                                        {QStringLiteral("sport"), QStringLiteral("soccer")}}));
    const HttpReply reply = blockingGet(request, {searchTimeoutMs, MaxReplyBytes});
    if (!reply.ok())
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(reply.body);
    if (!doc.isObject())
        return {};
    writeCache(key, doc.object());
    return doc.object();
}

void EspnApi::ensureLeagueKnown(const QString &teamId) const
{
    if (teamId.isEmpty() || teamLeagueContains(teamId))
        return;
    const QJsonObject reply = getSearch(teamId);
    for (const QJsonObject &item : espn::objectsOf(reply.value(QLatin1String("items")))) {
        if (item.value(QLatin1String("type")).toString() != QLatin1String("team") ||
            espn::idText(item.value(QLatin1String("id"))) != teamId)
            continue;
        QString slug = item.value(QLatin1String("defaultLeagueSlug")).toString();
        if (slug.isEmpty())
            slug = item.value(QLatin1String("league")).toString();
        teamLeagueSetIfAbsent(teamId, slug);
        return;
    }
}

QStringList EspnApi::leaguesToTry(const QString &teamId) const
{
    const QString known = teamLeagueGet(teamId);
    if (!known.isEmpty())
        return {known};
    QStringList slugs;
    for (const League &league : defaultLeagues().mid(0, PROBED_LEAGUES))
        slugs.append(league.slug);
    return slugs;
}

std::vector<QJsonObject> EspnApi::teamSchedule(const QString &teamId, int season) const
{
    for (const QString &slug : leaguesToTry(teamId)) {
        QJsonObject reply;
        try {
            reply = get(slug + QLatin1String("/teams/") + teamId + QLatin1String("/schedule"),
                        {{QStringLiteral("season"), QString::number(season)}});
        } catch (const ApiError &) {
            continue;
        }
        std::vector<QJsonObject> events = espn::objectsOf(reply.value(QLatin1String("events")));
        if (!events.empty()) {
            teamLeagueSet(teamId, slug);
            return events;
        }
    }
    return {};
}

std::vector<Match> EspnApi::teamLastEvents(const QString &teamId, int n) const
{
    if (teamId.isEmpty())
        return {};
    ensureLeagueKnown(teamId);
    const int season = seasonStartYear(QDate::currentDate());
    for (int s : {season, season - 1}) {
        std::vector<Match> matches = filtered(toMatches(teamSchedule(teamId, s), QString(), QString()),
                                              [](const Match &m) { return m.hasBothScores(); });
        if (!matches.empty()) {
            std::stable_sort(matches.begin(), matches.end(), newerFirst);
            cut(matches, n);
            return matches;
        }
    }
    return {};
}
