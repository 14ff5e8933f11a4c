#include "Replay.h"

#include "StableRandom.h"

#include "data/EspnApi.h"

#include <QLocale>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// Minutes after kick-off at which each phase of a match begins.
constexpr double HALF_TIME = 47.0;
constexpr double SECOND_HALF = 62.0;
constexpr double FULL_TIME = 111.0;

// "Sat, December 12th at 3:00 PM" and "12/12 - 3:00 PM", as ESPN words a
// fixture that has not started.
void fillScheduled(EventView &view)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QString detail = english.toString(view.date, QStringLiteral("ddd, MMMM ")) + ordinal(view.date.day());
    QString shortDetail = QStringLiteral("%1/%2").arg(view.date.month()).arg(view.date.day());
    const QTime time = QTime::fromString(view.time, QStringLiteral("HH:mm"));
    if (time.isValid()) {
        const QString clock = english.toString(time, QStringLiteral("h:mm AP"));
        detail += QStringLiteral(" at ") + clock;
        shortDetail += QStringLiteral(" - ") + clock;
    }
    view.state = QStringLiteral("pre");
    view.completed = false;
    view.statusId = QStringLiteral("1");
    view.statusName = QStringLiteral("STATUS_SCHEDULED");
    view.description = QStringLiteral("Scheduled");
    view.detail = detail;
    view.shortDetail = shortDetail;
    view.displayClock = QStringLiteral("0'");
}

void fillFullTime(EventView &view)
{
    view.state = QStringLiteral("post");
    view.completed = true;
    view.statusId = QStringLiteral("28");
    view.statusName = QStringLiteral("STATUS_FULL_TIME");
    view.description = QStringLiteral("Full Time");
    view.detail = QStringLiteral("FT");
    view.shortDetail = QStringLiteral("FT");
    view.period = 2;
    view.clockSeconds = 5400;
    view.displayClock = QStringLiteral("90'+4'");
}

void fillPostponed(EventView &view)
{
    view.state = QStringLiteral("post");
    view.completed = false;
    view.statusId = QStringLiteral("6");
    view.statusName = QStringLiteral("STATUS_POSTPONED");
    view.description = QStringLiteral("Postponed");
    view.detail = QStringLiteral("Postponed");
    view.shortDetail = QStringLiteral("Postponed");
}

} // namespace

QString ordinal(int n)
{
    if (n % 100 >= 11 && n % 100 <= 13)
        return QString::number(n) + QStringLiteral("th");
    static const char *const suffixes[] = {"th", "st", "nd", "rd", "th", "th", "th", "th", "th", "th"};
    return QString::number(n) + QLatin1String(suffixes[n % 10]);
}

QString EventView::dateText() const
{
    const QString day = date.toString(Qt::ISODate);
    return time.isEmpty() ? day : day + QLatin1Char('T') + time + QLatin1Char('Z');
}

Replay::Replay(const Recording &recording, const QDateTime &start, double speed, std::uint64_t seed)
    : m_recording(recording)
    , m_start(start)
    , m_speed(speed > 0 ? speed : 1.0)
    , m_seed(seed)
{}

int Replay::shiftDays(const QDate &today) const
{
    return int(m_recording.recordedOn.daysTo(today));
}

int Replay::currentSeason(const QDate &today) const
{
    return EspnApi::seasonStartYear(today);
}

int Replay::seasonOf(const RecordedEvent &event, const QDate &today) const
{
    if (event.season == 0)
        return EspnApi::seasonStartYear(event.day.addDays(shiftDays(today)));
    return event.season + currentSeason(today) - EspnApi::seasonStartYear(m_recording.recordedOn);
}

QDateTime Replay::virtualNow(const QDateTime &now) const
{
    if (m_speed == 1.0)
        return now;
    return m_start.addMSecs(qint64(double(m_start.msecsTo(now)) * m_speed));
}

std::pair<int, int> Replay::finalScore(const RecordedEvent &event) const
{
    if (event.hasResult())
        return {event.homeScore, event.awayScore};
    StableRandom random(StableRandom::hash(event.id + QStringLiteral("/final"), m_seed));
    return {random.poisson(1.45), random.poisson(1.15)};
}

std::vector<std::pair<int, bool>> Replay::goalTimeline(const RecordedEvent &event) const
{
    const auto [home, away] = finalScore(event);
    StableRandom random(StableRandom::hash(event.id + QStringLiteral("/goals"), m_seed));
    std::vector<int> minutes;
    for (int i = 0; i < home + away; ++i)
        minutes.push_back(random.between(1, 90));
    std::sort(minutes.begin(), minutes.end());
    std::vector<bool> sides(size_t(home + away), false);
    std::fill(sides.begin(), sides.begin() + home, true);
    for (int i = int(sides.size()) - 1; i > 0; --i) {
        const int j = random.between(0, i);
        const bool swap = sides[size_t(i)];
        sides[size_t(i)] = sides[size_t(j)];
        sides[size_t(j)] = swap;
    }
    std::vector<std::pair<int, bool>> goals;
    for (size_t i = 0; i < minutes.size(); ++i)
        goals.push_back({minutes[i], sides[i]});
    return goals;
}

QDateTime Replay::kickoffToday(const RecordedEvent &event, const QDate &today, const QDateTime &now) const
{
    QMutexLocker lock(&m_mutex);
    auto plan = m_kickoffs.find(today);
    if (plan == m_kickoffs.end()) {
        // Spread each league's fixtures of the day around the moment of
        // reference: the first ones are over, the middle ones in play, the
        // last ones still to come. A small per-league offset keeps the
        // leagues from scoring in step.
        const QDateTime reference = today == m_start.date() ? m_start : virtualNow(now);
        const QDateTime earliest(today, QTime(0, 5));
        const QDateTime latest(today, QTime(23, 55));
        const int shift = shiftDays(today);
        QHash<QString, QDateTime> kickoffs;
        for (const RecordedLeague &league : m_recording.leagues) {
            std::vector<const RecordedEvent *> todays;
            for (int index : league.events) {
                const RecordedEvent &e = m_recording.events.at(size_t(index));
                if (e.day.addDays(shift) == today)
                    todays.push_back(&e);
            }
            const double jitter = double(StableRandom::hash(league.slug, m_seed) % 41) - 20.0;
            for (size_t i = 0; i < todays.size(); ++i) {
                const double position = (double(i) + 0.5) / double(todays.size());
                const double minutesAgo = 180.0 - position * 330.0 + jitter;
                QDateTime kickoff = reference.addSecs(-qint64(minutesAgo * 60.0));
                // On the quarter hour, like real kick-offs.
                kickoff.setTime(QTime(kickoff.time().hour(), kickoff.time().minute() / 15 * 15));
                kickoffs.insert(todays[i]->id, std::clamp(kickoff, earliest, latest));
            }
        }
        plan = m_kickoffs.insert(today, kickoffs);
    }
    return plan->value(event.id, QDateTime(today, QTime(15, 0)));
}

void Replay::fillLive(EventView &view, double elapsed) const
{
    int minute = 0; // the match minute that goals are counted up to
    if (elapsed < HALF_TIME) {
        const int shown = int(std::floor(elapsed)) + 1;
        minute = std::min(shown, 45);
        view.statusId = QStringLiteral("22");
        view.statusName = QStringLiteral("STATUS_FIRST_HALF");
        view.description = QStringLiteral("First Half");
        view.period = 1;
        // The clock stops at 45:00 in added time, as it rests there at the break.
        view.clockSeconds = std::min(int(elapsed * 60.0), 2700);
        view.displayClock =
            shown <= 45 ? QStringLiteral("%1'").arg(shown) : QStringLiteral("45'+%1'").arg(shown - 45);
    } else if (elapsed < SECOND_HALF) {
        minute = 45;
        view.statusId = QStringLiteral("23");
        view.statusName = QStringLiteral("STATUS_HALFTIME");
        view.description = QStringLiteral("Halftime");
        view.period = 1;
        view.clockSeconds = 2700;
        view.displayClock = QStringLiteral("HT");
    } else {
        const int shown = 46 + int(std::floor(elapsed - SECOND_HALF));
        minute = std::min(shown, 90);
        view.statusId = QStringLiteral("26");
        view.statusName = QStringLiteral("STATUS_SECOND_HALF");
        view.description = QStringLiteral("Second Half");
        view.period = 2;
        view.clockSeconds = std::min(2700 + int((elapsed - SECOND_HALF) * 60.0), 5400);
        view.displayClock =
            shown <= 90 ? QStringLiteral("%1'").arg(shown) : QStringLiteral("90'+%1'").arg(shown - 90);
    }
    view.state = QStringLiteral("in");
    view.completed = false;
    view.detail = view.displayClock;
    view.shortDetail = view.displayClock;
    view.homeScore = 0;
    view.awayScore = 0;
    for (const auto &[goalMinute, home] : goalTimeline(*view.event)) {
        if (goalMinute > minute)
            break;
        ++(home ? view.homeScore : view.awayScore);
    }
}

EventView Replay::view(const RecordedEvent &event, const QDateTime &now) const
{
    const QDate today = now.date();
    EventView view;
    view.event = &event;
    view.date = event.day.addDays(shiftDays(today));
    view.time = event.time;
    view.season = seasonOf(event, today);

    if (view.date > today) {
        fillScheduled(view);
    } else if (view.date < today) {
        if (event.hasResult()) {
            fillFullTime(view);
            view.homeScore = event.homeScore;
            view.awayScore = event.awayScore;
        } else {
            // Recorded replies can hold fixtures that never took place.
            fillPostponed(view);
        }
    } else {
        const QDateTime kickoff = kickoffToday(event, today, now);
        view.time = kickoff.time().toString(QStringLiteral("HH:mm"));
        const double elapsed = double(kickoff.msecsTo(virtualNow(now))) / 60000.0;
        if (elapsed < 0) {
            fillScheduled(view);
        } else if (elapsed >= FULL_TIME) {
            fillFullTime(view);
            std::tie(view.homeScore, view.awayScore) = finalScore(event);
        } else {
            fillLive(view, elapsed);
        }
    }
    return view;
}

std::vector<EventView> Replay::select(const std::function<bool(const RecordedEvent &)> &keep,
                                      const QDateTime &now) const
{
    std::vector<EventView> views;
    for (const RecordedEvent &event : m_recording.events) {
        if (keep(event))
            views.push_back(view(event, now));
    }
    std::stable_sort(views.begin(), views.end(), [](const EventView &a, const EventView &b) {
        return std::tie(a.date, a.time, a.event->id) < std::tie(b.date, b.time, b.event->id);
    });
    return views;
}

std::vector<EventView> Replay::leagueBetween(const QString &slug, const QDate &from, const QDate &to,
                                             const QDateTime &now) const
{
    const int shift = shiftDays(now.date());
    const QDate first = from.addDays(-shift);
    const QDate last = to.addDays(-shift);
    return select(
        [&](const RecordedEvent &event) {
            return event.league == slug && event.day >= first && event.day <= last;
        },
        now);
}
