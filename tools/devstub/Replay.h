#pragma once

#include "Recording.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// "1st", "22nd", "113th": day numbers and league places in English.
QString ordinal(int n);

// One recorded fixture as it is served at a given moment.
struct EventView
{
    const RecordedEvent *event = nullptr;
    QDate date;
    QString time; // "HH:mm"; empty when the recording had no time
    int season = 0;
    QString state; // "pre", "in" or "post"
    bool completed = false;
    int homeScore = -1; // -1: no score to show yet
    int awayScore = -1;
    QString statusId;
    QString statusName;
    QString description;
    QString detail;
    QString shortDetail;
    int period = 0;
    int clockSeconds = 0;
    QString displayClock;

    // The event's "date" as ESPN writes it.
    QString dateText() const;
};

// Replays a recording relative to today. Every recorded day moves by the same
// number of days, so the recorded day becomes today: what was played before
// it is history, what comes after it is still to play. Today's fixtures are
// spread around the moment the stub started (some over, some in play, some
// still to come) and then run on the wall clock, optionally faster, with
// their goals falling at fixed minutes so that live scores move.
//
// Today's kick-off times are written in local clock time: the program takes
// the date and time of an event as they are sent and compares the date with
// its local today, so local time keeps both right for the person watching.
class Replay
{
public:
    Replay(const Recording &recording, const QDateTime &start, double speed, std::uint64_t seed);

    const Recording &recording() const { return m_recording; }
    QDateTime start() const { return m_start; }

    // Days added to every recorded day.
    int shiftDays(const QDate &today) const;
    // The season an event belongs to when served on `today`: recorded
    // seasons move with the recording, so the recorded one is the current one.
    int seasonOf(const RecordedEvent &event, const QDate &today) const;
    int currentSeason(const QDate &today) const;

    EventView view(const RecordedEvent &event, const QDateTime &now) const;
    // Views of a league's events served between two days (inclusive), or of
    // every event the filter keeps; by kick-off.
    std::vector<EventView> leagueBetween(const QString &slug, const QDate &from, const QDate &to,
                                         const QDateTime &now) const;
    std::vector<EventView> select(const std::function<bool(const RecordedEvent &)> &keep,
                                  const QDateTime &now) const;

    // The final score of a fixture that is replayed today: the recorded one,
    // or a made-up one when the recording had none.
    std::pair<int, int> finalScore(const RecordedEvent &event) const;
    // Minutes (1-90) of the goals of a final score, home goals flagged true.
    std::vector<std::pair<int, bool>> goalTimeline(const RecordedEvent &event) const;

private:
    QDateTime virtualNow(const QDateTime &now) const;
    QDateTime kickoffToday(const RecordedEvent &event, const QDate &today, const QDateTime &now) const;
    void fillLive(EventView &view, double elapsedMinutes) const;

    const Recording &m_recording;
    QDateTime m_start;
    double m_speed;
    std::uint64_t m_seed;

    mutable QMutex m_mutex;
    mutable QHash<QDate, QHash<QString, QDateTime>> m_kickoffs; // today → event id → kick-off
};
