#pragma once

#include <QString>

class AppContext;
class MatchCard;

// Fills one crest of a card: from the crest cache at once when the image is
// there, otherwise downloaded on the context's background pool, stored in
// the cache and shown if the card still exists by then. Failures leave the
// placeholder. GUI thread only.
void loadCrest(AppContext *context, MatchCard *card, const QString &side, const QString &url);

// The cache file of a crest URL: the SHA-1 of the URL in hexadecimal, in the
// crest cache folder.
QString crestCachePath(const QString &url);
