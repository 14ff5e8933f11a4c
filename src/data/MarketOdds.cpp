#include "MarketOdds.h"

#include "EspnMapping.h"

#include <QJsonArray>
#include <QJsonObject>

#include <array>

namespace {

// ESPN lists its own forecasting model among the bookmakers; its "prices"
// are a model's opinion, not a market's.
bool isForecastModel(const QJsonObject &provider)
{
    return espn::idText(provider.value(QLatin1String("id"))) == QLatin1String("1001") ||
           provider.value(QLatin1String("name"))
                   .toString()
                   .compare(QLatin1String("accuscore"), Qt::CaseInsensitive) == 0;
}

using Prices = std::array<double, 3>; // decimal odds: home, draw, away

bool complete(const Prices &prices)
{
    for (double price : prices) {
        if (!(price > 1.0))
            return false;
    }
    return true;
}

QJsonObject child(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toObject();
}

// moneyline.{home,draw,away}.{close,open}.odds as American texts; the closing
// price is the later and better informed one.
Prices moneylineTexts(const QJsonObject &entry)
{
    const QJsonObject moneyline = child(entry, "moneyline");
    Prices prices{};
    const char *sides[] = {"home", "draw", "away"};
    for (size_t i = 0; i < prices.size(); ++i) {
        const QJsonObject side = child(moneyline, sides[i]);
        prices[i] = espn::decimalFromAmerican(child(side, "close").value(QLatin1String("odds")));
        if (!(prices[i] > 1.0))
            prices[i] = espn::decimalFromAmerican(child(side, "open").value(QLatin1String("odds")));
    }
    return prices;
}

const char *const TEAM_ODDS_KEYS[] = {"homeTeamOdds", "drawOdds", "awayTeamOdds"};

// {home,away}TeamOdds.moneyLine and drawOdds.moneyLine as American numbers.
Prices moneyLineNumbers(const QJsonObject &entry)
{
    Prices prices{};
    for (size_t i = 0; i < prices.size(); ++i)
        prices[i] =
            espn::decimalFromAmerican(child(entry, TEAM_ODDS_KEYS[i]).value(QLatin1String("moneyLine")));
    return prices;
}

// {home,away}TeamOdds.value and drawOdds.value as decimal odds; summaries
// nest the team sides one level deeper, under "odds".
Prices decimalValues(const QJsonObject &entry)
{
    Prices prices{};
    for (size_t i = 0; i < prices.size(); ++i) {
        const QJsonObject side = child(entry, TEAM_ODDS_KEYS[i]);
        QJsonValue value = side.value(QLatin1String("value"));
        if (!value.isDouble())
            value = child(side, "odds").value(QLatin1String("value"));
        prices[i] = value.toDouble(0.0);
    }
    return prices;
}

} // namespace

namespace espn {

double decimalFromAmerican(const QJsonValue &price)
{
    double american = 0.0;
    if (price.isDouble()) {
        american = price.toDouble();
    } else if (price.isString()) {
        const QString text = price.toString().trimmed();
        if (text.compare(QLatin1String("EVEN"), Qt::CaseInsensitive) == 0)
            return 2.0;
        bool ok = false;
        american = QString(text).remove(QLatin1Char('+')).toDouble(&ok);
        if (!ok)
            return 0.0;
    }
    if (american > 0.0)
        return 1.0 + american / 100.0;
    if (american < 0.0)
        return 1.0 + 100.0 / -american;
    return 0.0;
}

std::optional<MarketSnapshot> marketFromOdds(const QJsonValue &odds)
{
    for (const QJsonObject &entry : objectsOf(odds)) {
        const QJsonObject provider = child(entry, "provider");
        if (isForecastModel(provider))
            continue;
        Prices prices = moneylineTexts(entry);
        if (!complete(prices))
            prices = moneyLineNumbers(entry);
        if (!complete(prices))
            prices = decimalValues(entry);
        if (!complete(prices))
            continue;

        // The inverse odds add up to more than 1 by the bookmaker's margin;
        // scaling them to 1 leaves the chances the prices stand for.
        const double sum = 1.0 / prices[0] + 1.0 / prices[1] + 1.0 / prices[2];
        MarketSnapshot snapshot;
        snapshot.home_pct = 100.0 / prices[0] / sum;
        snapshot.draw_pct = 100.0 / prices[1] / sum;
        snapshot.away_pct = 100.0 / prices[2] / sum;
        snapshot.provider = provider.value(QLatin1String("name")).toString();
        return snapshot;
    }
    return std::nullopt;
}

} // namespace espn
