#pragma once

#include <QString>

#include <vector>

// The clubs tolvo-devstub writes into a generated recording. Colours are
// ESPN-style hex without '#'; the first club of a league is the strongest and
// strength falls off down the list, so generated tables look like real ones.
struct ClubSeed
{
    const char *name;
    const char *shortName;
    const char *abbreviation;
    const char *color;
    const char *alternateColor;
    const char *venue;
    const char *city;
};

struct LeagueSeed
{
    const char *slug;
    const char *espnName; // the provider's own long name ("English Premier League")
    const char *abbreviation;
    const char *country;
    const char *id;
    std::vector<ClubSeed> clubs;
};

// One entry per tracked league, in the program's league order.
const std::vector<LeagueSeed> &clubCatalog();
