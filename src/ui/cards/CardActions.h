#pragma once

class AppContext;
class MatchCard;
struct Match;

// Turns a card's "predict" and "see reasoning" clicks into model calls in
// the background and brings the results back into the card, the history,
// a sound and a toast. Every page that lists match cards wires each card
// once; the connections end with the card.
void wireCard(AppContext *context, MatchCard *card);

// A quick prediction of `match` for `card`. A result or error that arrives
// after the card was deleted is dropped.
void onPredict(AppContext *context, MatchCard *card, const Match &match);

// The written reasoning behind the prediction the card shows.
void onReasoningRequested(AppContext *context, MatchCard *card);
