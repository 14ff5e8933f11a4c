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
        setVersionCheckTimeoutMs(8000);
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

        StubResponse slow = StubResponse::json("1.6.0");
        slow.delayMs = 3000;
        server->route(QStringLiteral("/version.txt"), slow);
        setVersionCheckTimeoutMs(200);
        QCOMPARE(errorOf([&] { fetchLatestVersion(base); }), QString::fromLatin1(Unreachable));

        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const QString closedBase = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        QCOMPARE(errorOf([&] { fetchLatestVersion(closedBase); }), QString::fromLatin1(Unreachable));
    }

    void installer_isWrittenToTheTemporaryFolder()
    {
        QByteArray installer;
        for (int i = 0; i < 300000; ++i)
            installer.append(char(i % 251));
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json(installer));
        TestEnv::writeFile(env->root() + QStringLiteral("/Tolvo-Setup.exe"), "old partial download");
        const QString path = downloadInstaller(server->baseUrl());
        QCOMPARE(QDir::fromNativeSeparators(path), env->root() + QStringLiteral("/Tolvo-Setup.exe"));
        QCOMPARE(TestEnv::readFile(path), installer);
    }

    void installer_failures()
    {
        const QString failed =
            QString::fromUtf8("Download failed \xE2\x80\x94 the update server may be unreachable.");
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::error(500));
        QCOMPARE(errorOf([&] { downloadInstaller(server->baseUrl()); }), failed);
        QCOMPARE(errorOf([&] { downloadInstaller(QString()); }), failed);

        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json("MZ"));
        QDir().mkpath(env->root() + QStringLiteral("/Tolvo-Setup.exe/busy"));
        QCOMPARE(errorOf([&] { downloadInstaller(server->baseUrl()); }),
                 QStringLiteral("Couldn't save the downloaded installer to disk."));
    }

    void applyUpdate_logsTheLaunch()
    {
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json("MZ"));
        const QString error = errorOf([&] { applyUpdateAndRestart(server->baseUrl()); });
        QVERIFY(TestEnv::readFile(logFilePath()).contains("[update] launching installer (visible): "));
        if (canRunInstaller())
            QSKIP("this platform really starts the installer");
        QCOMPARE(error, QStringLiteral("Couldn't start the downloaded installer."));
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
