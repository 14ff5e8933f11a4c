#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QSoundEffect;

// Short interface sounds played by name ("click", "goal"...) from
// assets/sounds/NAME.wav beside the executable. Effects are created on first
// use and kept for the run; a missing file, a missing audio device or a
// disabled manager all mean silence, never an error. GUI thread only.
class SoundManager : public QObject
{
    Q_OBJECT

public:
    SoundManager(bool enabled, double volume, QObject *parent = nullptr);
    ~SoundManager() override;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    double volume() const { return m_volume; }
    // Applies to the effects already loaded as well as to later ones.
    void setVolume(double volume);

    void play(const QString &name);
    QSoundEffect *effectFor(const QString &name);

    // How many effects have been created so far.
    int loadedCount() const { return static_cast<int>(m_effects.size()); }

signals:
    // A sound with a readable file was started.
    void played(const QString &name);

private:
    bool m_enabled;
    double m_volume;
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};
