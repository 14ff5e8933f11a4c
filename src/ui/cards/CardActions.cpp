#include "CardActions.h"

#include "MatchCard.h"
#include "PredictionCard.h"
#include "ai/PredictionService.h"
#include "ai/Pricing.h"
#include "ui/app/AppContext.h"

#include <QPointer>

#include <memory>
#include <utility>

namespace {

QString outcomeSound(const QString &outcome)
{
    static const QMap<QString, QString> sounds = {
        {QStringLiteral("HOME"), QStringLiteral("win_home")},
        {QStringLiteral("AWAY"), QStringLiteral("win_away")},
        {QStringLiteral("DRAW"), QStringLiteral("win_draw")},
    };
    return sounds.value(outcome, QStringLiteral("success"));
}

} // namespace

void wireCard(AppContext *context, MatchCard *card)
{
    QObject::connect(card, &MatchCard::predictClicked, card,
                     [context, card](const Match &match) { onPredict(context, card, match); });
    QObject::connect(card, &MatchCard::reasoningRequested, card,
                     [context](MatchCard *source) { onReasoningRequested(context, source); });
}

void onPredict(AppContext *context, MatchCard *card, const Match &match)
{
    if (card->predicting)
        return;
    card->setPredicting(true);
    context->play(QStringLiteral("thinking"));
    // Read now: a depth changed on the settings page during the call must
    // not change this call.
    const QString depth = context->settings.thinking_depth;
    QPointer<MatchCard> guard(card);

    using Result = std::pair<Prediction, QString>;
    context->runAsync<Result>(
        [context, match, depth]() {
            const std::unique_ptr<Predictor> predictor = context->getPredictor();
            return predictMatch(context->espn, *predictor, match, depth);
        },
        [context, guard](Result result) {
            // Paid for: kept even when the card is gone or the program quits.
            const Prediction &prediction = result.first;
            context->history.add(prediction);
            if (!guard)
                return;
            guard->showPrediction(prediction, result.second);
            context->play(outcomeSound(prediction.outcome));
            context->toast(QStringLiteral("Prediction ready: %1  \u00B7  %2")
                               .arg(prediction.scoreline, costText(prediction.model, prediction.cost_gbp)),
                           QStringLiteral("success"));
        },
        [context, guard](const QString &message) {
            if (!guard)
                return;
            guard->setPredicting(false);
            context->play(QStringLiteral("error"));
            context->toast(message, QStringLiteral("error"));
        });
}

void onReasoningRequested(AppContext *context, MatchCard *card)
{
    if (!card->predictionCard || card->predictionCard->loadingReasoning)
        return;
    card->setReasoningLoading(true);
    const Match match = card->match;
    const QString contextText = card->context;
    const Prediction prediction = card->prediction;
    const QString depth = context->settings.thinking_depth;
    QPointer<MatchCard> guard(card);

    // The card may have been predicted afresh while the reasoning was on
    // its way; the answer then belongs to the earlier prediction only.
    auto stillShown = [guard, id = prediction.id]() { return guard && guard->prediction.id == id; };

    context->runAsync<Prediction>(
        [context, match, contextText, prediction, depth]() {
            const std::unique_ptr<Predictor> predictor = context->getPredictor();
            return predictor->predictReasoning(match, contextText, prediction, depth);
        },
        [context, guard, stillShown](Prediction reasoned) {
            if (!guard)
                return;
            if (stillShown()) {
                guard->applyReasoning(reasoned);
                guard->setReasoningLoading(false);
            }
            context->history.update(reasoned);
            context->play(QStringLiteral("notify"));
        },
        [context, guard, stillShown](const QString &message) {
            if (!guard)
                return;
            if (stillShown())
                guard->setReasoningLoading(false);
            context->play(QStringLiteral("error"));
            context->toast(message, QStringLiteral("error"));
        });
}
