#include "app/Paths.h"
#include "ui/common/SoundManager.h"

#include <QSignalSpy>
#include <QSoundEffect>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestSounds : public QObject
{
    Q_OBJECT

private slots:
    void play_onlyShippedSounds_onlyWhenEnabled()
    {
        SoundManager sound(false, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.play(u"click"_s);
        // Disabled, nothing is even loaded.
        QCOMPARE(sound.loadedCount(), 0);
        sound.setEnabled(true);
        sound.play(u"click"_s);
        sound.play(u"click"_s);
        // A sound without a file is silent, and looked for once.
        sound.play(u"no_such_sound"_s);
        sound.play(u"no_such_sound"_s);
        QCOMPARE(played.count(), 2);
        QCOMPARE(played.first().first().toString(), u"click"_s);
        QCOMPARE(sound.loadedCount(), 2);
        QCOMPARE(sound.effectFor(u"click"_s)->source(),
                 QUrl::fromLocalFile(assetPath({u"sounds"_s, u"click.wav"_s})));
        sound.setEnabled(false);
        sound.play(u"goal"_s);
        QCOMPARE(played.count(), 2);
    }

    void setVolume_reachesLoadedAndLaterEffects_withinRange()
    {
        // Effects without a file: with one, the volume read back is the audio
        // output's, and test machines have no audio output.
        SoundManager sound(true, 0.6);
        QSoundEffect *first = sound.effectFor(u"missing_one"_s);
        QCOMPARE(first->volume(), 0.6f);
        sound.setVolume(0.25);
        QCOMPARE(first->volume(), 0.25f);
        QCOMPARE(sound.effectFor(u"missing_two"_s)->volume(), 0.25f);
        sound.setVolume(7.0);
        QCOMPARE(first->volume(), 1.0f);
    }
};

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
