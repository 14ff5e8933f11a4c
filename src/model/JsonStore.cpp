#include "JsonStore.h"

#include "app/FileIo.h"
#include "app/Log.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

namespace {

void keepCorruptCopy(const QString &path)
{
    const QString copy = path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::exists(copy) || QFile::copy(path, copy))
        appLog(QStringLiteral("%1 is not a JSON array; kept a copy as %2").arg(path, copy));
    else
        appLog(QStringLiteral("%1 is not a JSON array and could not be copied aside").arg(path));
}

} // namespace

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
        keepCorruptCopy(path);
    return {};
}

bool saveArray(const QString &path, const QJsonArray &array)
{
    return saveUserFile(path, QJsonDocument(array).toJson(QJsonDocument::Indented));
}
