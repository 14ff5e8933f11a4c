#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A folder of recorded ESPN replies, read into memory: the leagues, their
// clubs and every fixture as it was recorded. The folder holds one
// subfolder per league slug with scoreboard replies (any *.json with an
// "events" array, usually one per month) and optionally teams.json in the
// shape of ESPN's teams list; devstub.json at the top may name the day of
// the recording ("recorded_on").

struct RecordedTeam
{
    QString id;
    QString league; // slug
    QString location;
    QString name;
    QString nickname;
    QString abbreviation;
    QString displayName;
    QString shortDisplayName;
    QString color; // hex without '#', may be empty
    QString alternateColor;
    QString venueId;
    QString venueName;
    QString venueCity;
    QString venueCountry;
};

struct RecordedEvent
{
    QString id;
    QString league; // slug
    QDate day;      // as recorded
    QString time;   // "HH:mm" as recorded; empty when the reply had none
    int season = 0; // season start year as recorded; 0 when unknown
    int roundNumber = 0;
    QString roundText;
    QString homeId;
    QString awayId;
    int homeScore = -1; // -1: none recorded
    int awayScore = -1;
    QString state; // "pre", "in", "post" as recorded
    bool completed = false;
    QString venueId;
    QString venueName;
    QString venueCity;
    QString venueCountry;

    bool hasResult() const { return completed && homeScore >= 0 && awayScore >= 0; }
};

struct RecordedLeague
{
    QString slug;
    QString id;
    QString name; // the provider's long name
    QString abbreviation;
    QString country;
    QStringList teamIds;     // table order of the recording
    std::vector<int> events; // indexes into Recording::events, oldest first
};

struct Recording
{
    QDate recordedOn; // the recorded day that is replayed as today
    std::vector<RecordedLeague> leagues;
    QHash<QString, RecordedTeam> teams;
    std::vector<RecordedEvent> events; // oldest first
    QHash<QString, int> eventById;

    const RecordedLeague *league(const QString &slug) const;
    const RecordedEvent *event(const QString &id) const;
    const RecordedTeam *team(const QString &id) const;
};

// Reads a recording folder. On failure returns nothing and says why in
// `error`.
std::optional<Recording> loadRecording(const QString &dir, QString *error);
