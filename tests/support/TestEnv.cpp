#include "TestEnv.h"

#include "app/Constants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

TestEnv::TestEnv(QtTestMode mode)
{
    setApplicationIdentity();
    QStandardPaths::setTestModeEnabled(mode == QtTestMode::On);
    const QString base = m_dir.path();
    const QList<QPair<const char *, QString>> vars = {
        {"HOME", base + QStringLiteral("/home")},
        {"XDG_CONFIG_HOME", base + QStringLiteral("/config")},
        {"XDG_DATA_HOME", base + QStringLiteral("/data")},
        {"XDG_CACHE_HOME", base + QStringLiteral("/cache")},
        {"APPDATA", base + QStringLiteral("/appdata")},
        {"LOCALAPPDATA", base + QStringLiteral("/localappdata")},
    };
    for (const auto &var : vars) {
        m_saved.append({var.first, qgetenv(var.first)});
        QDir().mkpath(var.second);
        qputenv(var.first, var.second.toUtf8());
    }
}

TestEnv::~TestEnv()
{
    for (const auto &saved : m_saved)
        qputenv(saved.first.constData(), saved.second);
}

QString TestEnv::writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray TestEnv::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
