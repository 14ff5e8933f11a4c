// The event-to-Match mapping of EspnApi and the readers it is built from.

#include "EspnMapping.h"
#include "EspnApi.h"
#include "MarketOdds.h"

#include "app/League.h"

#include <QDateTime>
#include <QJsonArray>

#include <cmath>

namespace {

// A score or other figure as ESPN would display it: 2.0 reads "2", 1.5 reads
// "1.5", at most six significant digits otherwise.
QString numberText(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 6);
}

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return numberText(value.toDouble());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return {};
    }
}

QJsonObject child(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toObject();
}

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

namespace espn {

QString idText(const QJsonValue &value)
{
    if (value.isDouble())
        return numberText(value.toDouble());
    return value.toString();
}

QString eventId(const QJsonObject &event)
{
    const QJsonValue id = event.value(QLatin1String("id"));
    qint64 number = 0;
    if (id.isDouble())
        number = id.toInteger(0);
    else if (id.isString())
        number = id.toString().toLongLong();
    if (number != 0)
        return QString::number(number);
    return id.toString();
}

QPair<QString, QString> dateAndTime(const QString &text)
{
    if (text.isEmpty())
        return {};
    // Qt reads a bare date as midnight; a fixture whose kick-off ESPN has not
    // fixed yet must not show a made-up 00:00, so only texts with a time part
    // go through the parser.
    if (text.contains(QLatin1Char('T'))) {
        const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
        if (parsed.isValid())
            return {parsed.date().toString(QStringLiteral("yyyy-MM-dd")),
                    parsed.time().toString(QStringLiteral("HH:mm"))};
    }
    return {text.left(10), QString()};
}

QString leagueName(const QJsonObject &league)
{
    const QString slug = text(league, "slug");
    for (const League &tracked : defaultLeagues()) {
        if (!slug.isEmpty() && tracked.slug == slug)
            return tracked.name;
    }
    return text(league, "name");
}

std::vector<QJsonObject> objectsOf(const QJsonValue &array)
{
    std::vector<QJsonObject> objects;
    const QJsonArray items = array.toArray();
    objects.reserve(size_t(items.size()));
    for (const QJsonValue &item : items) {
        if (item.isObject())
            objects.push_back(item.toObject());
    }
    return objects;
}

} // namespace espn

QString EspnApi::leagueNameFor(const QString &slug)
{
    for (const League &league : defaultLeagues()) {
        if (league.slug == slug)
            return league.name;
    }
    return slug;
}

int EspnApi::seasonStartYear(const QDate &date)
{
    return date.month() >= 8 ? date.year() : date.year() - 1;
}

QString EspnApi::scoreOf(const QJsonObject &competitor)
{
    const QJsonValue score = competitor.value(QLatin1String("score"));
    if (!score.isObject())
        return valueText(score);
    const QJsonObject object = score.toObject();
    if (object.contains(QLatin1String("displayValue")))
        return valueText(object.value(QLatin1String("displayValue")));
    const QJsonValue value = object.value(QLatin1String("value"));
    return value.isDouble() ? numberText(value.toDouble()) : QString();
}

int EspnApi::safeInt(const QString &text, int fallback)
{
    QString cleaned = text;
    cleaned.remove(QLatin1Char('+'));
    bool ok = false;
    const int value = cleaned.trimmed().toInt(&ok, 10);
    return ok ? value : fallback;
}

QString EspnApi::logoOf(const QJsonObject &object)
{
    const QString logo = text(object, "logo");
    if (!logo.isEmpty())
        return logo;
    const QJsonArray logos = object.value(QLatin1String("logos")).toArray();
    for (const QJsonValue &entry : logos) {
        const QJsonObject item = entry.toObject();
        if (!item.contains(QLatin1String("href")))
            continue;
        if (!item.value(QLatin1String("rel")).toArray().contains(QJsonValue(QStringLiteral("dark"))))
            return text(item, "href");
    }
    return logos.isEmpty() ? QString() : text(logos.first().toObject(), "href");
}

std::optional<Match> EspnApi::eventToMatch(const QJsonObject &event, const QString &leagueName) const
{
    const QJsonArray competitions = event.value(QLatin1String("competitions")).toArray();
    if (competitions.isEmpty())
        return std::nullopt;
    const QJsonObject comp = competitions.first().toObject();

    std::optional<QJsonObject> home;
    std::optional<QJsonObject> away;
    for (const QJsonObject &competitor : espn::objectsOf(comp.value(QLatin1String("competitors")))) {
        const QString side = text(competitor, "homeAway");
        if (side == QLatin1String("home"))
            home = competitor;
        else if (side == QLatin1String("away"))
            away = competitor;
    }
    if (!home || !away)
        return std::nullopt;

    const QJsonObject status = child(child(comp, "status"), "type");
    const QJsonObject homeTeam = child(*home, "team");
    const QJsonObject awayTeam = child(*away, "team");
    auto teamName = [](const QJsonObject &team) {
        const QString display = text(team, "displayName");
        return display.isEmpty() ? text(team, "name") : display;
    };

    Match m;
    m.id = espn::eventId(event);
    m.home_team = teamName(homeTeam);
    m.away_team = teamName(awayTeam);
    m.home_team_id = espn::idText(homeTeam.value(QLatin1String("id")));
    m.away_team_id = espn::idText(awayTeam.value(QLatin1String("id")));
    // Scoreboards give a team's crest in "logo", schedules and summaries only
    // in "logos"; logoOf reads both.
    m.home_badge = logoOf(homeTeam);
    m.away_badge = logoOf(awayTeam);
    m.league = leagueName.isEmpty() ? espn::leagueName(child(event, "league")) : leagueName;
    const auto [date, time] = espn::dateAndTime(text(event, "date"));
    m.date = date;
    m.time = time;
    m.venue = text(child(comp, "venue"), "fullName");
    m.round = text(child(event, "week"), "text");
    m.state = text(status, "state");
    m.status_detail = text(status, "shortDetail");
    if (m.status_detail.isEmpty())
        m.status_detail = text(status, "detail");
    if (m.status_detail.isEmpty())
        m.status_detail = text(status, "description");
    // Fixtures still to play carry "0" scores; only a match under way or over
    // has a score worth showing.
    if (status.value(QLatin1String("completed")).toBool(false) || m.state == QLatin1String("in")) {
        m.home_score = scoreOf(*home);
        m.away_score = scoreOf(*away);
    }
    m.market = espn::marketFromOdds(comp.value(QLatin1String("odds")));
    return m;
}

std::vector<Match> EspnApi::toMatches(const std::vector<QJsonObject> &events, const QString &leagueName,
                                      const QString &league) const
{
    const QString name = leagueName.isEmpty() && !league.isEmpty() ? leagueNameFor(league) : leagueName;
    std::vector<Match> matches;
    matches.reserve(events.size());
    for (const QJsonObject &event : events) {
        if (std::optional<Match> match = eventToMatch(event, name)) {
            rememberLeague(*match, league);
            matches.push_back(std::move(*match));
        }
    }
    return matches;
}
