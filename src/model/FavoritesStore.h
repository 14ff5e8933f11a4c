#pragma once

#include "Match.h"

#include <QJsonArray>
#include <QList>
#include <QString>

// Starred fixtures, most recently starred first, each id at most once.
// GUI thread only.
class FavoritesStore
{
public:
    explicit FavoritesStore(QString path);

    bool isFavorite(const QString &id) const;
    void add(const Match &match);
    void remove(const QString &id);
    // Returns the new starred state.
    bool toggle(const Match &match);
    QList<Match> all() const;
    void save();

private:
    QString m_path;
    QJsonArray m_items;
};
