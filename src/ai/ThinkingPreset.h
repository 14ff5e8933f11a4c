#pragma once

#include <QString>

#include <map>

// How much the model is shown and how it is asked, per thinking depth.
struct ThinkingPreset
{
    int formGames = 0; // recent matches fetched per team
    int h2hGames = 0;  // head-to-head meetings kept
    double quickTemperature = 0.0;
    double reasoningTemperature = 0.0;
    int reasoningMaxTokens = 0;
    int keyFactorCount = 0;
};

// The depths "quick", "standard" and "deep" with their presets.
const std::map<QString, ThinkingPreset> &thinkingDepths();

// The preset of `depth`; any name outside the table (empty, misspelt, other
// case) gives the "standard" preset, so a stale setting never breaks a call.
ThinkingPreset thinkingPreset(const QString &depth);
