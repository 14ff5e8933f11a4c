#include "Team.h"

#include "JsonRead.h"

QJsonObject Team::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("badge_url"), badge_url},
                       {QStringLiteral("league"), league},
                       {QStringLiteral("country"), country}};
}

Team Team::fromJson(const QJsonObject &o)
{
    Team t;
    t.id = jsonText(o, "id");
    t.name = jsonText(o, "name");
    t.badge_url = jsonText(o, "badge_url");
    t.league = jsonText(o, "league");
    t.country = jsonText(o, "country");
    return t;
}
