// `cmake --install` into a temporary prefix and `cpack -G DEB` from the
// build folder: every file a desktop needs is there, the validators have
// nothing to say, and the installed program finds its sounds.

#include "ui/common/SoundManager.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Output
{
    int exitCode = -1;
    QString text; // stdout and stderr together
};

Output run(const QString &program, const QStringList &args,
           const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    // Packaging compresses the binaries; the suite's own time-out is the bound.
    process.waitForFinished(-1);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir work;
    QString prefix;
    QString packageList;

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        prefix = work.filePath(u"prefix"_s);
        const Output installed =
            run(QStringLiteral(TOLVO_CMAKE),
                {u"--install"_s, QStringLiteral(TOLVO_BUILD_DIR), u"--prefix"_s, prefix});
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.text));

        const QString packages = work.filePath(u"packages"_s);
        const Output packed = run(QStringLiteral(TOLVO_CPACK),
                                  {u"-G"_s, u"DEB"_s, u"--config"_s,
                                   QStringLiteral(TOLVO_BUILD_DIR "/CPackConfig.cmake"), u"-B"_s, packages});
        QVERIFY2(packed.exitCode == 0, qPrintable(packed.text));
        const QString deb = packages + QStringLiteral("/tolvo_" TOLVO_VERSION "_amd64.deb");
        QVERIFY2(QFileInfo::exists(deb), qPrintable(packed.text));
        packageList = run(u"dpkg-deb"_s, {u"--contents"_s, deb}).text;
        const QString depends = run(u"dpkg-deb"_s, {u"--field"_s, deb, u"Depends"_s}).text;
        // The Qt libraries the binaries link, found by dpkg-shlibdeps.
        for (const char *library : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6",
                                    "libqt6multimedia6", "libqt6dbus6"})
            QVERIFY2(depends.contains(QLatin1String(library)), qPrintable(depends));
    }

    void everyFile_isInstalledAndPackaged_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("present");
        const QStringList always = {
            u"bin/tolvo"_s,
            u"bin/tolvo-cli"_s,
            u"lib/tolvo/tolvo_sound.so"_s,
            u"share/tolvo/assets/sounds/goal.wav"_s,
            u"share/tolvo/assets/icons/tolvo_256.png"_s,
            u"share/applications/org.tolvo.Tolvo.desktop"_s,
            u"share/metainfo/org.tolvo.Tolvo.metainfo.xml"_s,
            u"share/icons/hicolor/256x256/apps/org.tolvo.Tolvo.png"_s,
            u"share/man/man1/tolvo-cli.1"_s,
        };
        for (const QString &path : always)
            QTest::newRow(qPrintable(path)) << path << true;
        // The relay is for servers: only on request (-DTOLVO_INSTALL_RELAY=ON).
        for (const char *path :
             {"bin/tolvo-relay", "lib/systemd/system/tolvo-relay.service", "share/tolvo/relay/nginx.conf"})
            QTest::newRow(path) << QString::fromLatin1(path) << bool(TOLVO_RELAY_INSTALLED);
    }

    void everyFile_isInstalledAndPackaged()
    {
        QFETCH(QString, path);
        QFETCH(bool, present);
        QCOMPARE(QFileInfo::exists(prefix + QLatin1Char('/') + path), present);
        QCOMPARE(packageList.contains(u" ./usr/"_s + path + QLatin1Char('\n')), present);
    }

    void validators_haveNothingToSay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::newRow("launcher") << u"desktop-file-validate"_s << QStringList()
                                  << u"share/applications/org.tolvo.Tolvo.desktop"_s;
        QTest::newRow("metainfo") << u"appstreamcli"_s
                                  << QStringList{u"validate"_s, u"--pedantic"_s, u"--no-net"_s,
                                                 u"--no-color"_s}
                                  << u"share/metainfo/org.tolvo.Tolvo.metainfo.xml"_s;
    }

    void validators_haveNothingToSay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        const Output result = run(program, args << prefix + QLatin1Char('/') + file);
        QVERIFY2(result.exitCode == 0, qPrintable(result.text));
        // Hints, infos and pedantic notes count too.
        const QRegularExpression issue(u"(^[EWIP]: |: (hint|warning|error): )"_s,
                                       QRegularExpression::MultilineOption);
        QVERIFY2(!issue.match(result.text).hasMatch(), qPrintable(result.text));
    }

    void installedProgram_startsAndFindsItsSounds()
    {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
        env.insert(u"XDG_CACHE_HOME"_s, home.filePath(u"cache"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        // Says when the window has painted.
        env.insert(u"TOLVO_STARTUP_PROBE"_s, u"1"_s);
        QProcess tolvo;
        tolvo.setProcessEnvironment(env);
        tolvo.setProcessChannelMode(QProcess::MergedChannels);
        tolvo.start(prefix + u"/bin/tolvo"_s, {});
        QByteArray output;
        while (!output.contains("first-paint-ms") && tolvo.waitForReadyRead(-1))
            output += tolvo.readAll();
        // Once it has painted it has started; the fetches it began at start
        // (against a closed port) need not be waited for.
        tolvo.kill();
        tolvo.waitForFinished(-1);
        QVERIFY2(output.contains("first-paint-ms"), output.constData());

        QFile log(home.filePath(u"data/Tolvo/Tolvo/tolvo.log"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString sounds = QDir(prefix).filePath(u"share/tolvo/assets/sounds"_s);
        QVERIFY(QString::fromUtf8(log.readAll()).contains(u"Sounds from "_s + sounds));
        // And the player it loads at the first sound.
        QCOMPARE(soundPlayerPath(prefix + u"/bin"_s), QDir(prefix).filePath(u"lib/tolvo/tolvo_sound.so"_s));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
