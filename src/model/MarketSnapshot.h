#pragma once

#include <QString>

// The bookmakers' chances for one fixture, with their margin taken out: three
// percentages that add up to 100, and the bookmaker they came from.
struct MarketSnapshot
{
    double home_pct = 0.0;
    double draw_pct = 0.0;
    double away_pct = 0.0;
    QString provider;
};
