#pragma once

#include "EspnReplies.h"
#include "Replay.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

// What a fixture's context text says, as far as the stub model reads it.
struct FixtureContext
{
    struct Form
    {
        bool known = false;
        QString letters; // oldest first
        int scored = 0;
        int conceded = 0;
    };

    QString home;
    QString away;
    QString league;
    Form homeForm;
    Form awayForm;
    int meetings = 0; // head-to-head meetings with a score
    int homeWins = 0; // of those, won by today's home team
    int awayWins = 0;
    // The call being explained, in a reasoning request.
    QString callOutcome;
    QString callScoreline;
    int callConfidence = -1;
};

struct QuickCall
{
    QString outcome;
    int homeWinPct = 0;
    int drawPct = 0;
    int awayWinPct = 0;
    QString scoreline;
    int confidence = 0;
};

struct Reasoning
{
    QString summary;
    QStringList keyFactors;
};

// Reads the context the program writes for a prediction.
FixtureContext readFixtureContext(const QString &text);
// A deterministic, plausible call: the percentages add up to 100, the
// outcome is the largest of them, the scoreline agrees with the outcome and
// the confidence lies between 35 and 80.
QuickCall quickCall(const FixtureContext &context, std::uint64_t seed);
// A short summary of the call and `factorCount` key factors.
Reasoning reasoningFor(const FixtureContext &context, int factorCount);

// Answers POST /v1/chat/completions like the OpenAI API. The program makes
// three kinds of call: the quick prediction (JSON reply with the outcome and
// percentages), the reasoning behind it (JSON reply with a summary and key
// factors) and the chat page's conversation (plain text). Each gets an
// answer derived from what it asks, plus a "usage" block so costs show.
class ModelReplies
{
public:
    ModelReplies(const Replay &replay, std::uint64_t seed);

    JsonReply chatCompletion(const QByteArray &body, const QDateTime &now) const;
    // The chat page's answer to `question`.
    QString chatAnswer(const QString &question, const QDateTime &now) const;

private:
    QString teamLine(const RecordedTeam &team, const QDateTime &now) const;

    const Replay &m_replay;
    std::uint64_t m_seed;
};
