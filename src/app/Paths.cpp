#include "Paths.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace {

QDir ensured(const QString &path)
{
    QDir dir(path);
    dir.mkpath(QStringLiteral("."));
    return dir;
}

QString executableDir()
{
    // applicationDirPath() needs an application object; the log may be
    // written before one exists, and assets are only read after.
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

} // namespace

QDir configDir()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QDir dataDir()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QDir cacheDir()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
}

QDir crestCacheDir()
{
    return ensured(cacheDir().filePath(QStringLiteral("crests")));
}

QString settingsFilePath()
{
    return configDir().filePath(QStringLiteral("settings.json"));
}

QString favoritesFilePath()
{
    return dataDir().filePath(QStringLiteral("favorites.json"));
}

QString historyFilePath()
{
    return dataDir().filePath(QStringLiteral("history.json"));
}

QString historyDatabasePath()
{
    return dataDir().filePath(QStringLiteral("tolvo.db"));
}

QString chatsFilePath()
{
    return dataDir().filePath(QStringLiteral("chats.json"));
}

QString logFilePath()
{
    return dataDir().filePath(QStringLiteral("tolvo.log"));
}

QString assetPath(const QStringList &parts)
{
    const QDir exeDir(executableDir());
    QString path = exeDir.absoluteFilePath(QStringLiteral("assets"));
    // An installed program lives in PREFIX/bin with its assets in
    // PREFIX/share/tolvo/assets; found relative to the executable, any
    // prefix works, also a package unpacked somewhere else.
    if (!QFileInfo(path).isDir())
        path = QDir::cleanPath(exeDir.absoluteFilePath(QStringLiteral("../share/tolvo/assets")));
    if (!QFileInfo(path).isDir())
        path = exeDir.absolutePath();
    for (const QString &part : parts)
        path += QLatin1Char('/') + part;
    return path;
}
