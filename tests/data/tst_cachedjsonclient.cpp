#include "Worker.h"

#include "app/Paths.h"
#include "data/CachedJsonClient.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFutureInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// A client on the stub with short pauses so that the failure paths stay quick;
// the one test of the real pauses restores them.
class TestClient : public CachedJsonClient
{
public:
    explicit TestClient(const QString &base)
        : CachedJsonClient(QStringLiteral("test"), QStringLiteral("TolvoTest/1.0"), 5.0)
        , m_base(base)
    {
        minInterval = 0;
        retryPauseMs = 10;
    }

    QString urlFor(const QString &path) const override { return m_base + QLatin1Char('/') + path; }
    int ttlFor(const QString &path) const override
    {
        return path.startsWith(QLatin1String("short")) ? 60 : 300;
    }

    void pinClock(qint64 seconds)
    {
        m_pinned = seconds;
        clockSeconds = [this] { return m_pinned.load(); };
    }
    void setMinInterval(double seconds) { minInterval = seconds; }
    void setRetryPause(int ms) { retryPauseMs = ms; }
    void setTimeout(double seconds) { timeoutSeconds = seconds; }

private:
    QString m_base;
    std::atomic<qint64> m_pinned{0};
};

QJsonObject obj(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray storedFile(qint64 ts, const QByteArray &data)
{
    return "{\"ts\":" + QByteArray::number(ts) + ",\"data\":" + data + "}";
}

// A port nothing listens on: a stub that has been shut down.
QString deadBase()
{
    auto stub = std::make_unique<StubServer>();
    const QString base = stub->baseUrl();
    stub.reset();
    return base;
}

} // namespace

class TestCachedJsonClient : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> stub;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        stub = std::make_unique<StubServer>();
    }
    void cleanup()
    {
        stub.reset();
        env.reset();
    }

    void cacheKey_isSha1OfPathAndSortedParams_andIgnoresHost()
    {
        QueryParams forward;
        forward.insert(QStringLiteral("limit"), QStringLiteral("300"));
        forward.insert(QStringLiteral("dates"), QStringLiteral("202508"));
        QueryParams backward;
        backward.insert(QStringLiteral("dates"), QStringLiteral("202508"));
        backward.insert(QStringLiteral("limit"), QStringLiteral("300"));
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash("eng.1/scoreboard|dates=202508|limit=300", QCryptographicHash::Sha1)
                .toHex());
        QCOMPARE(CachedJsonClient::cacheKey(QStringLiteral("eng.1/scoreboard"), forward), expected);
        QCOMPARE(CachedJsonClient::cacheKey(QStringLiteral("eng.1/scoreboard"), backward), expected);
        QVERIFY(CachedJsonClient::cacheKey(QStringLiteral("eng.1/scoreboard"), {}) != expected);

        // The reply stored through one host is found through another.
        stub->route(QStringLiteral("/eng.1/scoreboard"), StubResponse::json(R"({"n":1})"));
        TestClient first(stub->baseUrl());
        QCOMPARE(onWorker([&] { return first.get(QStringLiteral("eng.1/scoreboard"), forward); }),
                 obj(R"({"n":1})"));
        const QString file =
            cacheDir().filePath(QStringLiteral("test/") + expected + QStringLiteral(".json"));
        QCOMPARE(first.cachePath(expected), file);
        const QJsonObject stored = obj(TestEnv::readFile(file));
        QCOMPARE(stored.value("data").toObject(), obj(R"({"n":1})"));
        QVERIFY(qAbs(stored.value("ts").toInteger() - QDateTime::currentSecsSinceEpoch()) <= 2);

        TestClient elsewhere(deadBase());
        QCOMPARE(onWorker([&] { return elsewhere.get(QStringLiteral("eng.1/scoreboard"), backward); }),
                 obj(R"({"n":1})"));
    }

    void diskCopy_exactlyTtlOldIsFresh_oneSecondOlderIsRefetched()
    {
        stub->route(QStringLiteral("/standings"), StubResponse::json(R"({"from":"network"})"));
        TestClient client(stub->baseUrl());
        const qint64 now = 1'750'000'000;
        client.pinClock(now);
        const QString key = CachedJsonClient::cacheKey(QStringLiteral("standings"), {});
        TestEnv::writeFile(client.cachePath(key), storedFile(now - 300, R"({"from":"disk"})"));

        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("standings")); }),
                 obj(R"({"from":"disk"})"));
        QCOMPARE(stub->count(QStringLiteral("/standings")), 0);

        client.pinClock(now + 1);
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("standings")); }),
                 obj(R"({"from":"network"})"));
        QCOMPARE(stub->count(QStringLiteral("/standings")), 1);
    }

    void memoryCopy_followsTheSameAgeLimit_andPathTtl()
    {
        stub->route(QStringLiteral("/short/live"), StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        const qint64 now = 1'750'000'000;
        client.pinClock(now);
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("short/live")); }), obj(R"({"v":1})"));
        // Without the disk copy only the memory can answer.
        QVERIFY(
            QFile::remove(client.cachePath(CachedJsonClient::cacheKey(QStringLiteral("short/live"), {}))));

        client.pinClock(now + 60);
        onWorker([&] { return client.get(QStringLiteral("short/live")); });
        QCOMPARE(stub->count(QStringLiteral("/short/live")), 1);

        client.pinClock(now + 61);
        onWorker([&] { return client.get(QStringLiteral("short/live")); });
        QCOMPARE(stub->count(QStringLiteral("/short/live")), 2);
    }

    void bypassCache_refreshesMemoryAndDisk()
    {
        stub->routeSequence(QStringLiteral("/summary"),
                            {StubResponse::json(R"({"v":1})"), StubResponse::json(R"({"v":2})")});
        TestClient client(stub->baseUrl());
        const QueryParams params{{QStringLiteral("event"), QStringLiteral("7")}};
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("summary"), params); }), obj(R"({"v":1})"));
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("summary"), params); }), obj(R"({"v":1})"));
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("summary"), params, true); }),
                 obj(R"({"v":2})"));
        QCOMPARE(stub->count(QStringLiteral("/summary")), 2);

        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("summary"), params); }), obj(R"({"v":2})"));
        QCOMPARE(stub->count(QStringLiteral("/summary")), 2);
        TestClient fresh(stub->baseUrl()); // empty memory: reads the disk
        QCOMPARE(onWorker([&] { return fresh.get(QStringLiteral("summary"), params); }), obj(R"({"v":2})"));
        QCOMPARE(stub->count(QStringLiteral("/summary")), 2);
    }

    void threeFailures_returnStaleCopy_evenWhenBypassing()
    {
        stub->route(QStringLiteral("/table"), StubResponse::error(500));
        TestClient client(stub->baseUrl());
        const QString key = CachedJsonClient::cacheKey(QStringLiteral("table"), {});
        TestEnv::writeFile(client.cachePath(key), storedFile(1000, R"({"old":true})"));

        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("table"), {}, true); }),
                 obj(R"({"old":true})"));
        QCOMPARE(stub->count(QStringLiteral("/table")), 3);
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("table")); }), obj(R"({"old":true})"));
        QCOMPARE(stub->count(QStringLiteral("/table")), 6);
        // The stale copy is not refreshed by a failure.
        QCOMPARE(obj(TestEnv::readFile(client.cachePath(key))).value("ts").toInteger(), 1000);
    }

    void rateLimited_threeTimes_throwsWithRealPauses()
    {
        stub->route(QStringLiteral("/busy"), StubResponse::error(429));
        TestClient client(stub->baseUrl());
        client.setRetryPause(500);
        try {
            onWorker([&] { return client.get(QStringLiteral("busy")); });
            QFAIL("expected ApiError");
        } catch (const ApiError &e) {
            QCOMPARE(e.message(),
                     QString::fromUtf8("the data provider rate limit hit (429) \u2014 retry 3/3"));
        }
        const QList<StubRequest> requests = stub->requestsTo(QStringLiteral("/busy"));
        QCOMPARE(requests.size(), 3);
        // 500 ms after the first failure, 1,000 ms after the second.
        QVERIFY(requests.at(1).receivedMs - requests.at(0).receivedMs >= 480);
        QVERIFY(requests.at(2).receivedMs - requests.at(1).receivedMs >= 980);
    }

    void serverError_isRetried_andNetworkFailuresNameTheService()
    {
        stub->routeSequence(QStringLiteral("/flaky"),
                            {StubResponse::error(500), StubResponse::json(R"({"ok":1})")});
        TestClient client(stub->baseUrl());
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("flaky")); }), obj(R"({"ok":1})"));
        QCOMPARE(stub->count(QStringLiteral("/flaky")), 2);

        // A 429 followed by other failures ends with the last message.
        stub->routeSequence(QStringLiteral("/mixed"), {StubResponse::error(429), StubResponse::error(503)});
        try {
            onWorker([&] { return client.get(QStringLiteral("mixed")); });
            QFAIL("expected ApiError");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     QStringLiteral("Network error contacting the data provider"));
        }

        TestClient dead(deadBase());
        QVERIFY_THROWS_EXCEPTION(ApiError, onWorker([&] { return dead.get(QStringLiteral("x")); }));
    }

    void slowReply_isAbortedAtTheTimeLimit_andRetried()
    {
        StubResponse slow = StubResponse::json(R"({"late":1})");
        slow.delayMs = 1500;
        stub->routeSequence(QStringLiteral("/slow"), {slow, StubResponse::json(R"({"quick":1})")});
        TestClient client(stub->baseUrl());
        client.setTimeout(0.3);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("slow")); }), obj(R"({"quick":1})"));
        QVERIFY(timer.elapsed() < 1400);
        QCOMPARE(stub->count(QStringLiteral("/slow")), 2);
    }

    void badReply_keepsTheGoodCopy_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("array") << QByteArray("[1,2,3]");
        QTest::newRow("html page") << QByteArray("<html>oops</html>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("past the cap")
            << "{\"pad\":\"" + QByteArray(CachedJsonClient::MaxReplyBytes, 'x') + "\"}";
    }

    void badReply_keepsTheGoodCopy()
    {
        QFETCH(QByteArray, body);
        stub->route(QStringLiteral("/odd"), StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        onWorker([&] { return client.get(QStringLiteral("odd")); });
        stub->route(QStringLiteral("/odd"), StubResponse::json(body));
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("odd"), {}, true); }), obj(R"({"v":1})"));
        QCOMPARE(
            obj(TestEnv::readFile(client.cachePath(CachedJsonClient::cacheKey(QStringLiteral("odd"), {}))))
                .value("data"),
            obj(R"({"v":1})"));
        // Without a good copy it is a failure like any other.
        stub->route(QStringLiteral("/new"), StubResponse::json(body));
        QVERIFY_THROWS_EXCEPTION(ApiError, onWorker([&] { return client.get(QStringLiteral("new")); }));
    }

    void diskCache_isSweptByAgeThenSize()
    {
        TestClient client(stub->baseUrl());
        const QDateTime now = QDateTime::currentDateTime();
        // Name, age in days, size in bytes; the sweep keeps 250 bytes.
        const QList<std::tuple<QString, int, int>> files = {
            {"new", 0, 100}, {"recent", 1, 100}, {"older", 2, 100}, {"stale", 31, 10}};
        for (const auto &[name, days, size] : files) {
            QFile file(client.cachePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, ' '));
            file.flush();
            file.setFileTime(now.addDays(-days), QFileDevice::FileModificationTime);
        }
        client.sweepDiskCache(250, 30);
        QStringList left = QDir(QFileInfo(client.cachePath("new")).path()).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({"new.json", "recent.json"}));
    }

    void corruptCacheFile_isRefetchedSilently()
    {
        stub->route(QStringLiteral("/c"), StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        const QString file = client.cachePath(CachedJsonClient::cacheKey(QStringLiteral("c"), {}));
        TestEnv::writeFile(file, R"({"ts":99999999999,"data":{"v":)");
        QCOMPARE(onWorker([&] { return client.get(QStringLiteral("c")); }), obj(R"({"v":1})"));
        QCOMPARE(obj(TestEnv::readFile(file)).value("data").toObject(), obj(R"({"v":1})"));
    }

    void request_sendsUserAgent_andSortedEncodedQuery()
    {
        stub->route(QStringLiteral("/search"), StubResponse::json("{}"));
        TestClient client(stub->baseUrl());
        QueryParams params;
        params.insert(QStringLiteral("q"), QStringLiteral("Brighton & Hove+1 #2"));
        params.insert(QStringLiteral("a"), QStringLiteral("x y"));
        onWorker([&] { return client.get(QStringLiteral("search"), params); });
        const StubRequest request = stub->requestsTo(QStringLiteral("/search")).value(0);
        QCOMPARE(request.header("User-Agent"), QByteArray("TolvoTest/1.0"));
        QCOMPARE(request.rawQuery, QStringLiteral("a=x%20y&q=Brighton%20%26%20Hove%2B1%20%232"));
        QCOMPARE(request.query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded),
                 QStringLiteral("Brighton & Hove+1 #2"));
    }

    void concurrentRequests_areSpacedByMinInterval()
    {
        stub->setFallback([](const StubRequest &) { return StubResponse::json("{}"); });
        TestClient client(stub->baseUrl());
        client.setMinInterval(0.2);
        std::vector<std::function<void()>> works;
        for (int i = 0; i < 5; ++i)
            works.push_back([&client, i] { client.get(QStringLiteral("p%1").arg(i)); });
        onWorkersAtOnce(works);

        QList<qint64> times;
        for (const StubRequest &r : stub->requests())
            times.append(r.receivedMs);
        QCOMPARE(times.size(), 5);
        std::sort(times.begin(), times.end());
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) - times.at(i - 1) >= 100,
                     qPrintable(QString::number(times.at(i) - times.at(i - 1))));

        // Cache hits are not spaced: they make no request.
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 5; ++i)
            onWorker([&] { return client.get(QStringLiteral("p%1").arg(i)); });
        QVERIFY(timer.elapsed() < 400);
    }

    void concurrentWritesOfOneKey_neverLeaveABrokenFile()
    {
        TestClient client(stub->baseUrl());
        const QString key = CachedJsonClient::cacheKey(QStringLiteral("same"), {});
        auto payload = [](int writer) {
            QJsonArray items;
            for (int i = 0; i < 4000; ++i)
                items.append(QStringLiteral("writer %1 item %2").arg(writer).arg(i));
            return QJsonObject{{QStringLiteral("writer"), writer}, {QStringLiteral("items"), items}};
        };
        std::atomic<bool> writing{true};
        std::atomic<int> broken{0};
        std::vector<std::function<void()>> works;
        for (int w = 0; w < 4; ++w) {
            works.push_back([&, w] {
                const QJsonObject object = payload(w);
                for (int round = 0; round < 15; ++round)
                    client.writeCache(key, object);
            });
        }
        QThread *reader = QThread::create([&] {
            while (writing) {
                QFile file(client.cachePath(key));
                if (file.open(QIODevice::ReadOnly) && !QJsonDocument::fromJson(file.readAll()).isObject())
                    ++broken;
            }
        });
        reader->start();
        onWorkersAtOnce(works);
        writing = false;
        reader->wait();
        delete reader;

        QCOMPARE(broken.load(), 0);
        const std::optional<QJsonObject> last = client.readStale(key);
        QVERIFY(last.has_value());
        QCOMPARE(*last, payload(last->value("writer").toInt()));
        const QStringList leftovers = QDir(cacheDir().filePath(QStringLiteral("test")))
                                          .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(leftovers, QStringList{key + QStringLiteral(".json")});
    }

    void emptiedCacheFolder_isCreatedAgainOnWrite()
    {
        stub->route(QStringLiteral("/w"), StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        QVERIFY(QDir(cacheDir().filePath(QStringLiteral("test"))).removeRecursively());
        onWorker([&] { return client.get(QStringLiteral("w")); });
        QVERIFY(QFile::exists(client.cachePath(CachedJsonClient::cacheKey(QStringLiteral("w"), {}))));
    }

    void fetchCrestBytes_plainGetWithoutCacheOrThrow()
    {
        stub->route(QStringLiteral("/crest.png"), StubResponse::json("PNGDATA", 200));
        stub->route(QStringLiteral("/missing.png"), StubResponse::error(404, "nope"));
        TestClient client(stub->baseUrl());

        QCOMPARE(onWorker([&] { return client.fetchCrestBytes(QString()); }), QByteArray());
        QCOMPARE(stub->requests().size(), 0);

        const QString url = stub->baseUrl() + QStringLiteral("/crest.png");
        QCOMPARE(onWorker([&] { return client.fetchCrestBytes(url); }), QByteArray("PNGDATA"));
        QCOMPARE(onWorker([&] { return client.fetchCrestBytes(url); }), QByteArray("PNGDATA"));
        QCOMPARE(stub->count(QStringLiteral("/crest.png")), 2);
        QVERIFY(stub->requestsTo(QStringLiteral("/crest.png")).at(0).header("User-Agent") != "TolvoTest/1.0");

        QCOMPARE(onWorker([&] {
                     return client.fetchCrestBytes(stub->baseUrl() + QStringLiteral("/missing.png"));
                 }),
                 QByteArray());
        QCOMPARE(onWorker([&] { return client.fetchCrestBytes(deadBase() + QStringLiteral("/c.png")); }),
                 QByteArray());
    }

    void apiError_crossesAFutureWithItsMessage()
    {
        const QString text = QString::fromUtf8("ESPN rate limit hit (429) \u2014 retry 3/3");
        QFutureInterface<int> promise;
        promise.reportStarted();
        promise.reportException(ApiError(text));
        promise.reportFinished();
        QFuture<int> future = promise.future();
        try {
            future.waitForFinished();
            QFAIL("expected ApiError");
        } catch (const ApiError &e) {
            QCOMPARE(e.message(), text);
            QCOMPARE(QString::fromUtf8(e.what()), text);
        }
        try {
            ApiError(text).raise();
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestCachedJsonClient)
#include "tst_cachedjsonclient.moc"
