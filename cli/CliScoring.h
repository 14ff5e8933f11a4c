#pragma once

#include "ai/Scoring.h"

#include <QJsonObject>
#include <QString>

// The probability scores of `stats`: "scoring", "baselines", "calibration",
// "draws" and "in_play", ready to join the other keys of its JSON reply.
// Rates are fractions 0-1, percentages 0-100; what cannot be computed (no
// predictions behind it) is null.
QJsonObject scoringJson(const ScoreReport &report);

// The same in a few lines of text.
QString scoringText(const ScoreReport &report);
