#pragma once

#include "model/Prediction.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

// Probability scores of 1X2 forecasts: what a hit rate throws away. The
// Ranked Probability Score is the field's standard (it knows a draw lies
// between a home and an away win); the Brier score and the log loss sit
// beside it. Lower is better for all three.

// Chances of a home win, a draw and an away win, adding up to 1.
using Probabilities = std::array<double, 3>;

// Outcome indices in Probabilities order.
enum Outcome { HomeWin = 0, Draw = 1, AwayWin = 2 };

// The three figures scaled to add up to 1; nothing when they add up to 0 or
// less (a record without percentages says nothing to score).
std::optional<Probabilities> normalised(double home, double draw, double away);

double rankedProbabilityScore(const Probabilities &p, int outcome);
// Summed over the three outcomes, 0 to 2; a uniform forecast scores 0.667.
double brierScore(const Probabilities &p, int outcome);
// -ln of the outcome's chance, floored at 0.001 so that one "impossible"
// result cannot outweigh everything else.
double logLoss(const Probabilities &p, int outcome);
// The most likely outcome happened (on a tie, the first in home, draw, away).
bool isHit(const Probabilities &p, int outcome);

// The long-run shares of home wins, draws and away wins in league football:
// the forecast anyone can make without knowing anything.
inline constexpr Probabilities BASE_RATE = {0.46, 0.26, 0.28};

// Means over a set of forecasts; zeros while n is 0.
struct ForecastScores
{
    int n = 0;
    double rps = 0.0;
    double brier = 0.0;
    double logLoss = 0.0;
    double hitRate = 0.0; // fraction 0-1
};

// The model against the bookmakers on the predictions that carry a snapshot.
struct MarketComparison
{
    ForecastScores market;
    double modelRps = 0.0;       // the model's mean RPS on the same predictions
    double meanDifference = 0.0; // mean of (model RPS - market RPS), per prediction
    std::optional<double> standardError;
    std::optional<double> z;
    QString verdict; // empty while there is nothing to compare
};

// Predicted chances from..to percent (the last bin includes 100).
struct CalibrationBin
{
    int from = 0;
    int to = 0;
    int n = 0;                // (prediction, outcome) pairs in the bin
    double meanPct = 0.0;     // their mean predicted percentage
    double observedPct = 0.0; // how often those outcomes happened, percent
};

// Everything the dashboard and `tolvo-cli stats` show about the probabilities.
// Only calls made before kick-off are scored; calls made in play are counted
// apart, since knowing the score makes any forecast look good.
struct ScoreReport
{
    ForecastScores model;
    ForecastScores baseRate;        // BASE_RATE on the same predictions
    double alwaysHomeHitRate = 0.0; // "always the home side" on the same predictions
    MarketComparison market;
    QList<CalibrationBin> calibration; // ten bins of ten points
    double meanPredictedDrawPct = 0.0;
    double observedDrawPct = 0.0;
    ForecastScores inPlay; // only n and hitRate are used
};

// "ahead of the market" (z <= -2), "behind the market" (z >= 2), otherwise
// "not yet distinguishable".
QString marketVerdict(std::optional<double> z);

// Pure; every checked prediction with a known result and percentages counts.
ScoreReport scorePredictions(const QList<Prediction> &predictions);
