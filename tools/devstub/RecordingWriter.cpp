#include "RecordingWriter.h"

#include "ClubCatalog.h"
#include "StableRandom.h"

#include "data/EspnApi.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Rounds still to play after the recorded day: enough to fill the leagues
// page's 75 days ahead.
constexpr int ROUNDS_AHEAD = 12;
constexpr int FIRST_EVENT_ID = 741001;

struct Slot
{
    int dayOffset; // from the round's Saturday
    const char *time;
};

// When the fixtures of one round kick off: a Friday and a Monday game in the
// bigger leagues, most of the round on Saturday, the rest on Sunday.
std::vector<Slot> roundSlots(int matches)
{
    std::vector<Slot> kickoffSlots;
    const bool friday = matches >= 8;
    const bool monday = matches >= 9;
    const int weekend = matches - int(friday) - int(monday);
    const int sunday = weekend / 3;
    const int saturday = weekend - sunday;
    static const char *const saturdayTimes[] = {"12:30", "15:00", "15:00", "15:00", "17:30", "20:00"};
    static const char *const sundayTimes[] = {"13:00", "15:30", "18:00"};
    if (friday)
        kickoffSlots.push_back({-1, "20:00"});
    for (int i = 0; i < saturday; ++i)
        kickoffSlots.push_back({0, saturdayTimes[std::min(i, 5)]});
    for (int i = 0; i < sunday; ++i)
        kickoffSlots.push_back({1, sundayTimes[std::min(i, 2)]});
    if (monday)
        kickoffSlots.push_back({2, "20:00"});
    return kickoffSlots;
}

// A double round robin by the circle method: every club meets every other
// once at home and once away. Pairs are (home, away) indexes.
std::vector<std::vector<std::pair<int, int>>> doubleRoundRobin(int clubs)
{
    std::vector<int> ring(static_cast<size_t>(clubs));
    for (int i = 0; i < clubs; ++i)
        ring[size_t(i)] = i;
    std::vector<std::vector<std::pair<int, int>>> firstHalf;
    for (int round = 0; round < clubs - 1; ++round) {
        std::vector<std::pair<int, int>> pairs;
        for (int i = 0; i < clubs / 2; ++i) {
            int home = ring[size_t(i)];
            int away = ring[size_t(clubs - 1 - i)];
            // Alternating keeps runs of home or away games short.
            if ((round + i) % 2 == 1)
                std::swap(home, away);
            pairs.push_back({home, away});
        }
        firstHalf.push_back(pairs);
        std::rotate(ring.begin() + 1, ring.end() - 1, ring.end());
    }
    std::vector<std::vector<std::pair<int, int>>> rounds = firstHalf;
    for (const auto &round : firstHalf) {
        std::vector<std::pair<int, int>> mirrored;
        for (const auto &pair : round)
            mirrored.push_back({pair.second, pair.first});
        rounds.push_back(mirrored);
    }
    return rounds;
}

QString seasonName(int year, const QString &leagueName)
{
    return QStringLiteral("%1-%2 %3")
        .arg(year)
        .arg((year + 1) % 100, 2, 10, QLatin1Char('0'))
        .arg(leagueName);
}

QJsonObject teamObject(const ClubSeed &club, const QString &id, const QString &venueId, const char *country)
{
    const QString name = QString::fromUtf8(club.name);
    QString urlName = name.toLower();
    urlName.replace(QLatin1Char(' '), QLatin1Char('-'));
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("uid"), QString(QStringLiteral("s:600~t:") + id)},
        {QStringLiteral("slug"), urlName},
        {QStringLiteral("location"), name},
        {QStringLiteral("name"), name},
        {QStringLiteral("nickname"), QString::fromUtf8(club.shortName)},
        {QStringLiteral("abbreviation"), QString::fromUtf8(club.abbreviation)},
        {QStringLiteral("displayName"), name},
        {QStringLiteral("shortDisplayName"), QString::fromUtf8(club.shortName)},
        {QStringLiteral("color"), QString::fromUtf8(club.color)},
        {QStringLiteral("alternateColor"), QString::fromUtf8(club.alternateColor)},
        {QStringLiteral("isActive"), true},
        {QStringLiteral("isAllStar"), false},
        {QStringLiteral("venue"),
         QJsonObject{{QStringLiteral("id"), venueId},
                     {QStringLiteral("fullName"), QString::fromUtf8(club.venue)},
                     {QStringLiteral("address"),
                      QJsonObject{{QStringLiteral("city"), QString::fromUtf8(club.city)},
                                  {QStringLiteral("country"), QString::fromUtf8(country)}}}}},
        {QStringLiteral("links"),
         QJsonArray{QJsonObject{
             {QStringLiteral("rel"), QJsonArray{QStringLiteral("clubhouse"), QStringLiteral("desktop")}},
             {QStringLiteral("href"),
              QStringLiteral("https://www.espn.com/soccer/club/_/id/%1/%2").arg(id, urlName)}}}},
    };
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// One event per line: still valid JSON, but a regenerated recording shows
// up in a diff fixture by fixture.
QByteArray scoreboardBytes(const QJsonObject &head, const QJsonArray &events)
{
    QByteArray bytes = compact(head);
    bytes.chop(1); // the closing brace
    bytes += ",\"events\":[\n";
    for (qsizetype i = 0; i < events.size(); ++i) {
        bytes += compact(events.at(i).toObject());
        bytes += i + 1 < events.size() ? ",\n" : "\n";
    }
    bytes += "]}\n";
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

bool writeRecording(const QString &dir, const QDate &recordedOn, std::uint64_t seed, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (!recordedOn.isValid()) {
        *error = QStringLiteral("The recording needs a valid day");
        return false;
    }
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("Cannot create %1").arg(dir);
        return false;
    }

    const int season = EspnApi::seasonStartYear(recordedOn);
    int nextEventId = FIRST_EVENT_ID;
    const std::vector<LeagueSeed> &catalog = clubCatalog();
    for (size_t li = 0; li < catalog.size(); ++li) {
        const LeagueSeed &entry = catalog[li];
        const QString slug = QString::fromUtf8(entry.slug);
        const QString leagueName = QString::fromUtf8(entry.espnName);
        StableRandom random(StableRandom::hash(slug, seed));
        const int clubs = int(entry.clubs.size());

        // Ids in ESPN's style; strength falls off down the catalogue with a
        // little luck either way, so the table is recognisable but not fixed.
        std::vector<QString> ids;
        std::vector<double> strength;
        QJsonArray teams;
        for (int i = 0; i < clubs; ++i) {
            const QString id = QString::number(9100 + int(li) * 40 + i);
            const QString venueId = QString::number(5100 + int(li) * 40 + i);
            ids.push_back(id);
            strength.push_back(1.0 - 0.7 * i / (clubs - 1) + (random.uniform() - 0.5) * 0.24);
            teams.append(QJsonObject{
                {QStringLiteral("team"), teamObject(entry.clubs[size_t(i)], id, venueId, entry.country)}});
        }

        const QJsonObject leagueHead{
            {QStringLiteral("id"), QString::fromUtf8(entry.id)},
            {QStringLiteral("uid"), QString(QStringLiteral("s:600~l:") + QString::fromUtf8(entry.id))},
            {QStringLiteral("name"), leagueName},
            {QStringLiteral("abbreviation"), QString::fromUtf8(entry.abbreviation)},
            {QStringLiteral("midsizeName"), slug.toUpper()},
            {QStringLiteral("slug"), slug},
            {QStringLiteral("season"),
             QJsonObject{{QStringLiteral("year"), season},
                         {QStringLiteral("displayName"), seasonName(season, leagueName)}}},
        };
        const QJsonObject teamsReply{
            {QStringLiteral("sports"),
             QJsonArray{
                 QJsonObject{{QStringLiteral("id"), QStringLiteral("600")},
                             {QStringLiteral("name"), QStringLiteral("Soccer")},
                             {QStringLiteral("slug"), QStringLiteral("soccer")},
                             {QStringLiteral("leagues"),
                              QJsonArray{QJsonObject{
                                  {QStringLiteral("id"), QString::fromUtf8(entry.id)},
                                  {QStringLiteral("name"), leagueName},
                                  {QStringLiteral("abbreviation"), QString::fromUtf8(entry.abbreviation)},
                                  {QStringLiteral("slug"), slug},
                                  {QStringLiteral("teams"), teams}}}}}}}};

        // Shuffled so that the fixture list differs from seed to seed.
        std::vector<int> order(static_cast<size_t>(clubs));
        for (int i = 0; i < clubs; ++i)
            order[size_t(i)] = i;
        for (int i = clubs - 1; i > 0; --i)
            std::swap(order[size_t(i)], order[size_t(random.between(0, i))]);

        const auto rounds = doubleRoundRobin(clubs);
        const int roundsTotal = int(rounds.size());
        const int todayRound = std::max(std::min(6, roundsTotal - 1), roundsTotal - 1 - ROUNDS_AHEAD);
        QMap<QString, QJsonArray> months; // "yyyyMM" → events
        for (int r = 0; r < roundsTotal; ++r) {
            const QDate saturday = recordedOn.addDays(7 * (r - todayRound));
            std::vector<std::pair<int, int>> pairs = rounds[size_t(r)];
            for (int i = int(pairs.size()) - 1; i > 0; --i)
                std::swap(pairs[size_t(i)], pairs[size_t(random.between(0, i))]);
            const std::vector<Slot> kickoffSlots = roundSlots(int(pairs.size()));
            for (size_t m = 0; m < pairs.size(); ++m) {
                const int home = order[size_t(pairs[m].first)];
                const int away = order[size_t(pairs[m].second)];
                const QDate day = saturday.addDays(kickoffSlots[m].dayOffset);
                const QString date = day.toString(Qt::ISODate) + QLatin1Char('T') +
                                     QLatin1String(kickoffSlots[m].time) + QLatin1Char('Z');
                const QString id = QString::number(nextEventId++);

                // Drawn even for fixtures still to come, so the generator's
                // sequence does not depend on where the recorded day falls.
                const double edge = strength[size_t(home)] - strength[size_t(away)];
                const int homeGoals = random.poisson(std::exp(0.28 + 1.1 * edge));
                const int awayGoals = random.poisson(std::exp(0.02 - 1.1 * edge));
                const bool played = day <= recordedOn;

                QJsonObject homeSide{
                    {QStringLiteral("id"), ids[size_t(home)]},
                    {QStringLiteral("homeAway"), QStringLiteral("home")},
                    {QStringLiteral("team"), QJsonObject{{QStringLiteral("id"), ids[size_t(home)]}}}};
                QJsonObject awaySide{
                    {QStringLiteral("id"), ids[size_t(away)]},
                    {QStringLiteral("homeAway"), QStringLiteral("away")},
                    {QStringLiteral("team"), QJsonObject{{QStringLiteral("id"), ids[size_t(away)]}}}};
                if (played) {
                    homeSide.insert(QStringLiteral("score"), QString::number(homeGoals));
                    awaySide.insert(QStringLiteral("score"), QString::number(awayGoals));
                }
                const QJsonObject status{
                    {QStringLiteral("type"),
                     QJsonObject{
                         {QStringLiteral("state"), played ? QStringLiteral("post") : QStringLiteral("pre")},
                         {QStringLiteral("completed"), played}}}};
                const QJsonObject event{
                    {QStringLiteral("id"), id},
                    {QStringLiteral("date"), date},
                    {QStringLiteral("season"), QJsonObject{{QStringLiteral("year"), season}}},
                    {QStringLiteral("week"),
                     QJsonObject{{QStringLiteral("number"), r + 1},
                                 {QStringLiteral("text"), QStringLiteral("Matchday %1").arg(r + 1)}}},
                    {QStringLiteral("competitions"),
                     QJsonArray{QJsonObject{
                         {QStringLiteral("venue"),
                          QJsonObject{{QStringLiteral("id"), QString::number(5100 + int(li) * 40 + home)}}},
                         {QStringLiteral("competitors"), QJsonArray{homeSide, awaySide}},
                         {QStringLiteral("status"), status}}}},
                };
                months[day.toString(QStringLiteral("yyyyMM"))].append(event);
            }
        }

        const QString folder = QDir(dir).filePath(slug);
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("Cannot create %1").arg(folder);
            return false;
        }
        // Files of an earlier recording would otherwise be read alongside.
        for (const QString &old : QDir(folder).entryList({QStringLiteral("scoreboard-*.json")}, QDir::Files))
            QFile::remove(QDir(folder).filePath(old));
        if (!writeFile(QDir(folder).filePath(QStringLiteral("teams.json")),
                       QJsonDocument(teamsReply).toJson(QJsonDocument::Indented), error))
            return false;
        for (auto it = months.cbegin(); it != months.cend(); ++it) {
            const QJsonObject head{{QStringLiteral("leagues"), QJsonArray{leagueHead}},
                                   {QStringLiteral("season"), QJsonObject{{QStringLiteral("type"), 1},
                                                                          {QStringLiteral("year"), season}}}};
            if (!writeFile(QDir(folder).filePath(QStringLiteral("scoreboard-%1.json").arg(it.key())),
                           scoreboardBytes(head, it.value()), error))
                return false;
        }
    }

    const QJsonObject meta{
        {QStringLiteral("recorded_on"), recordedOn.toString(Qt::ISODate)},
        {QStringLiteral("seed"), QString::number(seed)},
        {QStringLiteral("written_by"), QStringLiteral("tolvo-devstub --write-data")},
        {QStringLiteral("note"),
         QStringLiteral("Made-up fixtures in the shape of ESPN's replies. tolvo-devstub replays "
                        "recorded_on as today.")},
    };
    return writeFile(QDir(dir).filePath(QStringLiteral("devstub.json")),
                     QJsonDocument(meta).toJson(QJsonDocument::Indented), error);
}
