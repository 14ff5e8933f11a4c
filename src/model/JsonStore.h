#pragma once

#include <QJsonArray>
#include <QString>

// Reads a store's JSON array. Missing, unreadable or malformed files give an
// empty array; a malformed one is first copied aside (name.corrupt-<time>) so
// that the next save cannot destroy what the user had.
QJsonArray loadArray(const QString &path);

// Writes one JSON array, indented, through the atomic user-file writer.
bool saveArray(const QString &path, const QJsonArray &array);
