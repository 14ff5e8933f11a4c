#include "SoundManager.h"

#include "SoundPlayer.h"
#include "app/Log.h"
#include "app/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPluginLoader>
#include <QThreadPool>

#include <algorithm>

SoundManager::SoundManager(bool enabled, double volume, QObject *parent)
    : QObject(parent)
    , m_enabled(enabled)
    , m_volume(std::clamp(volume, 0.0, 1.0))
{}

SoundManager::~SoundManager() = default;

void SoundManager::setVolume(double volume)
{
    m_volume = std::clamp(volume, 0.0, 1.0);
    if (m_player)
        m_player->setVolume(static_cast<float>(m_volume));
}

QString SoundManager::fileFor(const QString &name)
{
    const auto found = m_files.find(name);
    if (found != m_files.end())
        return found->second;
    const QString file = assetPath({QStringLiteral("sounds"), name + QStringLiteral(".wav")});
    return m_files.emplace(name, QFileInfo(file).isFile() ? file : QString()).first->second;
}

SoundPlayer *SoundManager::player()
{
    if (m_playerLookedFor)
        return m_player.get();
    m_playerLookedFor = true;
    const QString path = soundPlayerPath(QCoreApplication::applicationDirPath());
    if (path.isEmpty()) {
        appLog(QStringLiteral("No sound player beside the program: sounds are off"));
        return nullptr;
    }
    // The loader is not kept: the plugin stays loaded for the run.
    QPluginLoader loader(path);
    if (auto *factory = qobject_cast<SoundPlayerFactory *>(loader.instance()))
        m_player = factory->createPlayer();
    else
        appLog(QStringLiteral("The sound player %1 did not load: %2").arg(path, loader.errorString()));
    return m_player.get();
}

void SoundManager::play(const QString &name)
{
    if (!m_enabled)
        return;
    const QString file = fileFor(name);
    if (file.isEmpty())
        return;
    SoundPlayer *sounds = player();
    if (!sounds)
        return;
    sounds->play(file, static_cast<float>(m_volume));
    emit played(name);
}

void SoundManager::preload() const
{
    if (!m_enabled || m_playerLookedFor)
        return;
    const QString path = soundPlayerPath(QCoreApplication::applicationDirPath());
    if (path.isEmpty())
        return;
    // Loading a library once more only counts it, so the player's own load
    // at the first sound is then immediate.
    QThreadPool::globalInstance()->start([path]() { QLibrary(path).load(); });
}

QString soundPlayerPath(const QString &programDir)
{
#if defined(Q_OS_WIN)
    const QString file = QStringLiteral("tolvo_sound.dll");
#else
    const QString file = QStringLiteral("tolvo_sound.so");
#endif
    const QDir dir(programDir);
    for (const QString &folder : {QStringLiteral("."), QStringLiteral("../lib/tolvo")}) {
        const QString path = QDir::cleanPath(dir.absoluteFilePath(folder + QLatin1Char('/') + file));
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}
