#include "CliScoring.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {

QJsonValue orNull(bool known, double value)
{
    return known ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue orNull(const std::optional<double> &value)
{
    return orNull(value.has_value(), value.value_or(0.0));
}

QJsonObject scoresJson(const ForecastScores &s)
{
    const bool known = s.n > 0;
    return QJsonObject{{QStringLiteral("rps"), orNull(known, s.rps)},
                       {QStringLiteral("brier"), orNull(known, s.brier)},
                       {QStringLiteral("log_loss"), orNull(known, s.logLoss)},
                       {QStringLiteral("hit_rate"), orNull(known, s.hitRate)}};
}

QString threeDecimals(double value)
{
    return QString::number(value, 'f', 3);
}

QString percent(double fraction)
{
    return QStringLiteral("%1%").arg(qRound(fraction * 100.0));
}

} // namespace

QJsonObject scoringJson(const ScoreReport &report)
{
    const bool scored = report.model.n > 0;
    QJsonObject scoring = scoresJson(report.model);
    scoring.insert(QStringLiteral("n"), report.model.n);

    const MarketComparison &m = report.market;
    QJsonObject market = scoresJson(m.market);
    market.insert(QStringLiteral("n"), m.market.n);
    market.insert(QStringLiteral("model_rps"), orNull(m.market.n > 0, m.modelRps));
    market.insert(QStringLiteral("z"), orNull(m.z));
    market.insert(QStringLiteral("verdict"),
                  m.verdict.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(m.verdict));

    QJsonArray calibration;
    for (const CalibrationBin &bin : report.calibration)
        calibration.append(QJsonObject{{QStringLiteral("from"), bin.from},
                                       {QStringLiteral("to"), bin.to},
                                       {QStringLiteral("n"), bin.n},
                                       {QStringLiteral("mean_pct"), orNull(bin.n > 0, bin.meanPct)},
                                       {QStringLiteral("observed_pct"), orNull(bin.n > 0, bin.observedPct)}});

    return QJsonObject{
        {QStringLiteral("scoring"), scoring},
        {QStringLiteral("baselines"),
         QJsonObject{{QStringLiteral("base_rate"), scoresJson(report.baseRate)},
                     {QStringLiteral("always_home"),
                      QJsonObject{{QStringLiteral("hit_rate"), orNull(scored, report.alwaysHomeHitRate)}}},
                     {QStringLiteral("market"), market}}},
        {QStringLiteral("calibration"), calibration},
        {QStringLiteral("draws"),
         QJsonObject{{QStringLiteral("mean_predicted_pct"), orNull(scored, report.meanPredictedDrawPct)},
                     {QStringLiteral("observed_pct"), orNull(scored, report.observedDrawPct)}}},
        {QStringLiteral("in_play"),
         QJsonObject{{QStringLiteral("n"), report.inPlay.n},
                     {QStringLiteral("hit_rate"), orNull(report.inPlay.n > 0, report.inPlay.hitRate)}}}};
}

QString scoringText(const ScoreReport &report)
{
    QString text;
    const ForecastScores &model = report.model;
    if (model.n == 0) {
        text += QStringLiteral("Probability scores: no checked pre-match predictions yet\n");
    } else {
        const ForecastScores &base = report.baseRate;
        text += QStringLiteral("RPS / Brier / log loss: %1 / %2 / %3 on %4 (base rate %5 / %6 / %7)\n")
                    .arg(threeDecimals(model.rps), threeDecimals(model.brier), threeDecimals(model.logLoss))
                    .arg(model.n)
                    .arg(threeDecimals(base.rps), threeDecimals(base.brier), threeDecimals(base.logLoss));
        text += QStringLiteral("Most likely outcome: %1 (always home %2)\n")
                    .arg(percent(model.hitRate), percent(report.alwaysHomeHitRate));
        text += QStringLiteral("Draws: predicted %1%, happened %2%\n")
                    .arg(QString::number(report.meanPredictedDrawPct, 'f', 1),
                         QString::number(report.observedDrawPct, 'f', 1));
    }
    const MarketComparison &m = report.market;
    if (m.market.n > 0)
        text += QString::fromUtf8("Versus the bookmakers: RPS %1 vs %2 on %3 matches \xE2\x80\x94 %4\n")
                    .arg(threeDecimals(m.modelRps), threeDecimals(m.market.rps))
                    .arg(m.market.n)
                    .arg(m.verdict);
    if (report.inPlay.n > 0)
        text += QStringLiteral("Made in play (not scored): %1, most likely outcome %2\n")
                    .arg(report.inPlay.n)
                    .arg(percent(report.inPlay.hitRate));
    return text;
}
