#pragma once

#include "HistoryStore.h"

#include <QByteArray>
#include <QJsonArray>
#include <QString>

// Moving the history out of the database and back in. A file name ending in
// ".csv" (any case) means CSV, anything else the JSON array of history.json.

// Writes every stored prediction to `path`. Returns what went wrong, empty on
// success.
QString exportHistory(const HistoryStore &store, const QString &path);

// Adds the predictions of a file written by exportHistory (or a history.json);
// stored identities are updated, not duplicated. Returns what went wrong,
// empty on success.
QString importHistory(HistoryStore &store, const QString &path, HistoryImport *result = nullptr);

// CSV with one row per entry under a header of the record's keys. Texts are
// written as they are, numbers in their shortest form, null as an empty
// field and lists as JSON text; fields are quoted when they need it.
QByteArray historyCsv(const QJsonArray &entries);
// The entries of such a CSV, each value given back the JSON type its key has
// in a prediction. False in `ok` when the text is not CSV with a header.
QJsonArray parseHistoryCsv(const QByteArray &csv, bool *ok);
