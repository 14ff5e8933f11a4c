#include "HistoryStore.h"

#include "JsonStore.h"

namespace {

QString textOf(const QJsonValue &v, const char *key)
{
    return v.toObject().value(QLatin1String(key)).toString();
}

} // namespace

HistoryStore::HistoryStore(QString path)
    : m_path(std::move(path))
    , m_items(loadArray(m_path))
{}

void HistoryStore::add(const Prediction &prediction)
{
    m_items.prepend(prediction.toJson());
    while (m_items.size() > MaxEntries)
        m_items.removeLast();
    save();
}

void HistoryStore::update(const Prediction &prediction)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const QString id = textOf(m_items.at(i), "id");
        if (!id.isEmpty() && id == prediction.id) {
            m_items.replace(i, prediction.toJson());
            save();
            return;
        }
    }
    // Entries stored without an id get a fresh one each time they are read,
    // so their creation time is the only stable identity left.
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (textOf(m_items.at(i), "id").isEmpty() &&
            textOf(m_items.at(i), "created_at") == prediction.created_at) {
            m_items.replace(i, prediction.toJson());
            save();
            return;
        }
    }
}

void HistoryStore::clear()
{
    m_items = QJsonArray();
    save();
}

QList<Prediction> HistoryStore::all() const
{
    QList<Prediction> predictions;
    predictions.reserve(m_items.size());
    for (const QJsonValue &v : m_items)
        predictions.append(Prediction::fromJson(v.toObject()));
    return predictions;
}

void HistoryStore::save()
{
    saveArray(m_path, m_items);
}
