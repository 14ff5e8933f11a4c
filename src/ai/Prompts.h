#pragma once

#include "model/Match.h"
#include "model/Prediction.h"

#include <QJsonObject>
#include <QString>
#include <vector>

// System text of the quick call, the same at every depth. It asks for a tiny
// JSON object: outcome, three percentages, scoreline and confidence.
extern const QString QUICK_SYSTEM_PROMPT_BASE;

// System text of the reasoning call; %1 takes the quoted factor placeholders.
extern const QString REASONING_SYSTEM_PROMPT;

// What the model is shown about a fixture: the fixture itself, each side's
// recent results with a form line, and the head-to-head meetings. Every list
// is newest first.
QString buildContext(const Match &match, const std::vector<Match> &homeRecent,
                     const std::vector<Match> &awayRecent, const std::vector<Match> &h2h);

// One team's block of the context, headed by `header`; its form line counts
// only the matches in which `team` played under exactly that name.
QString formatRecent(const QString &header, const QString &team, const std::vector<Match> &matches);

// REASONING_SYSTEM_PROMPT asking for `keyFactorCount` key factors.
QString reasoningSystemPrompt(int keyFactorCount);

// The context followed by the call already made.
QString reasoningUserText(const QString &context, const Prediction &prediction);

// A new prediction from the quick call's reply; what the reply lacks takes
// its default (outcome "DRAW", numbers 0, scoreline "?-?").
Prediction predictionFromQuickReply(const Match &match, const QJsonObject &reply, const QString &model,
                                    double cost);

// `prediction` with the reasoning reply's summary and key factors, and the
// reasoning call's cost added.
Prediction withReasoning(const Prediction &prediction, const QJsonObject &reply, double cost);
