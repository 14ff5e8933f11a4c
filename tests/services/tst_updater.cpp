#include "app/Paths.h"
#include "data/CachedJsonClient.h"
#include "services/Updater.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

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

    void version_isTrimmed()
    {
        server->route(u"/version.txt"_s, StubResponse::json("  1.5.5\r\n", 200));
        QCOMPARE(fetchLatestVersion(server->baseUrl()), u"1.5.5"_s);
    }

    void version_failuresAllReadTheSame_data()
    {
        QTest::addColumn<QString>("base"); // "stub": the stub's address
        QTest::addColumn<StubResponse>("reply");
        StubResponse silent = StubResponse::json("1.6.0");
        silent.delayMs = 600000;
        QTest::newRow("blank") << "stub" << StubResponse::json(" \n", 200);
        QTest::newRow("not found") << "stub" << StubResponse::error(404, "1.6.0");
        QTest::newRow("silent") << "stub" << silent;
        QTest::newRow("no address") << "" << StubResponse();
        QTest::newRow("nothing listening") << StubServer().baseUrl() << StubResponse();
    }
    void version_failuresAllReadTheSame()
    {
        QFETCH(QString, base);
        QFETCH(StubResponse, reply);
        server->route(u"/version.txt"_s, reply);
        setVersionCheckTimeoutMs(300);
        const QString url = base == u"stub"_s ? server->baseUrl() : base;
        QCOMPARE(errorOf([&] { fetchLatestVersion(url); }), u"Couldn't reach the update server."_s);
    }

    void installer_replacesAnOldDownload_inTheTemporaryFolder()
    {
        QByteArray installer;
        for (int i = 0; i < 300000; ++i)
            installer.append(char(i % 251));
        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::json(installer));
        TestEnv::writeFile(env->root() + u"/Tolvo-Setup.exe"_s, "old partial download");
        const QString path = downloadInstaller(server->baseUrl());
        QCOMPARE(QDir::fromNativeSeparators(path), env->root() + u"/Tolvo-Setup.exe"_s);
        QCOMPARE(TestEnv::readFile(path), installer);
    }

    void installer_failures()
    {
        const QString failed = u"Download failed — the update server may be unreachable."_s;
        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::error(500));
        QCOMPARE(errorOf([&] { downloadInstaller(server->baseUrl()); }), failed);
        QCOMPARE(errorOf([&] { downloadInstaller(QString()); }), failed);

        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::json("MZ"));
        QDir().mkpath(env->root() + u"/Tolvo-Setup.exe/busy"_s);
        QCOMPARE(errorOf([&] { downloadInstaller(server->baseUrl()); }),
                 u"Couldn't save the downloaded installer to disk."_s);
    }

    void applyUpdate_logsTheLaunch()
    {
        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::json("MZ"));
        const QString error = errorOf([&] { applyUpdateAndRestart(server->baseUrl()); });
        QVERIFY(TestEnv::readFile(logFilePath()).contains("[update] launching installer (visible): "));
        if (!canRunInstaller())
            QCOMPARE(error, u"Couldn't start the downloaded installer."_s);
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
