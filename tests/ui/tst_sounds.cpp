#include "app/Paths.h"
#include "ui/common/SoundManager.h"

#include <QFile>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QtEndian>
#include <QtTest>

namespace {

const QStringList &soundNames()
{
    static const QStringList names = {
        QStringLiteral("click"),    QStringLiteral("toggle"),   QStringLiteral("navigate"),
        QStringLiteral("refresh"),  QStringLiteral("favorite"), QStringLiteral("unfavorite"),
        QStringLiteral("thinking"), QStringLiteral("notify"),   QStringLiteral("success"),
        QStringLiteral("error"),    QStringLiteral("goal"),     QStringLiteral("send"),
        QStringLiteral("receive"),  QStringLiteral("delete"),   QStringLiteral("win_home"),
        QStringLiteral("win_draw"), QStringLiteral("win_away")};
    return names;
}

struct Wav
{
    quint16 format = 0;
    quint16 channels = 0;
    quint32 rate = 0;
    quint16 bits = 0;
    QByteArray data;

    double seconds() const { return rate && channels ? data.size() / 2.0 / channels / rate : 0; }
    double peak() const
    {
        int top = 0;
        for (int i = 0; i + 1 < data.size(); i += 2)
            top = qMax(top, qAbs(int(qFromLittleEndian<qint16>(data.constData() + i))));
        return top / 32768.0;
    }
};

// Reads the chunks of a RIFF/WAVE file; an empty result when it is not one.
Wav readWav(const QString &path)
{
    QFile file(path);
    Wav wav;
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return wav;
    int pos = 12;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + pos + 4);
        const char *body = bytes.constData() + pos + 8;
        if (id == "fmt ") {
            wav.format = qFromLittleEndian<quint16>(body);
            wav.channels = qFromLittleEndian<quint16>(body + 2);
            wav.rate = qFromLittleEndian<quint32>(body + 4);
            wav.bits = qFromLittleEndian<quint16>(body + 14);
        } else if (id == "data") {
            wav.data = bytes.mid(pos + 8, int(size));
        }
        pos += 8 + int(size) + int(size % 2);
    }
    return wav;
}

} // namespace

class TestSounds : public QObject
{
    Q_OBJECT

private slots:
    void disabled_loadsAndPlaysNothing()
    {
        SoundManager sound(false, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.play(QStringLiteral("click"));
        QCOMPARE(sound.loadedCount(), 0);
        QCOMPARE(played.count(), 0);
    }

    void enabled_playsShippedSoundsAndKeepsEachEffect()
    {
        SoundManager sound(true, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.play(QStringLiteral("click"));
        sound.play(QStringLiteral("click"));
        QCOMPARE(sound.loadedCount(), 1);
        QCOMPARE(played.count(), 2);
        QCOMPARE(played.first().first().toString(), QStringLiteral("click"));
        QCOMPARE(sound.effectFor(QStringLiteral("click"))->source(),
                 QUrl::fromLocalFile(assetPath({QStringLiteral("sounds"), QStringLiteral("click.wav")})));
    }

    void missingFile_isSilentAndLookedForOnce()
    {
        SoundManager sound(true, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.play(QStringLiteral("no_such_sound"));
        sound.play(QStringLiteral("no_such_sound"));
        QCOMPARE(played.count(), 0);
        QCOMPARE(sound.loadedCount(), 1);
        QVERIFY(!sound.effectFor(QStringLiteral("no_such_sound"))->source().isValid());
    }

    void muteAndUnmute_takeEffectAtOnce()
    {
        SoundManager sound(true, 0.6);
        QSignalSpy played(&sound, &SoundManager::played);
        sound.setEnabled(false);
        sound.play(QStringLiteral("goal"));
        sound.setEnabled(true);
        sound.play(QStringLiteral("goal"));
        QCOMPARE(played.count(), 1);
    }

    void setVolume_reachesLoadedAndLaterEffects()
    {
        // Effects without a file: with one, the volume read back is the audio
        // output's, and test machines have no audio output.
        SoundManager sound(true, 0.6);
        QSoundEffect *first = sound.effectFor(QStringLiteral("missing_one"));
        QCOMPARE(first->volume(), 0.6f);
        sound.setVolume(0.25);
        QCOMPARE(sound.volume(), 0.25);
        QCOMPARE(first->volume(), 0.25f);
        QCOMPARE(sound.effectFor(QStringLiteral("missing_two"))->volume(), 0.25f);
        sound.setVolume(7.0);
        QCOMPARE(first->volume(), 1.0f);
    }

    void shippedSounds_areShortSoftAndDistinct()
    {
        QHash<QByteArray, QString> seen;
        QHash<QString, double> lengths;
        for (const QString &name : soundNames()) {
            const Wav wav = readWav(assetPath({QStringLiteral("sounds"), name + QStringLiteral(".wav")}));
            // 16-bit PCM is what every sound-effect backend plays.
            QVERIFY2(wav.format == 1 && wav.bits == 16 && wav.channels == 1 && wav.rate == 44100,
                     qPrintable(name));
            QVERIFY2(wav.seconds() > 0.02 && wav.seconds() < 1.5, qPrintable(name));
            QVERIFY2(wav.peak() > 0.1 && wav.peak() < 0.5, qPrintable(name));
            QVERIFY2(!seen.contains(wav.data),
                     qPrintable(name + QStringLiteral(" sounds like ") + seen.value(wav.data)));
            seen.insert(wav.data, name);
            lengths.insert(name, wav.seconds());
        }
        // The events worth celebrating (or regretting) are no mere clicks.
        for (const char *big : {"goal", "win_home", "win_draw", "win_away", "error", "success"}) {
            QVERIFY2(lengths.value(QLatin1String(big)) > 3 * lengths.value(QStringLiteral("click")), big);
            QVERIFY2(lengths.value(QLatin1String(big)) > lengths.value(QStringLiteral("navigate")), big);
        }
    }
};

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
