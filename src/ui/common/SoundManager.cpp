#include "SoundManager.h"

#include "app/Paths.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

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
    for (auto &entry : m_effects)
        entry.second->setVolume(static_cast<float>(m_volume));
}

QSoundEffect *SoundManager::effectFor(const QString &name)
{
    const auto found = m_effects.find(name);
    if (found != m_effects.end())
        return found->second.get();

    auto effect = std::make_unique<QSoundEffect>();
    // Volume first: a sound already in Qt's sample cache gets its audio
    // output inside setSource, with the volume the effect has at that moment.
    effect->setVolume(static_cast<float>(m_volume));
    const QString file = assetPath({QStringLiteral("sounds"), name + QStringLiteral(".wav")});
    if (QFileInfo(file).isFile())
        effect->setSource(QUrl::fromLocalFile(file));
    // Kept even without a file, so a missing sound is looked for only once.
    QSoundEffect *raw = effect.get();
    m_effects.emplace(name, std::move(effect));
    return raw;
}

void SoundManager::play(const QString &name)
{
    if (!m_enabled)
        return;
    QSoundEffect *effect = effectFor(name);
    if (!effect->source().isValid())
        return;
    effect->play();
    emit played(name);
}
