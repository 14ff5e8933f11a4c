#include "Recording.h"

#include "app/League.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <tuple>

namespace {

QJsonObject readObject(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object (%2)").arg(path, parseError.errorString());
        return {};
    }
    return doc.object();
}

QString text(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isDouble())
        return QString::number(value.toInteger());
    return value.toString();
}

int scoreOf(const QJsonValue &score)
{
    QJsonValue value = score;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        value = object.contains(QLatin1String("displayValue")) ? object.value(QLatin1String("displayValue"))
                                                               : object.value(QLatin1String("value"));
    }
    if (value.isDouble())
        return int(value.toDouble());
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok && number >= 0 ? number : -1;
}

// Whatever a recorded team object says, merged into what is known already;
// an earlier, fuller record (teams.json) is never overwritten.
void mergeTeam(RecordedTeam &team, const QJsonObject &object)
{
    auto fill = [&](QString &field, const char *key) {
        if (field.isEmpty())
            field = text(object, key);
    };
    fill(team.location, "location");
    fill(team.name, "name");
    fill(team.nickname, "nickname");
    fill(team.abbreviation, "abbreviation");
    fill(team.displayName, "displayName");
    fill(team.shortDisplayName, "shortDisplayName");
    fill(team.color, "color");
    fill(team.alternateColor, "alternateColor");
    const QJsonObject venue = object.value(QLatin1String("venue")).toObject();
    if (team.venueId.isEmpty())
        team.venueId = text(venue, "id");
    if (team.venueName.isEmpty())
        team.venueName = text(venue, "fullName");
    const QJsonObject address = venue.value(QLatin1String("address")).toObject();
    if (team.venueCity.isEmpty())
        team.venueCity = text(address, "city");
    if (team.venueCountry.isEmpty())
        team.venueCountry = text(address, "country");
}

class Reader
{
public:
    explicit Reader(Recording &recording)
        : m_recording(recording)
    {}

    RecordedLeague &league(const QString &slug)
    {
        for (RecordedLeague &league : m_recording.leagues) {
            if (league.slug == slug)
                return league;
        }
        RecordedLeague league;
        league.slug = slug;
        m_recording.leagues.push_back(league);
        return m_recording.leagues.back();
    }

    void readLeagueInfo(RecordedLeague &league, const QJsonObject &object)
    {
        if (league.id.isEmpty())
            league.id = text(object, "id");
        if (league.name.isEmpty())
            league.name = text(object, "name");
        if (league.abbreviation.isEmpty())
            league.abbreviation = text(object, "abbreviation");
    }

    RecordedTeam &team(RecordedLeague &league, const QJsonObject &object)
    {
        const QString id = text(object, "id");
        auto it = m_recording.teams.find(id);
        if (it == m_recording.teams.end()) {
            RecordedTeam team;
            team.id = id;
            team.league = league.slug;
            it = m_recording.teams.insert(id, team);
            league.teamIds.append(id);
        }
        mergeTeam(*it, object);
        return *it;
    }

    void readTeams(RecordedLeague &league, const QJsonObject &reply)
    {
        for (const QJsonValue &sport : reply.value(QLatin1String("sports")).toArray()) {
            for (const QJsonValue &entry : sport.toObject().value(QLatin1String("leagues")).toArray()) {
                const QJsonObject leagueObject = entry.toObject();
                readLeagueInfo(league, leagueObject);
                for (const QJsonValue &item : leagueObject.value(QLatin1String("teams")).toArray()) {
                    const QJsonObject object = item.toObject().value(QLatin1String("team")).toObject();
                    if (!text(object, "id").isEmpty())
                        team(league, object);
                }
            }
        }
    }

    void readScoreboard(RecordedLeague &league, const QJsonObject &reply)
    {
        readLeagueInfo(league, reply.value(QLatin1String("leagues")).toArray().at(0).toObject());
        const int replySeason =
            reply.value(QLatin1String("season")).toObject().value(QLatin1String("year")).toInt();
        for (const QJsonValue &value : reply.value(QLatin1String("events")).toArray())
            readEvent(league, value.toObject(), replySeason);
    }

    void readEvent(RecordedLeague &league, const QJsonObject &object, int replySeason)
    {
        RecordedEvent event;
        event.id = text(object, "id");
        const QJsonObject comp = object.value(QLatin1String("competitions")).toArray().at(0).toObject();
        if (event.id.isEmpty() || comp.isEmpty() || m_recording.eventById.contains(event.id))
            return;
        event.league = league.slug;

        const QString date = text(object, "date").isEmpty() ? text(comp, "date") : text(object, "date");
        const QDateTime parsed = QDateTime::fromString(date, Qt::ISODate);
        if (date.contains(QLatin1Char('T')) && parsed.isValid()) {
            const QDateTime utc = parsed.toUTC();
            event.day = utc.date();
            event.time = utc.time().toString(QStringLiteral("HH:mm"));
        } else {
            event.day = QDate::fromString(date.left(10), Qt::ISODate);
        }
        if (!event.day.isValid())
            return;

        event.season = object.value(QLatin1String("season")).toObject().value(QLatin1String("year")).toInt();
        if (event.season == 0)
            event.season = replySeason;
        const QJsonObject week = object.value(QLatin1String("week")).toObject();
        event.roundNumber = week.value(QLatin1String("number")).toInt();
        event.roundText = text(week, "text");

        const QJsonObject venue = comp.value(QLatin1String("venue")).toObject();
        event.venueId = text(venue, "id");
        event.venueName = text(venue, "fullName");
        const QJsonObject address = venue.value(QLatin1String("address")).toObject();
        event.venueCity = text(address, "city");
        event.venueCountry = text(address, "country");

        for (const QJsonValue &value : comp.value(QLatin1String("competitors")).toArray()) {
            const QJsonObject competitor = value.toObject();
            QJsonObject teamObject = competitor.value(QLatin1String("team")).toObject();
            if (text(teamObject, "id").isEmpty())
                teamObject.insert(QLatin1String("id"), text(competitor, "id"));
            if (text(teamObject, "id").isEmpty())
                continue;
            RecordedTeam &recordedTeam = team(league, teamObject);
            const int score = scoreOf(competitor.value(QLatin1String("score")));
            if (text(competitor, "homeAway") == QLatin1String("home")) {
                event.homeId = recordedTeam.id;
                event.homeScore = score;
                // A club's ground is where it plays at home.
                if (recordedTeam.venueName.isEmpty() && !event.venueName.isEmpty()) {
                    recordedTeam.venueId = event.venueId;
                    recordedTeam.venueName = event.venueName;
                    recordedTeam.venueCity = event.venueCity;
                    recordedTeam.venueCountry = event.venueCountry;
                }
            } else {
                event.awayId = recordedTeam.id;
                event.awayScore = score;
            }
        }
        if (event.homeId.isEmpty() || event.awayId.isEmpty())
            return;

        const QJsonObject type =
            comp.value(QLatin1String("status")).toObject().value(QLatin1String("type")).toObject();
        event.state = text(type, "state");
        event.completed = type.value(QLatin1String("completed")).toBool(false);
        if (event.state.isEmpty())
            event.state = event.completed ? QStringLiteral("post") : QStringLiteral("pre");

        m_recording.eventById.insert(event.id, -1); // placeholder, indexed after sorting
        m_recording.events.push_back(event);
    }

private:
    Recording &m_recording;
};

// Tracked leagues first, in the program's order, then anything else.
int leagueRank(const QString &slug)
{
    const QList<League> &known = defaultLeagues();
    for (int i = 0; i < known.size(); ++i) {
        if (known.at(i).slug == slug)
            return i;
    }
    return int(known.size());
}

} // namespace

const RecordedLeague *Recording::league(const QString &slug) const
{
    for (const RecordedLeague &league : leagues) {
        if (league.slug == slug)
            return &league;
    }
    return nullptr;
}

const RecordedEvent *Recording::event(const QString &id) const
{
    const int index = eventById.value(id, -1);
    return index >= 0 ? &events.at(size_t(index)) : nullptr;
}

const RecordedTeam *Recording::team(const QString &id) const
{
    const auto it = teams.constFind(id);
    return it == teams.cend() ? nullptr : &*it;
}

std::optional<Recording> loadRecording(const QString &dir, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    const QDir root(dir);
    if (!root.exists()) {
        *error = QStringLiteral("No recording folder at %1").arg(dir);
        return std::nullopt;
    }

    Recording recording;
    Reader reader(recording);
    QStringList slugs = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::stable_sort(slugs.begin(), slugs.end(),
                     [](const QString &a, const QString &b) { return leagueRank(a) < leagueRank(b); });
    for (const QString &slug : std::as_const(slugs)) {
        const QDir folder(root.filePath(slug));
        RecordedLeague &league = reader.league(slug);
        if (folder.exists(QStringLiteral("teams.json"))) {
            const QJsonObject teams = readObject(folder.filePath(QStringLiteral("teams.json")), error);
            if (teams.isEmpty())
                return std::nullopt;
            reader.readTeams(league, teams);
        }
        for (const QString &name : folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            if (name == QLatin1String("teams.json"))
                continue;
            const QJsonObject reply = readObject(folder.filePath(name), error);
            if (reply.isEmpty())
                return std::nullopt;
            reader.readScoreboard(league, reply);
        }
    }
    // A subfolder without a single event is not a league.
    recording.leagues.erase(std::remove_if(recording.leagues.begin(), recording.leagues.end(),
                                           [&](const RecordedLeague &league) {
                                               return std::none_of(recording.events.cbegin(),
                                                                   recording.events.cend(),
                                                                   [&](const RecordedEvent &e) {
                                                                       return e.league == league.slug;
                                                                   });
                                           }),
                            recording.leagues.end());
    if (recording.events.empty()) {
        *error = QStringLiteral("No recorded events under %1").arg(dir);
        return std::nullopt;
    }

    std::stable_sort(recording.events.begin(), recording.events.end(),
                     [](const RecordedEvent &a, const RecordedEvent &b) {
                         return std::tie(a.day, a.time, a.id) < std::tie(b.day, b.time, b.id);
                     });
    for (int i = 0; i < int(recording.events.size()); ++i) {
        const RecordedEvent &event = recording.events.at(size_t(i));
        recording.eventById.insert(event.id, i);
        for (RecordedLeague &league : recording.leagues) {
            if (league.slug == event.league)
                league.events.push_back(i);
        }
    }

    if (root.exists(QStringLiteral("devstub.json"))) {
        const QJsonObject meta = readObject(root.filePath(QStringLiteral("devstub.json")), error);
        recording.recordedOn =
            QDate::fromString(meta.value(QLatin1String("recorded_on")).toString(), Qt::ISODate);
    }
    if (!recording.recordedOn.isValid()) {
        // A plain recording of real replies: the last day with a result is
        // the day the recording was made.
        for (const RecordedEvent &event : recording.events) {
            if (event.hasResult() && (!recording.recordedOn.isValid() || event.day > recording.recordedOn))
                recording.recordedOn = event.day;
        }
    }
    if (!recording.recordedOn.isValid())
        recording.recordedOn = recording.events.front().day;
    error->clear();
    return recording;
}
