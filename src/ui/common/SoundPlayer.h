#pragma once

#include <QString>
#include <QtPlugin>

#include <memory>

// Plays sound files. Its one implementation lives in a plugin (tolvo_sound),
// so that the audio libraries (Qt Multimedia, and under it PulseAudio and a
// handful of codecs) are loaded at the first sound instead of before the
// window's first frame.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Starts the WAV file at the volume (0 to 1). Each file is read once
    // and kept while the player lives.
    virtual void play(const QString &file, float volume) = 0;
    // Applies to the files already read as well.
    virtual void setVolume(float volume) = 0;
};

// The plugin's root object. It only makes players: the plugin's root object
// lives until the process exits, after the application object, and the
// sounds must go while the application still exists.
class SoundPlayerFactory
{
public:
    virtual ~SoundPlayerFactory() = default;
    virtual std::unique_ptr<SoundPlayer> createPlayer() = 0;
};

#define SoundPlayerFactory_iid "org.tolvo.Tolvo.SoundPlayerFactory/1"
Q_DECLARE_INTERFACE(SoundPlayerFactory, SoundPlayerFactory_iid)
