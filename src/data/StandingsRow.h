#pragma once

#include <QString>

// One line of a league table, as the provider displays it (a goal difference
// reads "+12").
struct StandingsRow
{
    QString rank;
    QString team;
    QString gamesPlayed;
    QString wins;
    QString ties;
    QString losses;
    QString pointDifferential;
    QString points;
};
