#pragma once

#include "MarketSnapshot.h"

#include <QJsonObject>
#include <QString>

#include <optional>
#include <utility>

// One fixture: past, live or future. Scores are texts; an empty text means
// there is no score, "0" is a real one.
struct Match
{
    QString id;
    QString home_team;
    QString away_team;
    QString home_team_id;
    QString away_team_id;
    QString home_badge;
    QString away_badge;
    QString league;
    QString date; // yyyy-MM-dd
    QString time; // HH:mm
    QString venue;
    QString round;
    QString home_score;
    QString away_score;
    QString state; // "pre", "in", "post" as the provider reports it
    QString status_detail;
    // The bookmakers' chances as the last scoreboard or summary gave them.
    // Never written to favorites.json: a price is only worth keeping as a
    // snapshot taken when a call is made, and ESPN drops it at full time.
    std::optional<MarketSnapshot> market;

    // Both scores as whole numbers, or nothing while either is missing or
    // not a number (not started, postponed, not known).
    std::optional<std::pair<int, int>> parsedScores() const;
    // Both score fields filled in, whatever they hold.
    bool hasBothScores() const;

    // The id of a made-up fixture between two teams that have no scheduled
    // meeting, and whether an id is one: such a fixture has no result.
    static QString hypotheticalId(const QString &homeId, const QString &awayId);
    static bool isHypotheticalId(const QString &id);

    QJsonObject toJson() const;
    static Match fromJson(const QJsonObject &object);
};
