// `cmake --install` into a temporary prefix and `cpack -G DEB` from the
// build folder: every file a desktop needs is there, the validators have
// nothing to say, and the installed program finds its sounds.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

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
        prefix = work.filePath(QStringLiteral("prefix"));
        const Output installed =
            run(QStringLiteral(TOLVO_CMAKE), {QStringLiteral("--install"), QStringLiteral(TOLVO_BUILD_DIR),
                                              QStringLiteral("--prefix"), prefix});
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.text));

        const QString packages = work.filePath(QStringLiteral("packages"));
        const Output packed =
            run(QStringLiteral(TOLVO_CPACK),
                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                 QStringLiteral(TOLVO_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), packages});
        QVERIFY2(packed.exitCode == 0, qPrintable(packed.text));
        const QString deb = packages + QStringLiteral("/tolvo_" TOLVO_VERSION "_amd64.deb");
        QVERIFY2(QFileInfo::exists(deb), qPrintable(packed.text));
        packageList = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb}).text;
        const QString depends =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb, QStringLiteral("Depends")}).text;
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
            QStringLiteral("bin/tolvo"),
            QStringLiteral("bin/tolvo-cli"),
            QStringLiteral("share/tolvo/assets/sounds/goal.wav"),
            QStringLiteral("share/tolvo/assets/sounds/win_home.wav"),
            QStringLiteral("share/tolvo/assets/icons/tolvo_256.png"),
            QStringLiteral("share/applications/org.tolvo.Tolvo.desktop"),
            QStringLiteral("share/metainfo/org.tolvo.Tolvo.metainfo.xml"),
            QStringLiteral("share/icons/hicolor/48x48/apps/org.tolvo.Tolvo.png"),
            QStringLiteral("share/icons/hicolor/64x64/apps/org.tolvo.Tolvo.png"),
            QStringLiteral("share/icons/hicolor/128x128/apps/org.tolvo.Tolvo.png"),
            QStringLiteral("share/icons/hicolor/256x256/apps/org.tolvo.Tolvo.png"),
            QStringLiteral("share/man/man1/tolvo-cli.1"),
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
        QCOMPARE(packageList.contains(QStringLiteral(" ./usr/") + path + QLatin1Char('\n')), present);
    }

    void validators_haveNothingToSay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::newRow("launcher") << QStringLiteral("desktop-file-validate") << QStringList()
                                  << QStringLiteral("share/applications/org.tolvo.Tolvo.desktop");
        QTest::newRow("metainfo") << QStringLiteral("appstreamcli")
                                  << QStringList{QStringLiteral("validate"), QStringLiteral("--pedantic"),
                                                 QStringLiteral("--no-net"), QStringLiteral("--no-color")}
                                  << QStringLiteral("share/metainfo/org.tolvo.Tolvo.metainfo.xml");
    }

    void validators_haveNothingToSay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        const Output result = run(program, args << prefix + QLatin1Char('/') + file);
        QVERIFY2(result.exitCode == 0, qPrintable(result.text));
        // Hints, infos and pedantic notes count too.
        const QRegularExpression issue(QStringLiteral("(^[EWIP]: |: (hint|warning|error): )"),
                                       QRegularExpression::MultilineOption);
        QVERIFY2(!issue.match(result.text).hasMatch(), qPrintable(result.text));
    }

    void installedProgram_startsAndFindsItsSounds()
    {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Says when the window has painted.
        env.insert(QStringLiteral("TOLVO_STARTUP_PROBE"), QStringLiteral("1"));
        QProcess tolvo;
        tolvo.setProcessEnvironment(env);
        tolvo.setProcessChannelMode(QProcess::MergedChannels);
        tolvo.start(prefix + QStringLiteral("/bin/tolvo"), {});
        QByteArray output;
        while (!output.contains("first-paint-ms") && tolvo.waitForReadyRead(-1))
            output += tolvo.readAll();
        // Once it has painted it has started; the fetches it began at start
        // (against a closed port) need not be waited for.
        tolvo.kill();
        tolvo.waitForFinished(-1);
        QVERIFY2(output.contains("first-paint-ms"), output.constData());

        QFile log(home.filePath(QStringLiteral("data/Tolvo/Tolvo/tolvo.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString sounds = QDir(prefix).filePath(QStringLiteral("share/tolvo/assets/sounds"));
        QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("Sounds from ") + sounds));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
