#include "Prompts.h"

#include "ModelReply.h"

#include <QJsonArray>
#include <QStringList>

#include <cmath>

// One source line per prompt line, so the text reads as the model reads it.
// clang-format off
const QString QUICK_SYSTEM_PROMPT_BASE = QStringLiteral(
    "You are Tolvo, a professional football (soccer) match analyst. Your job is to call the single most likely result of one fixture as accurately as a sharp bettor would — not as a fan, not as a pundit chasing a bold shout. Accuracy and honest calibration are the only things that matter here.\n"
    "\n"
    "You are given the fixture plus each side's recent results, current form (W/D/L, most recent last), goals scored and conceded, and any head-to-head meetings. Use ONLY that data. Do not use anything you happen to remember about these clubs — squads, transfers, reputations and league standing all drift out of date, and a confident call from stale memory is worse than a measured one from the numbers in front of you.\n"
    "\n"
    "METHOD — work through every step below internally before writing anything, then output only the JSON. Do not skip a step just because an early one looks decisive:\n"
    "1. Form: weight the most recent matches most heavily. A team on WWW is trending up; one on LLL is trending down, regardless of name. Three strong recent results outweigh one old marquee win.\n"
    "2. Home/away split: each result line shows who was actually at home. A team's away record is a better guide to how it'll do away (here) than its overall record padded with home wins — separate the two in your head rather than reading the blended form string at face value. Weight the home team's own home results and the away team's own away results more heavily than the flip side of each.\n"
    "3. Goals: compare goals scored vs conceded for each side. A team scoring freely against one leaking goals points to an open, higher-scoring game; two mean defences point to a tight one. Let this shape the scoreline, not a guess.\n"
    "4. Home advantage: home sides win markedly more often than away sides across every league. Give the home team a real but modest edge — enough to break genuine ties, not enough to override clearly better away form.\n"
    "5. Head-to-head: recent meetings between these two carry weight (styles and matchups persist); meetings from years ago carry little. Ignore H2H entirely if it's sparse.\n"
    "6. Weigh the signals against each other rather than in isolation: strong recent form with a mismatched goal record is a genuine conflict, not something to average away silently — let it show up as a wider, less confident probability split rather than picking whichever signal you considered last.\n"
    "7. Missing data: if form or H2H is thin or absent, say so to yourself by widening the probabilities toward even and lowering confidence. Never invent a trend from nothing.\n"
    "\n"
    "CALIBRATION — this is where most predictions go wrong:\n"
    "- Draws are real. Roughly a quarter of matches end level. Call DRAW whenever neither side is clearly stronger; do not manufacture a winner just to look decisive.\n"
    "- Low scores are the norm. 1-0, 2-1, 1-1, 0-0, 2-0 are among the most common results in football. Do NOT inflate scorelines. A 3-2 or 4-1 should be rare and earned by the data, never a default.\n"
    "- The three probabilities are the real output — the outcome is just whichever is highest. Make them honest: a genuine toss-up is roughly 40/30/30, not 70/20/10 — but don't hedge out of a clear read either; when recent form, goals and home advantage all point the same way, say so plainly rather than rounding back toward even out of caution.\n"
    "- Confidence reflects how strongly the data points one way, AND how much data you had. Back yourself when the signals actually agree: plenty of data all agreeing → 80-95. Mixed signals or a true coin-flip → 50-65. Thin or missing data → below 50. Reserve 90+ for the rare case where form, goals and home/away split all line up — but don't be afraid to use it when they genuinely do.\n"
    "- The scoreline must be consistent with the outcome: a HOME call needs the home team scoring more (2-1, 1-0), a DRAW needs equal goals (1-1, 0-0), an AWAY call the reverse.\n"
    "\n"
    "Respond with ONLY a compact JSON object in exactly this schema — no prose, no markdown, no explanation. Keeping the output tiny is what makes this fast:\n"
    "\n"
    "{\n"
    "  \"outcome\": \"HOME\" | \"DRAW\" | \"AWAY\",\n"
    "  \"home_win_pct\": <int 0-100>,\n"
    "  \"draw_pct\": <int 0-100>,\n"
    "  \"away_win_pct\": <int 0-100>,\n"
    "  \"scoreline\": \"<home>-<away>, e.g. 2-1 or 0-0\",\n"
    "  \"confidence\": <int 0-100>\n"
    "}\n"
    "\n"
    "The three percentages must sum to approximately 100, and \"outcome\" must match whichever of the three is largest."
);

const QString REASONING_SYSTEM_PROMPT = QStringLiteral(
    "You are Tolvo, an expert football (soccer) analyst. You already called a result for this fixture; now explain the reasoning behind that specific call using the recent form and head-to-head data provided. Be honest \u2014 if your call was a DRAW or a low-scoring game (0-0, 1-0, 0-1), say plainly why the data pointed to a tight, cagey game rather than padding the reasoning. Respond ONLY with a compact JSON object matching this exact schema, no prose outside it:\n"
    "\n"
    "{\n"
    "  \"summary\": \"<2-3 sentence analysis in plain English>\",\n"
    "  \"key_factors\": [%1]\n"
    "}"
);
// clang-format on

namespace {

QString resultLine(const Match &m)
{
    return QStringLiteral("  %1: %2 %3-%4 %5")
        .arg(m.date, m.home_team, m.home_score, m.away_score, m.away_team);
}

bool hasScores(const Match &m)
{
    return !m.home_score.isEmpty() && !m.away_score.isEmpty();
}

QString orDefault(const QString &text, const QString &fallback)
{
    return text.isEmpty() ? fallback : text;
}

} // namespace

QString formatRecent(const QString &header, const QString &team, const std::vector<Match> &matches)
{
    QStringList lines;
    for (const Match &m : matches) {
        if (hasScores(m))
            lines.append(resultLine(m));
    }
    if (lines.isEmpty())
        return header + QStringLiteral(": no recent result data available.");

    // Oldest first, so the newest result is the last letter.
    QString form;
    int scored = 0;
    int conceded = 0;
    for (auto it = matches.crbegin(); it != matches.crend(); ++it) {
        const auto scores = it->parsedScores();
        if (!scores)
            continue;
        const auto [home, away] = *scores;
        int own = 0;
        int other = 0;
        if (it->home_team == team) {
            own = home;
            other = away;
        } else if (it->away_team == team) {
            own = away;
            other = home;
        } else {
            continue;
        }
        form += own > other ? QLatin1Char('W') : own < other ? QLatin1Char('L') : QLatin1Char('D');
        scored += own;
        conceded += other;
    }

    QString block = header + QLatin1Char(':') + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
    if (!form.isEmpty()) {
        block +=
            QStringLiteral("\n  Form (most recent last): %1 \u2014 %2 scored / %3 conceded over %4")
                .arg(form, QString::number(scored), QString::number(conceded), QString::number(form.size()));
    }
    return block;
}

QString buildContext(const Match &match, const std::vector<Match> &homeRecent,
                     const std::vector<Match> &awayRecent, const std::vector<Match> &h2h)
{
    QStringList lines;
    lines << QStringLiteral("Fixture: %1 (home) vs %2 (away)").arg(match.home_team, match.away_team)
          << QStringLiteral("League: %1").arg(orDefault(match.league, QStringLiteral("Unknown")))
          << QStringLiteral("Date: %1 %2")
                 .arg(orDefault(match.date, QStringLiteral("TBD")), match.time)
                 .trimmed()
          << QStringLiteral("Venue: %1").arg(orDefault(match.venue, QStringLiteral("Unknown"))) << QString()
          << formatRecent(match.home_team + QStringLiteral(" recent form"), match.home_team, homeRecent)
          << QString()
          << formatRecent(match.away_team + QStringLiteral(" recent form"), match.away_team, awayRecent);

    QStringList meetings;
    for (const Match &m : h2h) {
        if (hasScores(m))
            meetings.append(resultLine(m));
    }
    if (!meetings.isEmpty())
        lines << QString() << QStringLiteral("Head-to-head history (most recent first):") << meetings;
    return lines.join(QLatin1Char('\n'));
}

QString reasoningSystemPrompt(int keyFactorCount)
{
    QStringList placeholders;
    for (int i = 0; i < keyFactorCount; ++i)
        placeholders.append(QStringLiteral("\"<short factor>\""));
    return REASONING_SYSTEM_PROMPT.arg(placeholders.join(QStringLiteral(", ")));
}

QString reasoningUserText(const QString &context, const Prediction &prediction)
{
    // Joined piece by piece rather than through placeholders: the context and
    // the model's own scoreline may hold a "%" followed by a digit.
    return context + QStringLiteral("\n\nYour call: ") + prediction.outcome +
           QStringLiteral(", predicted scoreline ") + prediction.scoreline + QStringLiteral(", ") +
           QString::number(prediction.confidence) + QStringLiteral("% confidence.");
}

Prediction predictionFromQuickReply(const Match &match, const QJsonObject &reply, const QString &model,
                                    double cost)
{
    Prediction p = Prediction::freshlyCreated();
    p.match_label = match.home_team + QStringLiteral(" vs ") + match.away_team;
    const QuickCall call = readQuickCall(reply);
    p.outcome = call.outcome;
    p.home_win_pct = call.homeWinPct;
    p.draw_pct = call.drawPct;
    p.away_win_pct = call.awayWinPct;
    p.scoreline = call.scoreline;
    p.confidence = call.confidence;
    p.model = model;
    p.league = match.league;
    p.match_id = match.id;
    p.home_team = match.home_team;
    p.away_team = match.away_team;
    p.cost_gbp = cost;
    // Taken now: ESPN drops the prices at full time, and a call made after
    // kick-off must not be scored as if it had been made before.
    p.kickoff_state = match.state;
    if (match.market) {
        auto oneDecimal = [](double pct) { return std::round(pct * 10.0) / 10.0; };
        p.market_home_pct = oneDecimal(match.market->home_pct);
        p.market_draw_pct = oneDecimal(match.market->draw_pct);
        p.market_away_pct = oneDecimal(match.market->away_pct);
        p.market_provider = match.market->provider;
    }
    return p;
}

Prediction withReasoning(const Prediction &prediction, const QJsonObject &reply, double cost)
{
    Prediction p = prediction;
    p.summary = reply.value(QLatin1String("summary")).toString();
    p.key_factors.clear();
    for (const QJsonValue &factor : reply.value(QLatin1String("key_factors")).toArray())
        p.key_factors.append(factor.toString());
    p.cost_gbp = prediction.cost_gbp + cost;
    return p;
}
