#pragma once

#include "Replay.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

// An answer of the stub: an HTTP status and a JSON body.
struct JsonReply
{
    int status = 200;
    QJsonObject body;

    static JsonReply error(int status, const QString &message);
};

// Builds ESPN-shaped replies from a replayed recording: scoreboards, event
// summaries, team schedules, league tables and the team search. Everything
// is worked out from the same events at the moment asked, so an event has
// the same id, teams and score on every endpoint. Crest addresses point at
// `base` (the stub itself), whatever the recording said.
class EspnReplies
{
public:
    explicit EspnReplies(const Replay &replay);

    JsonReply scoreboard(const QString &slug, const QUrlQuery &query, const QDateTime &now,
                         const QString &base) const;
    JsonReply summary(const QString &eventId, const QDateTime &now, const QString &base) const;
    JsonReply schedule(const QString &slug, const QString &teamId, const QUrlQuery &query,
                       const QDateTime &now, const QString &base) const;
    JsonReply standings(const QString &slug, const QUrlQuery &query, const QDateTime &now,
                        const QString &base) const;
    JsonReply search(const QUrlQuery &query, const QDateTime &now, const QString &base) const;

    static QString crestUrl(const QString &base, const QString &teamId, bool dark = false);
    // Lower case without accents, so "atletico" finds "Atlético".
    static QString fold(const QString &text);
    static QString seasonName(int year, const QString &leagueName);

private:
    enum class TeamShape { Logo, Logos };

    QJsonObject teamObject(const RecordedTeam &team, TeamShape shape, const QString &base) const;
    QJsonObject statusObject(const EventView &view) const;
    QJsonObject venueObject(const RecordedEvent &event) const;
    QJsonObject scoreboardEvent(const EventView &view, const QString &base) const;
    QJsonObject scheduleEvent(const EventView &view, const QString &base) const;
    QJsonArray goalDetails(const EventView &view) const;
    QJsonObject leagueObject(const RecordedLeague &league) const;

    const Replay &m_replay;
    const Recording &m_recording;
};
