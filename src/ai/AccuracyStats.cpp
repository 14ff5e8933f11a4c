#include "AccuracyStats.h"

#include "model/HistoryStore.h"

#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

struct Checked
{
    const Prediction *prediction;
    bool right;
};

long roundedAccuracy(const LeagueRecord &record)
{
    if (record.checked == 0)
        return 0;
    return std::lround(double(record.correct) * 100.0 / double(record.checked));
}

} // namespace

AccuracyStats computeStats(const QList<Prediction> &predictions)
{
    AccuracyStats stats;
    stats.total = int(predictions.size());
    stats.scoring = scorePredictions(predictions);

    QList<Checked> checked;
    for (const Prediction &p : predictions) {
        if (const auto right = p.wasCorrect())
            checked.append({&p, *right});
    }
    if (checked.isEmpty())
        return stats;

    stats.checked = int(checked.size());
    for (const Checked &c : checked) {
        if (c.right)
            ++stats.correct;
        if (c.prediction->confidence >= CONFIDENT_THRESHOLD) {
            ++stats.confidentChecked;
            if (c.right)
                ++stats.confidentCorrect;
        }
    }

    // The stamps are ISO-8601 text, so text order is time order. A stable
    // sort keeps calls made within the same second in the order given.
    QList<Checked> byTime = checked;
    std::stable_sort(byTime.begin(), byTime.end(), [](const Checked &a, const Checked &b) {
        return a.prediction->created_at < b.prediction->created_at;
    });
    int run = 0;
    for (const Checked &c : byTime) {
        run = c.right ? run + 1 : 0;
        stats.bestStreak = std::max(stats.bestStreak, run);
    }
    for (auto it = byTime.crbegin(); it != byTime.crend() && it->right; ++it)
        ++stats.currentStreak;

    QMap<QString, LeagueRecord> byLeague;
    for (const Checked &c : checked) {
        const QString key = c.prediction->league.isEmpty() ? QStringLiteral("Other") : c.prediction->league;
        auto it = byLeague.find(key);
        if (it == byLeague.end())
            it = byLeague.insert(key, LeagueRecord{key, 0, 0});
        ++it->checked;
        if (c.right)
            ++it->correct;
    }
    stats.leagues = byLeague.values();
    std::stable_sort(stats.leagues.begin(), stats.leagues.end(),
                     [](const LeagueRecord &a, const LeagueRecord &b) {
                         if (a.checked != b.checked)
                             return a.checked > b.checked;
                         return roundedAccuracy(a) > roundedAccuracy(b);
                     });
    return stats;
}

AccuracyStats computeHistoryStats(const HistoryStore &history)
{
    // Unchecked predictions add nothing but the total.
    AccuracyStats stats = computeStats(history.checked());
    stats.total = history.count();
    return stats;
}
