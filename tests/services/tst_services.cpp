// Updates (the version, the signed installer) and problem reports.
#include "app/Paths.h"
#include "data/BlockingRequest.h"
#include "data/CachedJsonClient.h"
#include "services/FeedbackReport.h"
#include "services/Updater.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/Thrown.h"

#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {} // namespace

class TestServices : public QObject
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
        const QString url = base == u"stub"_s ? server->baseUrl() : base;
        QCOMPARE(thrownMessage([&] { fetchLatestVersion(url, 300); }),
                 u"Couldn't reach the update server."_s);
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
        QCOMPARE(isNewerVersion(latest, u"1.9.3"_s), newer);
    }

    void installer_isCheckedBeforeUse_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<QString>("error");
        const QString rejected = u"The downloaded update failed its signature check and was deleted."_s;
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
        TestEnv::writeFile(env->root() + u"/Tolvo-Setup.exe"_s, "someone else's file");
        QString path;
        QCOMPARE(thrownMessage([&] { path = downloadInstaller(server->baseUrl(), publicKey(key)); }), error);
        // A fresh file each time: a file already in the temporary folder is never reused.
        QCOMPARE(TestEnv::readFile(env->root() + u"/Tolvo-Setup.exe"_s), "someone else's file");
        const QStringList left = QDir(env->root()).entryList({u"Tolvo-Setup*"_s}, QDir::Files);
        QCOMPARE(left.size(), error.isEmpty() ? 2 : 1);
        if (error.isEmpty())
            QCOMPARE(TestEnv::readFile(path), installer);
    }

    void installer_failures()
    {
        const QString failed = u"Download failed — the update server may be unreachable."_s;
        serveRelease(updateFile("Tolvo-Setup.exe"));
        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::error(500));
        QCOMPARE(thrownMessage([&] { downloadInstaller(server->baseUrl(), publicKey()); }), failed);
        QCOMPARE(thrownMessage([&] { downloadInstaller(QString(), publicKey()); }), failed);
        QVERIFY(QDir(env->root()).entryList({u"Tolvo-Setup*"_s}, QDir::Files).isEmpty());
    }

    void applyUpdate_logsTheLaunch()
    {
        serveRelease(updateFile("Tolvo-Setup.exe"));
        const QString error = thrownMessage([&] { applyUpdateAndRestart(server->baseUrl(), publicKey()); });
        QVERIFY(TestEnv::readFile(logFilePath()).contains("[update] launching installer (visible): "));
        if (!canRunInstaller(publicKey()))
            QCOMPARE(error, u"Couldn't start the downloaded installer."_s);
    }

    void report_failuresSayWhyWithoutAChannel_andTimeOutAtTheCallsLimit()
    {
        auto failureOf = [&](const RelayConfig &config, int timeoutMs) {
            try {
                sendReport(u"x"_s, u"bug"_s, u"major"_s, QString(), {}, QString(), config, timeoutMs);
            } catch (const ReportError &e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        const QString unconfigured = u"No report channel configured for this build."_s;
        QCOMPARE(failureOf(RelayConfig{server->baseUrl(), QString()}, 15000), unconfigured);
        QCOMPARE(failureOf(RelayConfig{QString(), u"t"_s}, 15000), unconfigured);
        const QString refused = failureOf(RelayConfig{StubServer().baseUrl(), u"t"_s}, 15000);
        QVERIFY2(refused.startsWith(u"Couldn't reach the report channel: "_s), qPrintable(refused));
        StubResponse silent = StubResponse::json({}, 204);
        silent.delayMs = 600000;
        server->route(u"/report"_s, silent);
        QCOMPARE(failureOf(RelayConfig{server->baseUrl(), u"T0ken_abc"_s}, 300),
                 u"Couldn't reach the report channel: timed out."_s);
        const QString preview =
            reportPreview(u"It froze"_s, u"bug"_s, u"major"_s, u"Sam"_s, true, u"a log line"_s);
        QVERIFY(preview.contains(u"It froze"_s) && preview.contains(u"screenshot.png"_s));
        QVERIFY(preview.endsWith(u"log.txt:\na log line"_s));
    }

    // Last: once the program quits, no request starts any more.
    void afterQuit_nothingIsSent()
    {
        server->route(u"/report"_s, StubResponse::json({}, 204));
        cancelBlockingRequests();
        QVERIFY(blockingRequestsCancelled());
        QVERIFY_THROWS_EXCEPTION(ReportError,
                                 sendReport(u"x"_s, u"bug"_s, u"major"_s, QString(), {}, QString(),
                                            RelayConfig{server->baseUrl(), u"t"_s}, 15000));
        QCOMPARE(server->count(u"/report"_s), 0);
    }

private:
    // Signed once with `minisign -S` by the key in minisign.pub.
    static QByteArray updateFile(const char *name)
    {
        return TestEnv::readFile(QStringLiteral(TOLVO_TEST_DATA_DIR "/update/") + QLatin1String(name));
    }
    static QString publicKey(const QString &file = u"minisign.pub"_s)
    {
        return QString::fromLatin1(updateFile(file.toLatin1().constData()).split('\n').value(1));
    }
    void serveRelease(const QByteArray &installer)
    {
        server->route(u"/Tolvo-Setup.exe"_s, StubResponse::json(installer));
        server->route(u"/Tolvo-Setup.exe.minisig"_s,
                      StubResponse::json(updateFile("Tolvo-Setup.exe.minisig")));
    }
};

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
