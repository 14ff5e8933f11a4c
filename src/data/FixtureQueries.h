#pragma once

#include "model/Match.h"
#include "model/Team.h"

#include <QDate>
#include <QString>

#include <utility>
#include <vector>

class EspnApi;

// The filter value that stands for every tracked league.
inline const QString ALL_LEAGUES = QStringLiteral("__all__");

// Today's fixtures of one league, or, for ALL_LEAGUES, of every tracked league
// fetched at once and merged: each fixture once, ordered by kick-off time and
// then league. Blocking; throws ApiError when any league's request fails.
// bypassCache reads every scoreboard from the service, for pages that show
// scores as they change.
std::vector<Match> fetchTodayMatches(const EspnApi &api, const QString &filter,
                                     const QDate &today = QDate::currentDate(), bool bypassCache = false);

// A made-up fixture for two teams without a scheduled meeting ("hyp-" id).
Match hypotheticalMatch(const Team &home, const Team &away);

// Whether the match is over: finished, or scored and no longer in play
// (a stale state). There is nothing left to predict then.
bool isMatchOver(const Match &match);

// Whether a fixture was made up rather than scheduled.
bool isHypothetical(const Match &match);

// The fixture to show for "a vs b": the nearest unplayed meeting, else the
// latest meeting, else a hypothetical fixture (second = true). Blocking;
// throws ApiError when a team cannot be found.
std::pair<Match, bool> findMatchup(const EspnApi &api, const QString &a, const QString &b);
