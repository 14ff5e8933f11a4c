#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class SoundPlayer;

// Short interface sounds played by name ("click", "goal"...) from
// assets/sounds/NAME.wav beside the executable, through the sound player
// plugin, which is loaded at the first sound. A missing file, a missing
// plugin, a missing audio device or a disabled manager all mean silence,
// never an error. GUI thread only.
class SoundManager : public QObject
{
    Q_OBJECT

public:
    SoundManager(bool enabled, double volume, QObject *parent = nullptr);
    ~SoundManager() override;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    double volume() const { return m_volume; }
    // Applies to the sounds already played as well as to later ones.
    void setVolume(double volume);

    void play(const QString &name);

    // Maps the player's libraries on a worker thread, so that the first sound
    // does not wait for them. Does nothing when sounds are off.
    void preload() const;
    // Whether the player has been loaded, which the first sound does.
    bool hasPlayer() const { return m_player != nullptr; }
    // How many sound names have been looked for so far.
    int lookedUpCount() const { return static_cast<int>(m_files.size()); }

signals:
    // A sound with a readable file was started.
    void played(const QString &name);

private:
    QString fileFor(const QString &name);
    SoundPlayer *player();

    bool m_enabled;
    double m_volume;
    // Name to file; empty for a sound without a file, looked for only once.
    std::map<QString, QString> m_files;
    bool m_playerLookedFor = false;
    std::unique_ptr<SoundPlayer> m_player;
};

// The sound player plugin for a program in programDir: beside it (a build
// folder, Windows) or in ../lib/tolvo (an installed tree). Empty when there
// is none.
QString soundPlayerPath(const QString &programDir);
