#pragma once

#include <QJsonObject>
#include <QString>

// A team as a search result.
struct Team
{
    QString id;
    QString name;
    QString badge_url;
    QString league;
    QString country;

    QJsonObject toJson() const;
    static Team fromJson(const QJsonObject &object);
};
