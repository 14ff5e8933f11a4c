#include "FavoritesStore.h"

#include "JsonStore.h"

namespace {

QString idOf(const QJsonValue &v)
{
    return v.toObject().value(QLatin1String("id")).toString();
}

} // namespace

FavoritesStore::FavoritesStore(QString path)
    : m_path(std::move(path))
    , m_items(loadArray(m_path))
{}

bool FavoritesStore::isFavorite(const QString &id) const
{
    for (const QJsonValue &v : m_items) {
        if (idOf(v) == id)
            return true;
    }
    return false;
}

void FavoritesStore::add(const Match &match)
{
    if (isFavorite(match.id))
        return;
    m_items.prepend(match.toJson());
    save();
}

void FavoritesStore::remove(const QString &id)
{
    QJsonArray kept;
    for (const QJsonValue &v : m_items) {
        if (idOf(v) != id)
            kept.append(v);
    }
    if (kept.size() == m_items.size())
        return;
    m_items = kept;
    save();
}

bool FavoritesStore::toggle(const Match &match)
{
    if (isFavorite(match.id)) {
        remove(match.id);
        return false;
    }
    add(match);
    return true;
}

QList<Match> FavoritesStore::all() const
{
    QList<Match> matches;
    matches.reserve(m_items.size());
    for (const QJsonValue &v : m_items)
        matches.append(Match::fromJson(v.toObject()));
    return matches;
}

void FavoritesStore::save()
{
    saveArray(m_path, m_items);
}
