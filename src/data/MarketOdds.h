#pragma once

#include "model/MarketSnapshot.h"

#include <QJsonValue>

#include <optional>

namespace espn {

// The bookmakers' chances from an ESPN "odds" array (a scoreboard's
// competitions[0].odds or a summary's top-level odds): the first bookmaker,
// in the reply's order, that prices all three outcomes, with its margin
// removed. Nothing when no entry qualifies, as after full time when ESPN
// sends [null].
std::optional<MarketSnapshot> marketFromOdds(const QJsonValue &odds);

// Decimal odds of an American price: +330 is 4.30, -160 is 1.625. Texts such
// as "+330", "-160" and "EVEN" are read too; 0 when the price is unreadable.
double decimalFromAmerican(const QJsonValue &price);

} // namespace espn
