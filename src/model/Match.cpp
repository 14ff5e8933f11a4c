#include "Match.h"

#include "JsonRead.h"

namespace {

QJsonValue scoreValue(const QString &score)
{
    return score.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(score);
}

} // namespace

bool Match::hasBothScores() const
{
    return !home_score.isEmpty() && !away_score.isEmpty();
}

QString Match::hypotheticalId(const QString &homeId, const QString &awayId)
{
    return QStringLiteral("hyp-") + homeId + QLatin1Char('-') + awayId;
}

bool Match::isHypotheticalId(const QString &id)
{
    return id.startsWith(QLatin1String("hyp-"));
}

std::optional<std::pair<int, int>> Match::parsedScores() const
{
    bool homeOk = false;
    bool awayOk = false;
    const int home = home_score.toInt(&homeOk);
    const int away = away_score.toInt(&awayOk);
    if (!homeOk || !awayOk)
        return std::nullopt;
    return std::make_pair(home, away);
}

QJsonObject Match::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("home_team"), home_team},
                       {QStringLiteral("away_team"), away_team},
                       {QStringLiteral("home_team_id"), home_team_id},
                       {QStringLiteral("away_team_id"), away_team_id},
                       {QStringLiteral("home_badge"), home_badge},
                       {QStringLiteral("away_badge"), away_badge},
                       {QStringLiteral("league"), league},
                       {QStringLiteral("date"), date},
                       {QStringLiteral("time"), time},
                       {QStringLiteral("venue"), venue},
                       {QStringLiteral("round"), round},
                       {QStringLiteral("home_score"), scoreValue(home_score)},
                       {QStringLiteral("away_score"), scoreValue(away_score)},
                       {QStringLiteral("state"), state},
                       {QStringLiteral("status_detail"), status_detail}};
}

Match Match::fromJson(const QJsonObject &o)
{
    Match m;
    m.id = jsonText(o, "id");
    m.home_team = jsonText(o, "home_team");
    m.away_team = jsonText(o, "away_team");
    m.home_team_id = jsonText(o, "home_team_id");
    m.away_team_id = jsonText(o, "away_team_id");
    m.home_badge = jsonText(o, "home_badge");
    m.away_badge = jsonText(o, "away_badge");
    m.league = jsonText(o, "league");
    m.date = jsonText(o, "date");
    m.time = jsonText(o, "time");
    m.venue = jsonText(o, "venue");
    m.round = jsonText(o, "round");
    m.home_score = jsonScoreText(o.value(QLatin1String("home_score")));
    m.away_score = jsonScoreText(o.value(QLatin1String("away_score")));
    m.state = jsonText(o, "state");
    m.status_detail = jsonText(o, "status_detail");
    return m;
}
