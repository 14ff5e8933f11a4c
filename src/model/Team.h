#pragma once

#include <QString>

// A team as a search result.
struct Team
{
    QString id;
    QString name;
    QString badge_url;
    QString league;
    QString country;
};
