#include "app/Paths.h"
#include "data/CachedJsonClient.h"
#include "services/Updater.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QString errorOf(const std::function<void()> &work)
{
    try {
        work();
    } catch (const ApiError &e) {
        return e.message();
    }
    return {};
}

const char *Unreachable = "Couldn't reach the update server.";

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> server;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        qputenv("TMPDIR", env->root().toUtf8());
        server = std::make_unique<StubServer>();
    }

    void cleanup()
    {
        server.reset();
        env.reset();
    }

    void version_isTrimmedAndAnyTextCounts()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.5.5\r\n", 200));
        QCOMPARE(fetchLatestVersion(server->baseUrl()), QStringLiteral("1.5.5"));
        server->route(QStringLiteral("/version.txt"), StubResponse::json("  1.4.0 ", 200));
        QCOMPARE(fetchLatestVersion(server->baseUrl()), QStringLiteral("1.4.0"));
        QVERIFY(server->requestsTo(QStringLiteral("/version.txt")).first().rawQuery.isEmpty());
    }

    void version_failuresAllReadTheSame()
    {
        const QString base = server->baseUrl();
        server->route(QStringLiteral("/version.txt"), StubResponse::json(" \n", 200));
        QCOMPARE(errorOf([&] { fetchLatestVersion(base); }), QString::fromLatin1(Unreachable));
        server->route(QStringLiteral("/version.txt"), StubResponse::error(404, "1.6.0"));
        QCOMPARE(errorOf([&] { fetchLatestVersion(base); }), QString::fromLatin1(Unreachable));
        QCOMPARE(errorOf([&] { fetchLatestVersion(QString()); }), QString::fromLatin1(Unreachable));
        // Past 64 bytes, and a plain-text address off this machine.
        server->route(QStringLiteral("/version.txt"), StubResponse::json(QByteArray(65, '1'), 200));
        QCOMPARE(errorOf([&] { fetchLatestVersion(base); }), QString::fromLatin1(Unreachable));
        QCOMPARE(errorOf([&] { fetchLatestVersion(QStringLiteral("http://example.org")); }),
                 QString::fromLatin1(Unreachable));

        StubResponse slow = StubResponse::json("1.6.0");
        slow.delayMs = 3000;
        server->route(QStringLiteral("/version.txt"), slow);
        QCOMPARE(errorOf([&] { fetchLatestVersion(base, 200); }), QString::fromLatin1(Unreachable));

        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QString closedBase = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        QCOMPARE(errorOf([&] { fetchLatestVersion(closedBase); }), QString::fromLatin1(Unreachable));
    }

    void version_onlyStrictlyNewerCounts_data()
    {
        QTest::addColumn<QString>("latest");
        QTest::addColumn<bool>("newer");
        QTest::newRow("newer") << "1.10.0" << true;
        QTest::newRow("same") << "1.9.3" << false;
        QTest::newRow("downgrade") << "1.9.2" << false;
        QTest::newRow("garbage") << "<b>2.0.0</b>" << false;
        QTest::newRow("two parts") << "2.0" << false;
    }

    void version_onlyStrictlyNewerCounts()
    {
        QFETCH(QString, latest);
        QFETCH(bool, newer);
        QCOMPARE(isNewerVersion(latest, QStringLiteral("1.9.3")), newer);
    }

    void installer_isCheckedBeforeUse_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<QString>("error");
        const QString rejected =
            QStringLiteral("The downloaded update failed its signature check and was deleted.");
        QTest::newRow("signed") << "minisign.pub" << false << QString();
        QTest::newRow("tampered") << "minisign.pub" << true << rejected;
        QTest::newRow("wrong key") << "other.pub" << false << rejected;
    }

    void installer_isCheckedBeforeUse()
    {
        QFETCH(QString, key);
        QFETCH(bool, tamper);
        QFETCH(QString, error);
        QByteArray installer = updateFile("Tolvo-Setup.exe");
        if (tamper)
            installer[100] = char(installer[100] ^ 1);
        serveRelease(installer);
        QString path;
        QCOMPARE(errorOf([&] { path = downloadInstaller(server->baseUrl(), publicKey(key)); }), error);
        const QStringList left = QDir(env->root()).entryList({QStringLiteral("Tolvo-Setup*")}, QDir::Files);
        QCOMPARE(left.size(), error.isEmpty() ? 1 : 0);
        if (error.isEmpty())
            QCOMPARE(TestEnv::readFile(path), installer);
    }

    void installer_failures()
    {
        const QString failed =
            QString::fromUtf8("Download failed \xE2\x80\x94 the update server may be unreachable.");
        serveRelease(updateFile("Tolvo-Setup.exe"));
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::error(500));
        QCOMPARE(errorOf([&] { downloadInstaller(server->baseUrl(), publicKey()); }), failed);
        QCOMPARE(errorOf([&] { downloadInstaller(QString(), publicKey()); }), failed);
        QVERIFY(QDir(env->root()).entryList({QStringLiteral("Tolvo-Setup*")}, QDir::Files).isEmpty());
    }

    void applyUpdate_logsTheLaunch()
    {
        serveRelease(updateFile("Tolvo-Setup.exe"));
        const QString error = errorOf([&] { applyUpdateAndRestart(server->baseUrl(), publicKey()); });
        QVERIFY(TestEnv::readFile(logFilePath()).contains("[update] launching installer (visible): "));
        if (canRunInstaller(publicKey()))
            QSKIP("this platform really starts the installer");
        QCOMPARE(error, QStringLiteral("Couldn't start the downloaded installer."));
    }

private:
    // Signed once with `minisign -S` by the key in minisign.pub.
    static QByteArray updateFile(const char *name)
    {
        return TestEnv::readFile(QStringLiteral(TOLVO_TEST_DATA_DIR "/update/") + QLatin1String(name));
    }
    static QString publicKey(const QString &file = QStringLiteral("minisign.pub"))
    {
        return QString::fromLatin1(updateFile(file.toLatin1().constData()).split('\n').value(1));
    }
    void serveRelease(const QByteArray &installer)
    {
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json(installer));
        server->route(QStringLiteral("/Tolvo-Setup.exe.minisig"),
                      StubResponse::json(updateFile("Tolvo-Setup.exe.minisig")));
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
