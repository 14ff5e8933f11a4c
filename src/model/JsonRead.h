#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Lenient readers shared by the records: a missing key or a value of the
// wrong type gives the default, never an error.

inline QString jsonText(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString();
}

// An integer that must be integral; anything else reads as `fallback`.
inline int jsonInt(const QJsonValue &v, int fallback = 0)
{
    return v.toInt(fallback);
}

// A score written as a string, a number or a boolean, read back as text.
// Null and missing give an empty text.
QString jsonScoreText(const QJsonValue &v);
