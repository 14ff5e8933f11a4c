#include "Prediction.h"

#include "Match.h"

#include "JsonRead.h"

#include <QDateTime>
#include <QJsonArray>
#include <QUuid>

#include <cmath>

namespace {

QJsonValue actualScoreValue(int score)
{
    return score < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(score);
}

// Percentages with one decimal, as the bookmakers' chances are shown.
QJsonValue marketValue(const std::optional<double> &pct)
{
    return pct ? QJsonValue(std::round(*pct * 10.0) / 10.0) : QJsonValue(QJsonValue::Null);
}

std::optional<double> readMarket(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    return v.toDouble();
}

int readActualScore(const QJsonValue &v)
{
    if (v.isNull() || v.isUndefined())
        return -1;
    return jsonInt(v, 0);
}

} // namespace

QString Prediction::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject Prediction::toJson() const
{
    return QJsonObject{{QStringLiteral("match_label"), match_label},
                       {QStringLiteral("outcome"), outcome},
                       {QStringLiteral("home_win_pct"), home_win_pct},
                       {QStringLiteral("draw_pct"), draw_pct},
                       {QStringLiteral("away_win_pct"), away_win_pct},
                       {QStringLiteral("scoreline"), scoreline},
                       {QStringLiteral("confidence"), confidence},
                       {QStringLiteral("summary"), summary},
                       {QStringLiteral("key_factors"), QJsonArray::fromStringList(key_factors)},
                       {QStringLiteral("model"), model},
                       {QStringLiteral("created_at"), created_at},
                       {QStringLiteral("id"), id},
                       {QStringLiteral("league"), league},
                       {QStringLiteral("match_id"), match_id},
                       {QStringLiteral("home_team"), home_team},
                       {QStringLiteral("away_team"), away_team},
                       {QStringLiteral("actual_home_score"), actualScoreValue(actual_home_score)},
                       {QStringLiteral("actual_away_score"), actualScoreValue(actual_away_score)},
                       {QStringLiteral("cost_gbp"), cost_gbp},
                       {QStringLiteral("market_home_pct"), marketValue(market_home_pct)},
                       {QStringLiteral("market_draw_pct"), marketValue(market_draw_pct)},
                       {QStringLiteral("market_away_pct"), marketValue(market_away_pct)},
                       {QStringLiteral("market_provider"), market_provider},
                       {QStringLiteral("kickoff_state"), kickoff_state}};
}

Prediction Prediction::fromJson(const QJsonObject &o)
{
    Prediction p;
    p.match_label = jsonText(o, "match_label");
    p.outcome = jsonText(o, "outcome");
    p.home_win_pct = jsonInt(o.value(QLatin1String("home_win_pct")));
    p.draw_pct = jsonInt(o.value(QLatin1String("draw_pct")));
    p.away_win_pct = jsonInt(o.value(QLatin1String("away_win_pct")));
    p.scoreline = jsonText(o, "scoreline");
    p.confidence = jsonInt(o.value(QLatin1String("confidence")));
    p.summary = jsonText(o, "summary");
    for (const QJsonValue &factor : o.value(QLatin1String("key_factors")).toArray())
        p.key_factors.append(factor.toString());
    p.model = jsonText(o, "model");
    p.created_at = jsonText(o, "created_at");
    const QString id = jsonText(o, "id");
    if (!id.isEmpty())
        p.id = id;
    p.league = jsonText(o, "league");
    p.match_id = jsonText(o, "match_id");
    p.home_team = jsonText(o, "home_team");
    p.away_team = jsonText(o, "away_team");
    p.actual_home_score = readActualScore(o.value(QLatin1String("actual_home_score")));
    p.actual_away_score = readActualScore(o.value(QLatin1String("actual_away_score")));
    p.cost_gbp = o.value(QLatin1String("cost_gbp")).toDouble(0.0);
    p.market_home_pct = readMarket(o.value(QLatin1String("market_home_pct")));
    p.market_draw_pct = readMarket(o.value(QLatin1String("market_draw_pct")));
    p.market_away_pct = readMarket(o.value(QLatin1String("market_away_pct")));
    p.market_provider = jsonText(o, "market_provider");
    p.kickoff_state = jsonText(o, "kickoff_state");
    return p;
}

Prediction Prediction::freshlyCreated()
{
    Prediction p;
    p.created_at = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    return p;
}

std::optional<QString> Prediction::actualOutcome() const
{
    if (actual_home_score < 0 || actual_away_score < 0)
        return std::nullopt;
    if (actual_home_score > actual_away_score)
        return QStringLiteral("HOME");
    if (actual_home_score < actual_away_score)
        return QStringLiteral("AWAY");
    return QStringLiteral("DRAW");
}

std::optional<bool> Prediction::wasCorrect() const
{
    const auto actual = actualOutcome();
    if (!actual)
        return std::nullopt;
    return *actual == outcome;
}

bool Prediction::madeBeforeKickoff() const
{
    return kickoff_state.isEmpty() || kickoff_state == QLatin1String("pre");
}

bool Prediction::isCheckable() const
{
    return !match_id.isEmpty() && !Match::isHypotheticalId(match_id);
}
