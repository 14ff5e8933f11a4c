#pragma once

#include "Prediction.h"

#include <QJsonArray>
#include <QList>
#include <QString>

// Every prediction made, newest first, at most MaxEntries. GUI thread only.
class HistoryStore
{
public:
    static constexpr int MaxEntries = 200;

    explicit HistoryStore(QString path);

    void add(const Prediction &prediction);
    // Replaces the stored entry of the same prediction in place; an unknown
    // prediction is not added.
    void update(const Prediction &prediction);
    void clear();
    QList<Prediction> all() const;
    void save();

private:
    QString m_path;
    QJsonArray m_items;
};
