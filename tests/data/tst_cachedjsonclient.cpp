#include "Worker.h"

#include "app/Paths.h"
#include "data/CachedJsonClient.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/Thrown.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A client on the stub with short pauses so that the failure paths stay quick.
class TestClient : public CachedJsonClient
{
public:
    explicit TestClient(const QString &base)
        : CachedJsonClient(u"test"_s, u"TolvoTest/1.0"_s, 5.0)
        , m_base(base)
    {
        minInterval = 0;
        retryPauseMs = 10;
    }

    QString urlFor(const QString &path) const override { return m_base + u'/' + path; }
    int ttlFor(const QString &path) const override { return path.startsWith(u"short"_s) ? 60 : 300; }

    void pinClock(qint64 seconds)
    {
        m_pinned = seconds;
        clockSeconds = [this] { return m_pinned.load(); };
    }
    QJsonObject fetch(const QString &path, const QueryParams &params = {}, bool bypass = false) const
    {
        return onWorker([&] { return get(path, params, bypass); });
    }
    QString fileOf(const QString &path) const { return cachePath(cacheKey(path, {})); }

    double &minIntervalSeconds() { return minInterval; }
    double &timeout() { return timeoutSeconds; }

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
    return StubServer().baseUrl();
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

    void cachedCopy_isServedUpToItsLifetime_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("onDisk"); // else only the memory copy is left
        QTest::newRow("disk, 300 s") << u"long"_s << true;
        QTest::newRow("memory, 60 s") << u"short"_s << false;
    }
    void cachedCopy_isServedUpToItsLifetime()
    {
        QFETCH(QString, path);
        QFETCH(bool, onDisk);
        stub->route(u'/' + path, StubResponse::json(R"({"from":"network"})"));
        TestClient client(stub->baseUrl());
        const qint64 now = 1'750'000'000;
        const int ttl = client.ttlFor(path);
        client.pinClock(now);
        if (onDisk) {
            TestEnv::writeFile(client.fileOf(path), storedFile(now - ttl, R"({"from":"disk"})"));
            QCOMPARE(client.fetch(path), obj(R"({"from":"disk"})"));
            QCOMPARE(stub->count(u'/' + path), 0);
        } else {
            client.fetch(path);
            QVERIFY(QFile::remove(client.fileOf(path)));
            client.pinClock(now + ttl);
            client.fetch(path);
            QCOMPARE(stub->count(u'/' + path), 1);
        }
        client.pinClock(now + ttl + 1);
        QCOMPARE(client.fetch(path), obj(R"({"from":"network"})"));
        QCOMPARE(stub->count(u'/' + path), onDisk ? 1 : 2);
    }

    void threeFailures_returnStaleCopy_evenWhenBypassing()
    {
        stub->route(u"/table"_s, StubResponse::error(500));
        TestClient client(stub->baseUrl());
        TestEnv::writeFile(client.fileOf(u"table"_s), storedFile(1000, R"({"old":true})"));
        QCOMPARE(client.fetch(u"table"_s, {}, true), obj(R"({"old":true})"));
        QCOMPARE(stub->count(u"/table"_s), 3);
        QCOMPARE(client.fetch(u"table"_s), obj(R"({"old":true})"));
        QCOMPARE(stub->count(u"/table"_s), 6);
        // A failure does not refresh the stale copy.
        QCOMPARE(obj(TestEnv::readFile(client.fileOf(u"table"_s))).value("ts").toInteger(), 1000);
    }

    void failures_areRetriedThreeTimes_data()
    {
        QTest::addColumn<QList<StubResponse>>("replies");
        QTest::addColumn<QString>("message"); // empty: the last reply is served
        QTest::newRow("server error, then fine")
            << QList<StubResponse>{StubResponse::error(500)} << QString();
        QTest::newRow("rate limited")
            << QList<StubResponse>{StubResponse::error(429), StubResponse::error(429),
                                   StubResponse::error(429)}
            << u"the data provider rate limit hit (429) \u2014 retry 3/3"_s;
        QTest::newRow("rate limited, then broken")
            << QList<StubResponse>{StubResponse::error(429), StubResponse::error(503)}
            << u"Network error contacting the data provider"_s;
    }
    void failures_areRetriedThreeTimes()
    {
        QFETCH(QList<StubResponse>, replies);
        QFETCH(QString, message);
        if (message.isEmpty())
            replies.append(StubResponse::json(R"({"ok":1})"));
        stub->routeSequence(u"/x"_s, replies);
        TestClient client(stub->baseUrl());
        QCOMPARE(thrownMessage([&] { client.fetch(u"x"_s); }), message);
        QCOMPARE(stub->count(u"/x"_s), message.isEmpty() ? 2 : 3);
        // A server that is gone, with no copy to fall back on, is a failure too.
        QVERIFY(!thrownMessage([] { TestClient(deadBase()).fetch(u"never-fetched"_s); }).isEmpty());
    }

    void slowReply_isAbortedAtTheTimeLimit_andRetried()
    {
        StubResponse slow = StubResponse::json(R"({"late":1})");
        slow.delayMs = 60000;
        stub->routeSequence(u"/slow"_s, {slow, StubResponse::json(R"({"quick":1})")});
        TestClient client(stub->baseUrl());
        client.timeout() = 0.3;
        QCOMPARE(client.fetch(u"slow"_s), obj(R"({"quick":1})"));
        QCOMPARE(stub->count(u"/slow"_s), 2);
    }

    void badReply_keepsTheGoodCopy_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("html page") << QByteArray("<html>oops</html>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("past the cap")
            << "{\"pad\":\"" + QByteArray(CachedJsonClient::MaxReplyBytes, 'x') + "\"}";
    }
    void badReply_keepsTheGoodCopy()
    {
        QFETCH(QByteArray, body);
        stub->route(u"/odd"_s, StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        client.fetch(u"odd"_s);
        stub->route(u"/odd"_s, StubResponse::json(body));
        QCOMPARE(client.fetch(u"odd"_s, {}, true), obj(R"({"v":1})"));
        QCOMPARE(obj(TestEnv::readFile(client.fileOf(u"odd"_s))).value("data").toObject(), obj(R"({"v":1})"));
        // Without a good copy it is a failure like any other.
        stub->route(u"/new"_s, StubResponse::json(body));
        QVERIFY(!thrownMessage([&] { client.fetch(u"new"_s); }).isEmpty());
    }

    void diskCache_isSweptByAgeThenSize()
    {
        TestClient client(stub->baseUrl());
        const QDateTime now = QDateTime::currentDateTime();
        // Name, age in days, size in bytes; the sweep keeps 250 bytes.
        const QList<std::tuple<QString, int, int>> files = {
            {u"new"_s, 0, 100}, {u"recent"_s, 1, 100}, {u"older"_s, 2, 100}, {u"stale"_s, 31, 10}};
        for (const auto &[name, days, size] : files) {
            QFile file(client.cachePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, ' '));
            file.flush();
            file.setFileTime(now.addDays(-days), QFileDevice::FileModificationTime);
        }
        client.sweepDiskCache(250, 30);
        QStringList left = QDir(QFileInfo(client.cachePath(u"new"_s)).path()).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({u"new.json"_s, u"recent.json"_s}));
    }

    void concurrentRequests_areSpacedByMinInterval()
    {
        stub->setFallback([](const StubRequest &) { return StubResponse::json("{}"); });
        TestClient client(stub->baseUrl());
        client.minIntervalSeconds() = 0.2;
        std::vector<std::function<void()>> works;
        for (int i = 0; i < 5; ++i)
            works.push_back([&client, i] { client.get(u"p%1"_s.arg(i)); });
        onWorkersAtOnce(works);

        QList<qint64> times;
        for (const StubRequest &r : stub->requests())
            times.append(r.receivedMs);
        QCOMPARE(times.size(), 5);
        std::sort(times.begin(), times.end());
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) - times.at(i - 1) >= 100,
                     qPrintable(QString::number(times.at(i) - times.at(i - 1))));
        onWorkersAtOnce(works); // cache hits make no request
        QCOMPARE(stub->requests().size(), 5);
    }

    void concurrentWritesOfOneKey_neverLeaveABrokenFile()
    {
        TestClient client(stub->baseUrl());
        const QString key = CachedJsonClient::cacheKey(u"same"_s, {});
        auto payload = [](int writer) {
            QJsonArray items;
            for (int i = 0; i < 4000; ++i)
                items.append(u"writer %1 item %2"_s.arg(writer).arg(i));
            return QJsonObject{{u"writer"_s, writer}, {u"items"_s, items}};
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
        QCOMPARE(
            QDir(cacheDir().filePath(u"test"_s)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{key + u".json"_s});
    }

    void brokenOrMissingCache_isFetchedAndWrittenAgain()
    {
        stub->route(u"/c"_s, StubResponse::json(R"({"v":1})"));
        TestClient client(stub->baseUrl());
        TestEnv::writeFile(client.fileOf(u"c"_s), R"({"ts":99999999999,"data":{"v":)");
        QCOMPARE(client.fetch(u"c"_s), obj(R"({"v":1})"));
        QCOMPARE(obj(TestEnv::readFile(client.fileOf(u"c"_s))).value("data").toObject(), obj(R"({"v":1})"));

        QVERIFY(QDir(cacheDir().filePath(u"test"_s)).removeRecursively());
        client.fetch(u"c"_s, {}, true);
        QVERIFY(QFile::exists(client.fileOf(u"c"_s)));
    }

    // Crest addresses come from the data service: never a file of this
    // machine, a plain-text host elsewhere, or a body past 1 MiB.
    void crest_onlyFromSafeAddresses_andSmall()
    {
        stub->route(u"/crest.png"_s, StubResponse::json("PNGDATA"));
        stub->route(u"/huge.png"_s, StubResponse::json(QByteArray(1024 * 1024 + 1, 'x')));
        TestClient client(stub->baseUrl());
        auto crest = [&](const QString &url) {
            return onWorker([&] { return client.fetchCrestBytes(url); });
        };
        QCOMPARE(crest(stub->baseUrl() + u"/crest.png"_s), QByteArray("PNGDATA"));
        TestEnv::writeFile(cacheDir().filePath(u"secret.png"_s), "PNGDATA");
        QCOMPARE(crest(QUrl::fromLocalFile(cacheDir().filePath(u"secret.png"_s)).toString()), QByteArray());
        QCOMPARE(crest(u"http://example.org/c.png"_s), QByteArray());
        QCOMPARE(crest(stub->baseUrl() + u"/huge.png"_s), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCachedJsonClient)
#include "tst_cachedjsonclient.moc"
