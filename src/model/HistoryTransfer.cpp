#include "HistoryTransfer.h"

#include "JsonRead.h"
#include "app/FileIo.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool isCsv(const QString &path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

// A prediction's keys with their JSON types, in the order of history.json.
const QJsonObject &recordShape()
{
    static const QJsonObject shape = Prediction().toJson();
    return shape;
}

QString fieldText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    default:
        return jsonScoreText(value);
    }
}

QString quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QJsonValue fieldValue(const QString &key, const QString &text)
{
    switch (recordShape().value(key).type()) {
    case QJsonValue::String:
    case QJsonValue::Undefined:
        return text;
    case QJsonValue::Array:
        return QJsonDocument::fromJson(text.toUtf8()).array();
    default: {
        // Numbers, and the actual scores whose empty form is null.
        bool number = false;
        const double value = text.toDouble(&number);
        return number ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
    }
    }
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks.
QList<QStringList> csvRecords(const QString &text, bool *ok)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool inQuotes = false;
    bool fieldStarted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            record.append(field);
            field.clear();
            fieldStarted = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (fieldStarted || !field.isEmpty() || !record.isEmpty()) {
                record.append(field);
                records.append(record);
            }
            record.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.isEmpty() || !record.isEmpty()) {
        record.append(field);
        records.append(record);
    }
    *ok = !inQuotes;
    return records;
}

} // namespace

QByteArray historyCsv(const QJsonArray &entries)
{
    const QStringList keys = recordShape().keys();
    QStringList lines;
    lines.reserve(entries.size() + 1);
    lines.append(keys.join(QLatin1Char(',')));
    for (const QJsonValue &entry : entries) {
        const QJsonObject object = entry.toObject();
        QStringList fields;
        fields.reserve(keys.size());
        for (const QString &key : keys)
            fields.append(quoted(fieldText(object.value(key))));
        lines.append(fields.join(QLatin1Char(',')));
    }
    return (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8();
}

QJsonArray parseHistoryCsv(const QByteArray &csv, bool *ok)
{
    bool wellFormed = false;
    const QList<QStringList> records = csvRecords(QString::fromUtf8(csv), &wellFormed);
    *ok = wellFormed && !records.isEmpty();
    QJsonArray entries;
    if (!*ok)
        return entries;
    const QStringList header = records.first();
    for (qsizetype r = 1; r < records.size(); ++r) {
        QJsonObject entry;
        for (qsizetype c = 0; c < header.size() && c < records.at(r).size(); ++c)
            entry.insert(header.at(c), fieldValue(header.at(c), records.at(r).at(c)));
        entries.append(entry);
    }
    return entries;
}

QString exportHistory(const HistoryStore &store, const QString &path)
{
    const QJsonArray entries = store.toJsonArray();
    const QByteArray bytes =
        isCsv(path) ? historyCsv(entries) : QJsonDocument(entries).toJson(QJsonDocument::Indented);
    if (!saveUserFile(path, bytes))
        return QStringLiteral("Could not write %1.").arg(path);
    return {};
}

QString importHistory(HistoryStore &store, const QString &path, HistoryImport *result)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Could not read %1: %2").arg(path, file.errorString());
    const QByteArray bytes = file.readAll();
    QJsonArray entries;
    if (isCsv(path)) {
        bool ok = false;
        entries = parseHistoryCsv(bytes, &ok);
        if (!ok)
            return QStringLiteral("%1 is not a CSV file of predictions.").arg(path);
    } else {
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        if (!doc.isArray())
            return QStringLiteral("%1 is not a history file (a JSON array of predictions).").arg(path);
        entries = doc.array();
    }
    const HistoryImport counts = store.importEntries(entries);
    if (result)
        *result = counts;
    return {};
}
