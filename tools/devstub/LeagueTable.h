#pragma once

#include "Replay.h"

#include <QDateTime>
#include <QString>

#include <vector>

// One club's line in a table worked out from the served results.
struct TableRow
{
    QString teamId;
    int played = 0;
    int wins = 0;
    int draws = 0;
    int losses = 0;
    int goalsFor = 0;
    int goalsAgainst = 0;
    QString form; // up to five letters, oldest first

    int points() const { return 3 * wins + draws; }
    int goalDifference() const { return goalsFor - goalsAgainst; }
};

// The table of a league's season at `now`: every club of the league, from
// the matches that are over, ordered by points, goal difference, goals
// scored and name. Empty for a league the recording does not hold.
std::vector<TableRow> leagueTable(const Replay &replay, const QString &slug, int season,
                                  const QDateTime &now);
