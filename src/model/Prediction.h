#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// The model's call on one fixture, later completed with the real result.
struct Prediction
{
    QString match_label;
    QString outcome; // "HOME", "DRAW" or "AWAY"
    int home_win_pct = 0;
    int draw_pct = 0;
    int away_win_pct = 0;
    QString scoreline;
    int confidence = 0;
    QString summary;
    QStringList key_factors;
    QString model;
    QString created_at; // local time, yyyy-MM-ddTHH:mm:ss
    QString id = newId();
    QString league;
    QString match_id;
    QString home_team;
    QString away_team;
    int actual_home_score = -1; // -1 until the result is known
    int actual_away_score = -1;
    double cost_gbp = 0.0;
    // The bookmakers' chances when the call was made (percent, one decimal,
    // margin removed); none when ESPN carried no prices for the fixture.
    std::optional<double> market_home_pct;
    std::optional<double> market_draw_pct;
    std::optional<double> market_away_pct;
    QString market_provider;
    // The match's state when the call was made: "pre", "in", or empty when
    // unknown (records made before it was kept).
    QString kickoff_state;

    QJsonObject toJson() const;
    static Prediction fromJson(const QJsonObject &object);

    // A new empty prediction stamped with a fresh id and the current time.
    static Prediction freshlyCreated();
    // Whether it belongs to a scheduled fixture whose result can be looked
    // up (a made-up matchup has none).
    bool isCheckable() const;

    // "HOME", "AWAY" or "DRAW" once both actual scores are known.
    std::optional<QString> actualOutcome() const;
    // Whether the call matched the result, once both actual scores are known.
    std::optional<bool> wasCorrect() const;

    // Whether the call was made before kick-off, as far as is known: only
    // these are scored against the bookmakers and the base rate.
    bool madeBeforeKickoff() const;

    static QString newId();
};
