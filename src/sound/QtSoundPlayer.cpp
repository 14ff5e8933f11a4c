// The sound player plugin: Qt Multimedia's sound effects behind the small
// SoundPlayer interface the program loads at its first sound.

#include "ui/common/SoundPlayer.h"

#include <QObject>
#include <QSoundEffect>
#include <QUrl>

#include <map>

namespace {

class QtSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &file, float volume) override
    {
        auto found = m_effects.find(file);
        if (found == m_effects.end()) {
            auto effect = std::make_unique<QSoundEffect>();
            // Volume first: a sound already in Qt's sample cache gets its
            // audio output inside setSource, with the volume the effect has
            // at that moment.
            effect->setVolume(volume);
            effect->setSource(QUrl::fromLocalFile(file));
            found = m_effects.emplace(file, std::move(effect)).first;
        }
        found->second->play();
    }

    void setVolume(float volume) override
    {
        for (auto &entry : m_effects)
            entry.second->setVolume(volume);
    }

private:
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};

} // namespace

class QtSoundPlayerFactory : public QObject, public SoundPlayerFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID SoundPlayerFactory_iid)
    Q_INTERFACES(SoundPlayerFactory)

public:
    std::unique_ptr<SoundPlayer> createPlayer() override { return std::make_unique<QtSoundPlayer>(); }
};

#include "QtSoundPlayer.moc"
