#include "Scoring.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int CalibrationBins = 10;
// A forecast this far from 0 on average, in standard errors, is no longer
// luck: about the 95% level.
constexpr double DecisiveZ = 2.0;

// Running sums behind a ForecastScores.
struct Sums
{
    int n = 0;
    double rpsSum = 0.0;
    double brierSum = 0.0;
    double logLossSum = 0.0;
    int hits = 0;

    void add(const Probabilities &p, int outcome)
    {
        ++n;
        rpsSum += rankedProbabilityScore(p, outcome);
        brierSum += brierScore(p, outcome);
        logLossSum += logLoss(p, outcome);
        hits += isHit(p, outcome) ? 1 : 0;
    }

    ForecastScores means() const
    {
        ForecastScores scores;
        scores.n = n;
        if (n > 0) {
            scores.rps = rpsSum / n;
            scores.brier = brierSum / n;
            scores.logLoss = logLossSum / n;
            scores.hitRate = double(hits) / n;
        }
        return scores;
    }
};

int outcomeIndex(const QString &outcome)
{
    if (outcome == QLatin1String("HOME"))
        return HomeWin;
    if (outcome == QLatin1String("DRAW"))
        return Draw;
    return AwayWin;
}

std::optional<Probabilities> marketOf(const Prediction &p)
{
    if (!p.market_home_pct || !p.market_draw_pct || !p.market_away_pct)
        return std::nullopt;
    return normalised(*p.market_home_pct, *p.market_draw_pct, *p.market_away_pct);
}

} // namespace

std::optional<Probabilities> normalised(double home, double draw, double away)
{
    // A model that writes -5% means "no chance", not a negative one.
    home = std::max(home, 0.0);
    draw = std::max(draw, 0.0);
    away = std::max(away, 0.0);
    const double sum = home + draw + away;
    if (!(sum > 0.0))
        return std::nullopt;
    return Probabilities{home / sum, draw / sum, away / sum};
}

double rankedProbabilityScore(const Probabilities &p, int outcome)
{
    const double y0 = outcome == HomeWin ? 1.0 : 0.0;
    const double y1 = outcome == Draw ? 1.0 : 0.0;
    const double first = p[0] - y0;
    const double second = p[0] + p[1] - y0 - y1;
    return (first * first + second * second) / 2.0;
}

double brierScore(const Probabilities &p, int outcome)
{
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double miss = p[size_t(i)] - (i == outcome ? 1.0 : 0.0);
        sum += miss * miss;
    }
    return sum;
}

double logLoss(const Probabilities &p, int outcome)
{
    return -std::log(std::max(p[size_t(outcome)], 0.001));
}

bool isHit(const Probabilities &p, int outcome)
{
    return std::max_element(p.begin(), p.end()) - p.begin() == outcome;
}

QString marketVerdict(std::optional<double> z)
{
    if (z && *z <= -DecisiveZ)
        return QStringLiteral("ahead of the market");
    if (z && *z >= DecisiveZ)
        return QStringLiteral("behind the market");
    return QStringLiteral("not yet distinguishable");
}

ScoreReport scorePredictions(const QList<Prediction> &predictions)
{
    Sums model;
    Sums baseRate;
    Sums market;
    Sums inPlay;
    int homeWins = 0;
    int draws = 0;
    double drawPctSum = 0.0;
    double modelRpsOnMarket = 0.0;
    QList<double> differences; // model RPS - market RPS, one per priced prediction
    struct Bin
    {
        int n = 0;
        double pctSum = 0.0;
        int happened = 0;
    };
    std::array<Bin, CalibrationBins> bins{};

    for (const Prediction &prediction : predictions) {
        const std::optional<QString> actual = prediction.actualOutcome();
        if (!actual)
            continue;
        const std::optional<Probabilities> p =
            normalised(prediction.home_win_pct, prediction.draw_pct, prediction.away_win_pct);
        if (!p)
            continue;
        const int raw[] = {std::max(prediction.home_win_pct, 0), std::max(prediction.draw_pct, 0),
                           std::max(prediction.away_win_pct, 0)};
        const double sum = double(raw[0]) + raw[1] + raw[2];
        const int outcome = outcomeIndex(*actual);
        if (!prediction.madeBeforeKickoff()) {
            inPlay.add(*p, outcome);
            continue;
        }

        model.add(*p, outcome);
        baseRate.add(BASE_RATE, outcome);
        homeWins += outcome == HomeWin ? 1 : 0;
        draws += outcome == Draw ? 1 : 0;

        // Percentages from the raw figures rather than from p, so that a
        // forecast of exactly 30% lands in the 30-40 bin and not in 20-30.
        for (int i = 0; i < 3; ++i) {
            const double pct = 100.0 * raw[i] / sum;
            Bin &bin = bins[size_t(std::clamp(int(pct / 10.0), 0, CalibrationBins - 1))];
            ++bin.n;
            bin.pctSum += pct;
            bin.happened += i == outcome ? 1 : 0;
        }
        drawPctSum += 100.0 * raw[Draw] / sum;

        if (const std::optional<Probabilities> m = marketOf(prediction)) {
            market.add(*m, outcome);
            const double modelRps = rankedProbabilityScore(*p, outcome);
            modelRpsOnMarket += modelRps;
            differences.append(modelRps - rankedProbabilityScore(*m, outcome));
        }
    }

    ScoreReport report;
    report.model = model.means();
    report.baseRate = baseRate.means();
    report.inPlay = inPlay.means();
    if (model.n > 0) {
        report.alwaysHomeHitRate = double(homeWins) / model.n;
        report.meanPredictedDrawPct = drawPctSum / model.n;
        report.observedDrawPct = 100.0 * draws / model.n;
    }
    for (int i = 0; i < CalibrationBins; ++i) {
        const Bin &bin = bins[size_t(i)];
        CalibrationBin out;
        out.from = i * 10;
        out.to = i * 10 + 10;
        out.n = bin.n;
        if (bin.n > 0) {
            out.meanPct = bin.pctSum / bin.n;
            out.observedPct = 100.0 * bin.happened / bin.n;
        }
        report.calibration.append(out);
    }

    MarketComparison &comparison = report.market;
    comparison.market = market.means();
    const int n = market.n;
    if (n > 0) {
        comparison.modelRps = modelRpsOnMarket / n;
        double total = 0.0;
        for (double d : differences)
            total += d;
        comparison.meanDifference = total / n;
        // The paired differences cancel what makes a match hard for both;
        // their spread is what a chance lead would look like.
        if (n > 1) {
            double squares = 0.0;
            for (double d : differences)
                squares += (d - comparison.meanDifference) * (d - comparison.meanDifference);
            const double se = std::sqrt(squares / (n - 1)) / std::sqrt(double(n));
            comparison.standardError = se;
            if (se > 0.0)
                comparison.z = comparison.meanDifference / se;
        }
        comparison.verdict = marketVerdict(comparison.z);
    }
    return report;
}
