#pragma once

#include <QList>
#include <QString>

struct League
{
    QString slug; // the data provider's league code, e.g. "eng.1"
    QString name;
    QString country;
};

// The tracked leagues, in the order every list and probe uses.
const QList<League> &defaultLeagues();
