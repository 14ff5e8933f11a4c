#include "EspnReplies.h"

#include "LeagueTable.h"
#include "StableRandom.h"

#include "app/League.h"

#include <QJsonArray>

#include <algorithm>
#include <tuple>

namespace {

using Key = QLatin1String;

QString uidOf(const QString &leagueId, const QString &eventId)
{
    return QStringLiteral("s:600~l:%1~e:%2").arg(leagueId, eventId);
}

QJsonObject stat(const char *name, const char *displayName, const char *abbreviation, double value,
                 const QString &displayValue)
{
    return QJsonObject{{QStringLiteral("name"), QLatin1String(name)},
                       {QStringLiteral("displayName"), QLatin1String(displayName)},
                       {QStringLiteral("shortDisplayName"), QLatin1String(abbreviation)},
                       {QStringLiteral("abbreviation"), QLatin1String(abbreviation)},
                       {QStringLiteral("type"), QString::fromLatin1(name).toLower()},
                       {QStringLiteral("value"), value},
                       {QStringLiteral("displayValue"), displayValue}};
}

// "dates" as the scoreboard takes it: a day, a month, or a range of days.
bool parseDates(const QString &dates, const QDate &today, QDate *from, QDate *to)
{
    if (dates.isEmpty()) {
        *from = *to = today;
        return true;
    }
    if (dates.size() == 8) {
        *from = *to = QDate::fromString(dates, QStringLiteral("yyyyMMdd"));
        return from->isValid();
    }
    if (dates.size() == 6) {
        *from = QDate::fromString(dates + QStringLiteral("01"), QStringLiteral("yyyyMMdd"));
        *to = from->addMonths(1).addDays(-1);
        return from->isValid();
    }
    if (dates.size() == 17 && dates.at(8) == QLatin1Char('-')) {
        *from = QDate::fromString(dates.left(8), QStringLiteral("yyyyMMdd"));
        *to = QDate::fromString(dates.mid(9), QStringLiteral("yyyyMMdd"));
        return from->isValid() && to->isValid() && *from <= *to;
    }
    return false;
}

// A tracked league that a recording leaves out answers with nothing rather
// than an error, so that a recording of a few leagues still fills the pages
// that ask every league at once; a slug nobody knows is refused like ESPN
// refuses it.
JsonReply unknownLeague(const QString &slug, const QJsonObject &empty)
{
    const QList<League> &tracked = defaultLeagues();
    const bool known =
        std::any_of(tracked.cbegin(), tracked.cend(), [&](const League &l) { return l.slug == slug; });
    if (known)
        return {200, empty};
    return JsonReply::error(400, QStringLiteral("Failed to get league %1").arg(slug));
}

int attendanceOf(const RecordedEvent &event)
{
    return 9000 + int(StableRandom::hash(event.id) % 52000);
}

} // namespace

JsonReply JsonReply::error(int status, const QString &message)
{
    return {status, QJsonObject{{QStringLiteral("code"), status}, {QStringLiteral("message"), message}}};
}

EspnReplies::EspnReplies(const Replay &replay)
    : m_replay(replay)
    , m_recording(replay.recording())
{}

QString EspnReplies::crestUrl(const QString &base, const QString &teamId, bool dark)
{
    return base + QStringLiteral("/crests/") + teamId +
           (dark ? QStringLiteral("-dark.png") : QStringLiteral(".png"));
}

QString EspnReplies::fold(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c == QChar(0x0131)) // the Turkish dotless i
            folded += QLatin1Char('i');
        else if (c == QChar(0x00DF))
            folded += QStringLiteral("ss");
        else
            folded += c.toLower();
    }
    return folded.simplified();
}

QString EspnReplies::seasonName(int year, const QString &leagueName)
{
    return QStringLiteral("%1-%2 %3")
        .arg(year)
        .arg((year + 1) % 100, 2, 10, QLatin1Char('0'))
        .arg(leagueName);
}

QJsonObject EspnReplies::teamObject(const RecordedTeam &team, TeamShape shape, const QString &base) const
{
    QJsonObject object{
        {QStringLiteral("id"), team.id},
        {QStringLiteral("uid"), QString(QStringLiteral("s:600~t:") + team.id)},
        {QStringLiteral("location"), team.location.isEmpty() ? team.displayName : team.location},
        {QStringLiteral("name"), team.name.isEmpty() ? team.displayName : team.name},
        {QStringLiteral("abbreviation"), team.abbreviation},
        {QStringLiteral("displayName"), team.displayName.isEmpty() ? team.name : team.displayName},
        {QStringLiteral("shortDisplayName"),
         team.shortDisplayName.isEmpty() ? team.displayName : team.shortDisplayName},
        {QStringLiteral("isActive"), true},
    };
    if (!team.nickname.isEmpty())
        object.insert(QStringLiteral("nickname"), team.nickname);
    if (!team.color.isEmpty())
        object.insert(QStringLiteral("color"), team.color);
    if (!team.alternateColor.isEmpty())
        object.insert(QStringLiteral("alternateColor"), team.alternateColor);
    // Scoreboards carry one "logo"; schedules, summaries, tables and search
    // results a "logos" list with a variant for dark backgrounds.
    if (shape == TeamShape::Logo) {
        object.insert(QStringLiteral("logo"), crestUrl(base, team.id));
        if (!team.venueId.isEmpty())
            object.insert(QStringLiteral("venue"), QJsonObject{{QStringLiteral("id"), team.venueId}});
    } else {
        auto logo = [&](bool dark) {
            return QJsonObject{{QStringLiteral("href"), crestUrl(base, team.id, dark)},
                               {QStringLiteral("width"), 96},
                               {QStringLiteral("height"), 96},
                               {QStringLiteral("alt"), QString()},
                               {QStringLiteral("rel"),
                                QJsonArray{QStringLiteral("full"),
                                           dark ? QStringLiteral("dark") : QStringLiteral("default")}}};
        };
        object.insert(QStringLiteral("logos"), QJsonArray{logo(false), logo(true)});
    }
    return object;
}

QJsonObject EspnReplies::statusObject(const EventView &view) const
{
    return QJsonObject{
        {QStringLiteral("clock"), view.clockSeconds},
        {QStringLiteral("displayClock"), view.displayClock},
        {QStringLiteral("period"), view.period},
        {QStringLiteral("type"), QJsonObject{{QStringLiteral("id"), view.statusId},
                                             {QStringLiteral("name"), view.statusName},
                                             {QStringLiteral("state"), view.state},
                                             {QStringLiteral("completed"), view.completed},
                                             {QStringLiteral("description"), view.description},
                                             {QStringLiteral("detail"), view.detail},
                                             {QStringLiteral("shortDetail"), view.shortDetail}}},
    };
}

QJsonObject EspnReplies::venueObject(const RecordedEvent &event) const
{
    QString id = event.venueId;
    QString name = event.venueName;
    QString city = event.venueCity;
    QString country = event.venueCountry;
    if (name.isEmpty()) {
        // Lean recordings name the ground by id only: it is a club's home.
        const RecordedTeam *home = m_recording.team(event.homeId);
        for (const RecordedTeam &team : m_recording.teams) {
            if (!id.isEmpty() && team.venueId == id) {
                home = &team;
                break;
            }
        }
        if (home) {
            id = home->venueId;
            name = home->venueName;
            city = home->venueCity;
            country = home->venueCountry;
        }
    }
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("fullName"), name},
                       {QStringLiteral("shortName"), name},
                       {QStringLiteral("address"),
                        QJsonObject{{QStringLiteral("city"), city}, {QStringLiteral("country"), country}}}};
}

QJsonArray EspnReplies::goalDetails(const EventView &view) const
{
    QJsonArray details;
    if (view.homeScore < 0)
        return details;
    int home = 0;
    int away = 0;
    for (const auto &[minute, isHome] : m_replay.goalTimeline(*view.event)) {
        if ((isHome ? home : away) >= (isHome ? view.homeScore : view.awayScore))
            continue; // not scored yet at this moment of the match
        ++(isHome ? home : away);
        details.append(QJsonObject{
            {QStringLiteral("type"), QJsonObject{{QStringLiteral("id"), QStringLiteral("70")},
                                                 {QStringLiteral("text"), QStringLiteral("Goal")}}},
            {QStringLiteral("clock"),
             QJsonObject{{QStringLiteral("value"), minute * 60},
                         {QStringLiteral("displayValue"), QStringLiteral("%1'").arg(minute)}}},
            {QStringLiteral("scoringPlay"), true},
            {QStringLiteral("scoreValue"), 1},
            {QStringLiteral("team"),
             QJsonObject{{QStringLiteral("id"), isHome ? view.event->homeId : view.event->awayId}}},
        });
    }
    return details;
}

QJsonObject EspnReplies::leagueObject(const RecordedLeague &league) const
{
    return QJsonObject{{QStringLiteral("id"), league.id},
                       {QStringLiteral("uid"), QString(QStringLiteral("s:600~l:") + league.id)},
                       {QStringLiteral("name"), league.name},
                       {QStringLiteral("abbreviation"), league.abbreviation},
                       {QStringLiteral("midsizeName"), league.slug.toUpper()},
                       {QStringLiteral("slug"), league.slug},
                       {QStringLiteral("isTournament"), false}};
}

QJsonObject EspnReplies::scoreboardEvent(const EventView &view, const QString &base) const
{
    const RecordedEvent &event = *view.event;
    const RecordedTeam *home = m_recording.team(event.homeId);
    const RecordedTeam *away = m_recording.team(event.awayId);
    const RecordedLeague *league = m_recording.league(event.league);
    const QString leagueId = league ? league->id : QString();

    QJsonArray competitors;
    int order = 0;
    for (const RecordedTeam *team : {home, away}) {
        const bool isHome = team == home;
        const int own = isHome ? view.homeScore : view.awayScore;
        const int other = isHome ? view.awayScore : view.homeScore;
        competitors.append(QJsonObject{
            {QStringLiteral("id"), team->id},
            {QStringLiteral("uid"), QString(QStringLiteral("s:600~t:") + team->id)},
            {QStringLiteral("type"), QStringLiteral("team")},
            {QStringLiteral("order"), order++},
            {QStringLiteral("homeAway"), isHome ? QStringLiteral("home") : QStringLiteral("away")},
            {QStringLiteral("winner"), view.completed && own > other},
            {QStringLiteral("team"), teamObject(*team, TeamShape::Logo, base)},
            // Fixtures still to come carry "0", as ESPN sends them.
            {QStringLiteral("score"), QString::number(std::max(own, 0))},
        });
    }

    const QString date = view.dateText();
    QJsonObject competition{
        {QStringLiteral("id"), event.id},
        {QStringLiteral("uid"), QString(uidOf(leagueId, event.id) + QStringLiteral("~c:") + event.id)},
        {QStringLiteral("date"), date},
        {QStringLiteral("startDate"), date},
        {QStringLiteral("timeValid"), !view.time.isEmpty()},
        {QStringLiteral("neutralSite"), false},
        {QStringLiteral("recent"), view.state != QLatin1String("pre")},
        {QStringLiteral("venue"), venueObject(event)},
        {QStringLiteral("competitors"), competitors},
        {QStringLiteral("notes"), QJsonArray()},
        {QStringLiteral("status"), statusObject(view)},
        {QStringLiteral("details"), goalDetails(view)},
        {QStringLiteral("format"),
         QJsonObject{{QStringLiteral("regulation"), QJsonObject{{QStringLiteral("periods"), 2}}}}},
    };
    if (view.state != QLatin1String("pre"))
        competition.insert(QStringLiteral("attendance"), attendanceOf(event));

    QJsonObject object{
        {QStringLiteral("id"), event.id},
        {QStringLiteral("uid"), uidOf(leagueId, event.id)},
        {QStringLiteral("date"), date},
        {QStringLiteral("name"), QString(away->displayName + QStringLiteral(" at ") + home->displayName)},
        {QStringLiteral("shortName"),
         QString(away->abbreviation + QStringLiteral(" @ ") + home->abbreviation)},
        {QStringLiteral("season"), QJsonObject{{QStringLiteral("year"), view.season},
                                               {QStringLiteral("type"), 1},
                                               {QStringLiteral("slug"), QStringLiteral("regular-season")}}},
        {QStringLiteral("competitions"), QJsonArray{competition}},
        {QStringLiteral("status"), statusObject(view)},
        {QStringLiteral("links"),
         QJsonArray{QJsonObject{
             {QStringLiteral("rel"),
              QJsonArray{QStringLiteral("summary"), QStringLiteral("desktop"), QStringLiteral("event")}},
             {QStringLiteral("href"),
              QString(QStringLiteral("https://www.espn.com/soccer/match/_/gameId/") + event.id)},
             {QStringLiteral("text"), QStringLiteral("Summary")}}}},
    };
    if (!event.roundText.isEmpty())
        object.insert(QStringLiteral("week"), QJsonObject{{QStringLiteral("number"), event.roundNumber},
                                                          {QStringLiteral("text"), event.roundText}});
    return object;
}

QJsonObject EspnReplies::scheduleEvent(const EventView &view, const QString &base) const
{
    const RecordedEvent &event = *view.event;
    const RecordedTeam *home = m_recording.team(event.homeId);
    const RecordedTeam *away = m_recording.team(event.awayId);
    const RecordedLeague *league = m_recording.league(event.league);
    const QString leagueName = league ? league->name : event.league;
    const QString season = seasonName(view.season, leagueName);

    QJsonArray competitors;
    int order = 0;
    for (const RecordedTeam *team : {home, away}) {
        const bool isHome = team == home;
        const int own = isHome ? view.homeScore : view.awayScore;
        const int other = isHome ? view.awayScore : view.homeScore;
        QJsonObject competitor{
            {QStringLiteral("id"), team->id},
            {QStringLiteral("type"), QStringLiteral("team")},
            {QStringLiteral("order"), order++},
            {QStringLiteral("homeAway"), isHome ? QStringLiteral("home") : QStringLiteral("away")},
            {QStringLiteral("winner"), view.completed && own > other},
            {QStringLiteral("team"), teamObject(*team, TeamShape::Logos, base)},
        };
        // Schedules give the score as an object, and none before kick-off.
        if (own >= 0)
            competitor.insert(QStringLiteral("score"),
                              QJsonObject{{QStringLiteral("value"), double(own)},
                                          {QStringLiteral("displayValue"), QString::number(own)}});
        competitors.append(competitor);
    }

    const QJsonObject venue = venueObject(event);
    QJsonObject competition{
        {QStringLiteral("id"), event.id},
        {QStringLiteral("date"), view.dateText()},
        {QStringLiteral("timeValid"), !view.time.isEmpty()},
        {QStringLiteral("neutralSite"), false},
        {QStringLiteral("boxscoreAvailable"), view.state != QLatin1String("pre")},
        {QStringLiteral("venue"), QJsonObject{{QStringLiteral("fullName"), venue.value(Key("fullName"))},
                                              {QStringLiteral("address"), venue.value(Key("address"))}}},
        {QStringLiteral("competitors"), competitors},
        {QStringLiteral("status"), statusObject(view)},
    };
    if (view.state != QLatin1String("pre"))
        competition.insert(QStringLiteral("attendance"), attendanceOf(event));

    QJsonObject object{
        {QStringLiteral("id"), event.id},
        {QStringLiteral("date"), view.dateText()},
        {QStringLiteral("name"), QString(away->displayName + QStringLiteral(" at ") + home->displayName)},
        {QStringLiteral("shortName"),
         QString(away->abbreviation + QStringLiteral(" @ ") + home->abbreviation)},
        {QStringLiteral("season"),
         QJsonObject{{QStringLiteral("year"), view.season}, {QStringLiteral("displayName"), season}}},
        {QStringLiteral("seasonType"), QJsonObject{{QStringLiteral("id"), QStringLiteral("1")},
                                                   {QStringLiteral("type"), 1},
                                                   {QStringLiteral("name"), season},
                                                   {QStringLiteral("abbreviation"), season}}},
        {QStringLiteral("timeValid"), !view.time.isEmpty()},
        {QStringLiteral("competitions"), QJsonArray{competition}},
    };
    if (league)
        object.insert(QStringLiteral("league"), leagueObject(*league));
    if (!event.roundText.isEmpty())
        object.insert(QStringLiteral("week"), QJsonObject{{QStringLiteral("number"), event.roundNumber},
                                                          {QStringLiteral("text"), event.roundText}});
    return object;
}

JsonReply EspnReplies::scoreboard(const QString &slug, const QUrlQuery &query, const QDateTime &now,
                                  const QString &base) const
{
    const RecordedLeague *league = m_recording.league(slug);
    if (!league)
        return unknownLeague(slug, QJsonObject{{QStringLiteral("leagues"), QJsonArray()},
                                               {QStringLiteral("events"), QJsonArray()}});
    const QString dates = query.queryItemValue(QStringLiteral("dates"));
    QDate from;
    QDate to;
    if (!parseDates(dates, now.date(), &from, &to))
        return JsonReply::error(400, QStringLiteral("Invalid dates: %1").arg(dates));
    bool limited = false;
    const int limit = query.queryItemValue(QStringLiteral("limit")).toInt(&limited);

    QJsonArray events;
    for (const EventView &view : m_replay.leagueBetween(slug, from, to, now)) {
        if (limited && limit > 0 && events.size() >= limit)
            break;
        events.append(scoreboardEvent(view, base));
    }

    const int season = m_replay.currentSeason(now.date());
    QJsonObject leagueInfo = leagueObject(*league);
    leagueInfo.insert(QStringLiteral("season"),
                      QJsonObject{{QStringLiteral("year"), season},
                                  {QStringLiteral("displayName"), seasonName(season, league->name)},
                                  {QStringLiteral("type"),
                                   QJsonObject{{QStringLiteral("id"), QStringLiteral("1")},
                                               {QStringLiteral("type"), 1},
                                               {QStringLiteral("name"), seasonName(season, league->name)}}}});
    QJsonObject reply{
        {QStringLiteral("leagues"), QJsonArray{leagueInfo}},
        {QStringLiteral("season"),
         QJsonObject{{QStringLiteral("type"), 1}, {QStringLiteral("year"), season}}},
        {QStringLiteral("events"), events},
    };
    if (from == to)
        reply.insert(QStringLiteral("day"),
                     QJsonObject{{QStringLiteral("date"), from.toString(Qt::ISODate)}});
    return {200, reply};
}

JsonReply EspnReplies::summary(const QString &eventId, const QDateTime &now, const QString &base) const
{
    const RecordedEvent *event = m_recording.event(eventId.trimmed());
    if (!event)
        return JsonReply::error(404, QStringLiteral("No event with id %1").arg(eventId));
    const EventView view = m_replay.view(*event, now);
    const RecordedLeague *league = m_recording.league(event->league);
    const RecordedTeam *home = m_recording.team(event->homeId);
    const RecordedTeam *away = m_recording.team(event->awayId);

    QJsonArray competitors;
    int order = 0;
    for (const RecordedTeam *team : {home, away}) {
        const bool isHome = team == home;
        const int own = isHome ? view.homeScore : view.awayScore;
        const int other = isHome ? view.awayScore : view.homeScore;
        QJsonObject competitor{
            {QStringLiteral("id"), team->id},
            {QStringLiteral("uid"), QString(QStringLiteral("s:600~t:") + team->id)},
            {QStringLiteral("order"), order++},
            {QStringLiteral("homeAway"), isHome ? QStringLiteral("home") : QStringLiteral("away")},
            {QStringLiteral("winner"), view.completed && own > other},
            {QStringLiteral("team"), teamObject(*team, TeamShape::Logos, base)},
        };
        if (own >= 0)
            competitor.insert(QStringLiteral("score"), QString::number(own));
        competitors.append(competitor);
    }

    const QString leagueName = league ? league->name : event->league;
    // As in ESPN's summaries, the ground is in "gameInfo", not in the
    // header's competition.
    const QJsonObject header{
        {QStringLiteral("id"), event->id},
        {QStringLiteral("uid"), uidOf(league ? league->id : QString(), event->id)},
        {QStringLiteral("season"),
         QJsonObject{{QStringLiteral("year"), view.season},
                     {QStringLiteral("current"), view.season == m_replay.currentSeason(now.date())},
                     {QStringLiteral("type"), 1},
                     {QStringLiteral("name"), seasonName(view.season, leagueName)}}},
        {QStringLiteral("timeValid"), !view.time.isEmpty()},
        {QStringLiteral("competitions"),
         QJsonArray{QJsonObject{{QStringLiteral("id"), event->id},
                                {QStringLiteral("date"), view.dateText()},
                                {QStringLiteral("neutralSite"), false},
                                {QStringLiteral("boxscoreAvailable"), view.state != QLatin1String("pre")},
                                {QStringLiteral("liveAvailable"), view.state == QLatin1String("in")},
                                {QStringLiteral("competitors"), competitors},
                                {QStringLiteral("status"), statusObject(view)},
                                {QStringLiteral("details"), goalDetails(view)}}}},
        {QStringLiteral("league"), league ? leagueObject(*league) : QJsonObject()},
    };
    QJsonObject gameInfo{{QStringLiteral("venue"), venueObject(*event)}};
    if (view.state != QLatin1String("pre"))
        gameInfo.insert(QStringLiteral("attendance"), attendanceOf(*event));
    return {200, QJsonObject{
                     {QStringLiteral("header"), header},
                     {QStringLiteral("gameInfo"), gameInfo},
                     {QStringLiteral("format"), QJsonObject{{QStringLiteral("regulation"),
                                                             QJsonObject{{QStringLiteral("periods"), 2}}}}},
                 }};
}

JsonReply EspnReplies::schedule(const QString &slug, const QString &teamId, const QUrlQuery &query,
                                const QDateTime &now, const QString &base) const
{
    const RecordedLeague *league = m_recording.league(slug);
    if (!league)
        return unknownLeague(slug, QJsonObject{{QStringLiteral("events"), QJsonArray()}});
    bool seasonGiven = false;
    int season = query.queryItemValue(QStringLiteral("season")).toInt(&seasonGiven);
    if (!seasonGiven)
        season = m_replay.currentSeason(now.date());

    const RecordedTeam *team = m_recording.team(teamId);
    QJsonArray events;
    if (team) {
        // Newest first, as ESPN lists a club's season.
        std::vector<EventView> views = m_replay.select(
            [&](const RecordedEvent &e) {
                return e.league == slug && (e.homeId == teamId || e.awayId == teamId);
            },
            now);
        std::reverse(views.begin(), views.end());
        for (const EventView &view : views) {
            if (view.season == season)
                events.append(scheduleEvent(view, base));
        }
    }
    const QString name = seasonName(season, league->name);
    const QJsonObject seasonObject{{QStringLiteral("year"), season},
                                   {QStringLiteral("type"), 1},
                                   {QStringLiteral("name"), name},
                                   {QStringLiteral("displayName"), name}};
    QJsonObject reply{
        {QStringLiteral("timestamp"), now.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("status"), QStringLiteral("success")},
        {QStringLiteral("season"), seasonObject},
        {QStringLiteral("requestedSeason"), seasonObject},
        {QStringLiteral("events"), events},
    };
    if (team) {
        QJsonObject teamInfo{
            {QStringLiteral("id"), team->id},
            {QStringLiteral("abbreviation"), team->abbreviation},
            {QStringLiteral("location"), team->location},
            {QStringLiteral("name"), team->name},
            {QStringLiteral("displayName"), team->displayName},
            {QStringLiteral("color"), team->color},
            {QStringLiteral("logo"), crestUrl(base, team->id)},
            {QStringLiteral("seasonSummary"),
             QStringLiteral("%1-%2").arg(season).arg((season + 1) % 100, 2, 10, QLatin1Char('0'))},
        };
        const std::vector<TableRow> table = leagueTable(m_replay, slug, season, now);
        for (size_t i = 0; i < table.size(); ++i) {
            if (table[i].teamId != team->id || table[i].played == 0)
                continue;
            teamInfo.insert(
                QStringLiteral("recordSummary"),
                QStringLiteral("%1-%2-%3").arg(table[i].wins).arg(table[i].draws).arg(table[i].losses));
            teamInfo.insert(QStringLiteral("standingSummary"),
                            QStringLiteral("%1 in %2").arg(ordinal(int(i) + 1), league->name));
        }
        reply.insert(QStringLiteral("team"), teamInfo);
    }
    return {200, reply};
}

JsonReply EspnReplies::standings(const QString &slug, const QUrlQuery &query, const QDateTime &now,
                                 const QString &base) const
{
    const RecordedLeague *league = m_recording.league(slug);
    if (!league)
        return unknownLeague(slug, QJsonObject{{QStringLiteral("children"), QJsonArray()}});
    const int current = m_replay.currentSeason(now.date());
    bool seasonGiven = false;
    int season = query.queryItemValue(QStringLiteral("season")).toInt(&seasonGiven);
    if (!seasonGiven)
        season = current;

    QJsonArray entries;
    const std::vector<TableRow> table = leagueTable(m_replay, slug, season, now);
    const bool played =
        std::any_of(table.cbegin(), table.cend(), [](const TableRow &row) { return row.played > 0; });
    // A season the recording does not reach has no table, as for a season
    // ESPN has no data for.
    if (played) {
        for (size_t i = 0; i < table.size(); ++i) {
            const TableRow &row = table[i];
            const RecordedTeam *team = m_recording.team(row.teamId);
            if (!team)
                continue;
            const int gd = row.goalDifference();
            const QString record = QStringLiteral("%1-%2-%3").arg(row.wins).arg(row.draws).arg(row.losses);
            const QJsonArray stats{
                stat("gamesPlayed", "Games Played", "GP", row.played, QString::number(row.played)),
                stat("losses", "Losses", "L", row.losses, QString::number(row.losses)),
                stat("pointDifferential", "Goal Difference", "GD", gd,
                     gd > 0 ? QStringLiteral("+%1").arg(gd) : QString::number(gd)),
                stat("points", "Points", "P", row.points(), QString::number(row.points())),
                stat("pointsAgainst", "Goals Against", "A", row.goalsAgainst,
                     QString::number(row.goalsAgainst)),
                stat("pointsFor", "Goals For", "F", row.goalsFor, QString::number(row.goalsFor)),
                stat("ties", "Draws", "D", row.draws, QString::number(row.draws)),
                stat("wins", "Wins", "W", row.wins, QString::number(row.wins)),
                stat("deductions", "Point Deductions", "PD", 0, QString()),
                stat("ppg", "Points Per Game", "PPG", 0, QStringLiteral("0")),
                stat("rank", "Rank", "R", double(i + 1), QString::number(i + 1)),
                stat("rankChange", "Rank Change", "RC", 0, QStringLiteral("0")),
                QJsonObject{{QStringLiteral("id"), QStringLiteral("0")},
                            {QStringLiteral("name"), QStringLiteral("overall")},
                            {QStringLiteral("abbreviation"), QStringLiteral("Total")},
                            {QStringLiteral("type"), QStringLiteral("total")},
                            {QStringLiteral("summary"), record},
                            {QStringLiteral("displayValue"), record}},
            };
            entries.append(QJsonObject{{QStringLiteral("team"), teamObject(*team, TeamShape::Logos, base)},
                                       {QStringLiteral("stats"), stats}});
        }
    }

    const QString name = seasonName(season, league->name);
    QJsonArray seasons;
    for (int year = current; year > current - 3; --year)
        seasons.append(QJsonObject{{QStringLiteral("year"), year},
                                   {QStringLiteral("displayName"), seasonName(year, league->name)}});
    const QJsonObject child{
        {QStringLiteral("uid"), QStringLiteral("s:600~l:%1~g:1").arg(league->id)},
        {QStringLiteral("id"), QStringLiteral("1")},
        {QStringLiteral("name"), QStringLiteral("%1 %2-%3").arg(league->name).arg(season).arg(season + 1)},
        {QStringLiteral("abbreviation"), QStringLiteral("%1-%2").arg(season).arg(season + 1)},
        {QStringLiteral("standings"),
         QJsonObject{{QStringLiteral("id"), QStringLiteral("0")},
                     {QStringLiteral("name"), QStringLiteral("overall")},
                     {QStringLiteral("displayName"), QStringLiteral("Standings")},
                     {QStringLiteral("season"), season},
                     {QStringLiteral("seasonType"), 1},
                     {QStringLiteral("seasonDisplayName"), name},
                     {QStringLiteral("entries"), entries}}},
    };
    return {200, QJsonObject{{QStringLiteral("uid"), QString(QStringLiteral("s:600~l:") + league->id)},
                             {QStringLiteral("id"), league->id},
                             {QStringLiteral("name"), league->name},
                             {QStringLiteral("abbreviation"), league->abbreviation},
                             {QStringLiteral("children"), QJsonArray{child}},
                             {QStringLiteral("seasons"), seasons}}};
}

JsonReply EspnReplies::search(const QUrlQuery &query, const QDateTime &now, const QString &base) const
{
    Q_UNUSED(now);
    const QString raw = query.queryItemValue(QStringLiteral("query"), QUrl::FullyDecoded).trimmed();
    const QString q = fold(raw);
    bool limited = false;
    int limit = query.queryItemValue(QStringLiteral("limit")).toInt(&limited);
    if (!limited || limit <= 0)
        limit = 12;

    struct Hit
    {
        int score;
        int leagueRank;
        QString name;
        QJsonObject item;
    };
    std::vector<Hit> hits;
    auto wordStarts = [](const QString &name, const QString &prefix) {
        const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        return std::any_of(words.cbegin(), words.cend(),
                           [&](const QString &w) { return w.startsWith(prefix); });
    };
    if (!q.isEmpty()) {
        for (int rank = 0; rank < int(m_recording.leagues.size()); ++rank) {
            const RecordedLeague &league = m_recording.leagues.at(size_t(rank));
            for (const QString &id : league.teamIds) {
                const RecordedTeam *team = m_recording.team(id);
                if (!team)
                    continue;
                const QString display = fold(team->displayName);
                const QString shortName = fold(team->shortDisplayName);
                int score = 0;
                if (team->id == raw)
                    score = 100;
                else if (display == q || shortName == q || fold(team->name) == q ||
                         fold(team->abbreviation) == q)
                    score = 90;
                else if (display.startsWith(q) || shortName.startsWith(q))
                    score = 70;
                else if (wordStarts(display, q) || wordStarts(shortName, q))
                    score = 60;
                else if (display.contains(q) || shortName.contains(q) || fold(team->location).contains(q))
                    score = 40;
                if (score == 0)
                    continue;
                QJsonObject item = teamObject(*team, TeamShape::Logos, base);
                item.insert(QStringLiteral("type"), QStringLiteral("team"));
                item.insert(QStringLiteral("sport"), QStringLiteral("soccer"));
                item.insert(QStringLiteral("league"), league.slug);
                item.insert(QStringLiteral("defaultLeagueSlug"), league.slug);
                item.insert(QStringLiteral("shortName"), team->shortDisplayName);
                item.insert(QStringLiteral("link"),
                            QJsonObject{{QStringLiteral("web"),
                                         QString(QStringLiteral("https://www.espn.com/soccer/club/_/id/") +
                                                 team->id)}});
                hits.push_back({score, rank, team->displayName, item});
            }
            const QString leagueName = fold(league.name);
            if (leagueName.startsWith(q) || leagueName.contains(QString(QLatin1Char(' ') + q)) ||
                fold(league.abbreviation) == q || league.slug == q) {
                hits.push_back(
                    {leagueName == q ? 80 : 30, rank, league.name,
                     QJsonObject{{QStringLiteral("id"), league.id},
                                 {QStringLiteral("uid"), QString(QStringLiteral("s:600~l:") + league.id)},
                                 {QStringLiteral("type"), QStringLiteral("league")},
                                 {QStringLiteral("name"), league.name},
                                 {QStringLiteral("displayName"), league.name},
                                 {QStringLiteral("abbreviation"), league.abbreviation},
                                 {QStringLiteral("slug"), league.slug},
                                 {QStringLiteral("sport"), QStringLiteral("soccer")}}});
            }
        }
    }
    std::stable_sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) {
        return std::make_tuple(-a.score, a.leagueRank, a.name) <
               std::make_tuple(-b.score, b.leagueRank, b.name);
    });
    QJsonArray items;
    for (const Hit &hit : hits) {
        if (items.size() >= limit)
            break;
        items.append(hit.item);
    }
    return {200,
            QJsonObject{{QStringLiteral("totalFound"), int(hits.size())}, {QStringLiteral("items"), items}}};
}
