#include "JsonStore.h"

#include "app/FileIo.h"

#include <QFile>
#include <QJsonDocument>

QJsonArray loadArray(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    file.close();
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (doc.isArray())
        return doc.array();
    if (!bytes.trimmed().isEmpty())
        keepCorruptCopy(path, QStringLiteral("a JSON array"));
    return {};
}

bool saveArray(const QString &path, const QJsonArray &array)
{
    return saveUserFile(path, QJsonDocument(array).toJson(QJsonDocument::Indented));
}
