#include "LeagueTable.h"

#include <QHash>

#include <algorithm>
#include <tuple>

std::vector<TableRow> leagueTable(const Replay &replay, const QString &slug, int season, const QDateTime &now)
{
    const Recording &recording = replay.recording();
    const RecordedLeague *league = recording.league(slug);
    if (!league)
        return {};

    QHash<QString, TableRow> rows;
    for (const QString &id : league->teamIds)
        rows[id].teamId = id;

    const std::vector<EventView> views = replay.leagueBetween(slug, QDate(1900, 1, 1), now.date(), now);
    for (const EventView &view : views) {
        if (!view.completed || view.season != season || view.homeScore < 0 || view.awayScore < 0)
            continue;
        TableRow &home = rows[view.event->homeId];
        TableRow &away = rows[view.event->awayId];
        home.teamId = view.event->homeId;
        away.teamId = view.event->awayId;
        const int h = view.homeScore;
        const int a = view.awayScore;
        for (TableRow *row : {&home, &away}) {
            const bool isHome = row == &home;
            const int own = isHome ? h : a;
            const int other = isHome ? a : h;
            ++row->played;
            row->goalsFor += own;
            row->goalsAgainst += other;
            const QChar letter = own > other ? u'W' : own < other ? u'L' : u'D';
            if (letter == u'W')
                ++row->wins;
            else if (letter == u'L')
                ++row->losses;
            else
                ++row->draws;
            row->form = QString(row->form + letter).right(5);
        }
    }

    std::vector<TableRow> table(rows.cbegin(), rows.cend());
    auto nameOf = [&](const QString &id) {
        const RecordedTeam *team = recording.team(id);
        return team ? team->displayName : id;
    };
    std::sort(table.begin(), table.end(), [&](const TableRow &a, const TableRow &b) {
        return std::make_tuple(-a.points(), -a.goalDifference(), -a.goalsFor, nameOf(a.teamId)) <
               std::make_tuple(-b.points(), -b.goalDifference(), -b.goalsFor, nameOf(b.teamId));
    });
    return table;
}
