#include "FileIo.h"

#include "Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

bool saveUserFile(const QString &path, const QByteArray &data, FileAccess access)
{
    QDir().mkpath(QFileInfo(path).absolutePath());

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        appLog(QStringLiteral("Could not save %1: %2").arg(path, file.errorString()));
        return false;
    }
#ifdef Q_OS_UNIX
    // The temporary file is created with the default mode; restrict it before
    // any secret is written so that the key is never readable by others.
    if (access == FileAccess::OwnerOnly)
        ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
#else
    Q_UNUSED(access);
#endif
    if (file.write(data) != data.size()) {
        appLog(QStringLiteral("Could not save %1: %2").arg(path, file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        appLog(QStringLiteral("Could not save %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

void keepCorruptCopy(const QString &path, const QString &expected)
{
    const QString copy = path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::exists(copy) || QFile::copy(path, copy))
        appLog(QStringLiteral("%1 is not %2; kept a copy as %3").arg(path, expected, copy));
    else
        appLog(QStringLiteral("%1 is not %2 and could not be copied aside").arg(path, expected));
}
