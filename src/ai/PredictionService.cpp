#include "PredictionService.h"

#include "ai/Prompts.h"
#include "ai/ThinkingPreset.h"
#include "app/WorkerPool.h"

namespace {

// A base-10 score, or -1 when the text is not a plain non-negative number.
int finalScore(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && value >= 0 ? value : -1;
}

} // namespace

QString gatherContext(const EspnApi &api, const Match &match, const QString &depth)
{
    const ThinkingPreset preset = thinkingPreset(depth);

    // The meetings come from the home side's schedules, the same ones its
    // recent results are read from: the home side waits for them and then
    // finds them in the cache, rather than asking for them a second time.
    std::vector<Match> h2h;
    std::vector<Match> awayRecent;
    runConcurrently({[&] { h2h = api.searchHeadToHead(match.home_team, match.away_team); },
                     [&] {
                         if (!match.away_team_id.isEmpty())
                             awayRecent = api.teamLastEvents(match.away_team_id, preset.formGames);
                     }});
    std::vector<Match> homeRecent;
    if (!match.home_team_id.isEmpty())
        homeRecent = api.teamLastEvents(match.home_team_id, preset.formGames);

    if (h2h.size() > size_t(preset.h2hGames))
        h2h.resize(size_t(preset.h2hGames));

    return buildContext(match, homeRecent, awayRecent, h2h);
}

std::pair<Prediction, QString> predictMatch(const EspnApi &api, const Predictor &predictor,
                                            const Match &match, const QString &depth)
{
    QString context = gatherContext(api, match, depth);
    Prediction prediction = predictor.predictQuick(match, context, depth);
    return {std::move(prediction), std::move(context)};
}

Prediction checkResult(const EspnApi &api, const Prediction &prediction)
{
    if (!prediction.isCheckable())
        throw ApiError(
            QStringLiteral("This was a hypothetical matchup \u2014 there's no real fixture to check."));

    const std::optional<Match> match = api.lookupEvent(prediction.match_id, true);
    if (!match) {
        throw ApiError(
            QStringLiteral("Couldn't find this fixture on ESPN. It may be an older prediction from "
                           "before the data source changed, or a match ESPN no longer lists."));
    }
    if (match->state == QLatin1String("in")) {
        QString text = QStringLiteral("This match is still being played right now");
        if (!match->status_detail.isEmpty())
            text += QStringLiteral(" (") + match->status_detail + QLatin1Char(')');
        throw ApiError(text + QLatin1Char('.'));
    }
    if (match->home_score.isEmpty() || match->away_score.isEmpty())
        throw ApiError(QStringLiteral("This fixture hasn't kicked off yet."));

    // A negative number would read as "no result" in the history, so it
    // counts as a score that is not available rather than as a result.
    const int home = finalScore(match->home_score);
    const int away = finalScore(match->away_score);
    if (home < 0 || away < 0)
        throw ApiError(QStringLiteral("The final score for this fixture isn't available yet."));

    Prediction checked = prediction;
    checked.actual_home_score = home;
    checked.actual_away_score = away;
    return checked;
}
