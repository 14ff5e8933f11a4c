#pragma once

#include "data/CachedJsonClient.h"
#include "data/StandingsRow.h"
#include "model/Match.h"
#include "model/Team.h"

#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// ESPN's public soccer API: fixtures, events, team schedules, search and
// league tables, mapped onto the shared records. Every operation blocks and
// runs on a worker thread; one client is shared by all of them.
//
// The hosts default to ESPN's and can be pointed elsewhere with the
// environment variables TOLVO_ESPN_HOST and TOLVO_ESPN_SEARCH_HOST (scheme,
// host and optional port), read when the client is built.
class EspnApi : public CachedJsonClient
{
public:
    EspnApi();
    ~EspnApi() override;

    QString serviceName() const override;
    QString urlFor(const QString &path) const override;
    int ttlFor(const QString &path) const override;

    // Roots of the API after the host overrides were applied.
    QString siteBase() const { return m_siteBase; }
    QString coreBase() const { return m_coreBase; }
    QString searchEndpoint() const { return m_searchEndpoint; }

    // Mapping of ESPN objects onto records.
    static QString leagueNameFor(const QString &slug);
    static int seasonStartYear(const QDate &date);
    static QString scoreOf(const QJsonObject &competitor);
    static int safeInt(const QString &text, int fallback);
    static QString logoOf(const QJsonObject &object);
    std::optional<Match> eventToMatch(const QJsonObject &event, const QString &leagueName) const;
    std::vector<Match> toMatches(const std::vector<QJsonObject> &events, const QString &leagueName,
                                 const QString &league) const;

    // League fixtures.
    // bypassCache: read the service even when a cached reply is fresh (the
    // reply is still stored for everyone else).
    std::vector<QJsonObject> scoreboard(const QString &league, const QDate &from, const QDate &to,
                                        bool bypassCache = false) const;
    std::vector<Match> matchesOn(const QString &league, const QDate &date, bool bypassCache = false) const;
    std::vector<Match> recentMatches(const QString &league, int n) const;
    std::vector<Match> upcomingMatches(const QString &league, int n, int days = 0) const;
    QMap<QString, QString> leagueForm(const QString &league, int n) const;
    std::optional<Match> lookupEvent(const QString &eventId, bool bypassCache = false) const;

    // Team-to-league memory.
    bool teamLeagueContains(const QString &teamId) const;
    QString teamLeagueGet(const QString &teamId) const;
    void teamLeagueSetIfAbsent(const QString &teamId, const QString &league) const;
    void rememberLeague(const Match &match, const QString &league) const;

    // Search and team schedules.
    QJsonObject getSearch(const QString &query) const;
    void ensureLeagueKnown(const QString &teamId) const;
    QStringList leaguesToTry(const QString &teamId) const;
    std::vector<QJsonObject> teamSchedule(const QString &teamId, int season) const;
    std::vector<Match> teamLastEvents(const QString &teamId, int n) const;

    // Team search, head-to-head and league tables.
    static std::optional<std::pair<QString, QString>> parseVsQuery(const QString &query);
    std::optional<Team> searchTeam(const QString &name) const;
    std::vector<Match> searchHeadToHead(const QString &name1, const QString &name2) const;
    std::vector<StandingsRow> standings(const QString &league, const QString &season = QString()) const;
    std::pair<std::vector<StandingsRow>, QString> standingsLatest(const QString &league) const;
    QStringList seasonLabels(int n) const;

protected:
    // Milliseconds a search may take before it counts as failed.
    int searchTimeoutMs = 12000;

private:
    // Unlike teamLeagueSetIfAbsent, replaces what is known: a schedule that
    // answered is better evidence than an earlier guess.
    void teamLeagueSet(const QString &teamId, const QString &league) const;

    QString m_siteBase;
    QString m_coreBase;
    QString m_searchEndpoint;

    mutable QMutex m_teamLeagueMutex;
    mutable QHash<QString, QString> m_teamLeague;
};
