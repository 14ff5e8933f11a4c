#pragma once

#include "ai/Scoring.h"
#include "model/Prediction.h"

class HistoryStore;

#include <QList>
#include <QString>

// A call counts as confident at this confidence (percent) or above.
inline constexpr int CONFIDENT_THRESHOLD = 65;

// One league's tally of checked calls.
struct LeagueRecord
{
    QString league; // "Other" for calls without a league
    int correct = 0;
    int checked = 0;
};

// The figures of the accuracy dashboard.
struct AccuracyStats
{
    int total = 0;
    int checked = 0;
    int correct = 0;
    int currentStreak = 0; // right calls in a row, back from the newest checked one
    int bestStreak = 0;
    int confidentChecked = 0;
    int confidentCorrect = 0;
    // Most checked first, then the more accurate; ties by league name.
    QList<LeagueRecord> leagues;
    // The probabilities scored against the base rate and the bookmakers.
    ScoreReport scoring;
};

// Pure; the predictions may come in any order (streaks follow created_at).
AccuracyStats computeStats(const QList<Prediction> &predictions);

// The figures of everything stored: only the checked predictions are read,
// the rest are counted.
AccuracyStats computeHistoryStats(const HistoryStore &history);
