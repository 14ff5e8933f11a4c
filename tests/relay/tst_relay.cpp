// The relay faces strangers: every test here replays an attack against the
// real program on 127.0.0.1 and checks the figure it must hold.
#include "stubserver/StubServer.h"
#include "support/RelayProcess.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(StubResponse)

namespace {

// JSON written with single quotes, which stand for double ones.
QByteArray j(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray Token = "Relay_Token_0123456789abcdefghij";
const QString Chat = QStringLiteral("/v1/chat/completions");
const QByteArray Reply = j("{'choices':[{'message':{'content':'{}'}}],'usage':{'total_tokens':20}}");

class Relay : public RelayProcess
{
public:
    explicit Relay(const QStringList &args)
        : RelayProcess(QStringLiteral(TOLVO_RELAY_BINARY), Token, args)
    {}
    quint16 port() const { return quint16(QUrl(baseUrl).port()); }
};

QByteArray userChat(const QByteArray &model = "gpt-4o-mini")
{
    return j("{'model':'") + model + j("','messages':[{'role':'user','content':'Arsenal v Chelsea'}]}");
}

// A whole request as raw bytes; a body gets its Content-Length unless the
// headers say otherwise.
QByteArray request(const QByteArray &target, const QByteArray &headers, const QByteArray &body = {},
                   const QByteArray &token = Token)
{
    QByteArray out = "POST " + target + " HTTP/1.1\r\nHost: relay\r\n";
    if (!token.isEmpty())
        out += "Authorization: Bearer " + token + "\r\n";
    if (!headers.contains("Content-Length") && !headers.contains("Transfer-Encoding"))
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return out + headers + "\r\n" + body;
}

QTcpSocket *openTo(quint16 port, const QByteArray &bytes, QObject *parent)
{
    auto *socket = new QTcpSocket(parent);
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    socket->write(bytes);
    socket->waitForBytesWritten(5000);
    return socket;
}

// Sends the bytes on a new connection; everything received until the relay closes it.
QByteArray exchange(quint16 port, const QByteArray &bytes)
{
    QObject owner;
    QTcpSocket *socket = openTo(port, bytes, &owner);
    QByteArray received;
    while (socket->state() == QAbstractSocket::ConnectedState && socket->waitForReadyRead(10000))
        received += socket->readAll();
    return received + socket->readAll();
}

int statusOf(const QByteArray &answer)
{
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

FormPart part(const QByteArray &name, const QByteArray &fileName, const QByteArray &body)
{
    FormPart p;
    QByteArray disposition = "form-data; name=\"" + name + '"';
    if (!fileName.isEmpty())
        disposition += "; filename=\"" + fileName + '"';
    p.headers.insert("Content-Disposition", disposition);
    p.body = body;
    return p;
}

// A report as raw bytes, with extra header lines.
QByteArray report(const QList<FormPart> &parts, const QByteArray &headers = {})
{
    const auto [type, body] = buildMultipart(parts);
    return request("/report", "Content-Type: " + type + "\r\n" + headers, body);
}

const FormPart Payload = part("payload_json", {}, j("{'embeds':[{'title':'Bug'}]}"));

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void chat_isRebuiltBeforeForwarding_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("forwarded"); // empty: nothing reaches the model service

        const QByteArray hi = j("[{'role':'user','content':'hi'}]");
        QTest::newRow("open proxy call is tamed")
            << QStringList()
            << j("{'model':'gpt-4o','n':128,'max_tokens':100000,'stream':true,'tools':[{'type':'function'}],"
                 "'user':'u','temperature':7,'response_format':{'type':'text'},"
                 "'messages':[{'role':'user','content':'hi','name':'x'}]}")
            << 200
            << j("{'model':'gpt-4o','messages':") + hi + j(",'n':1,'max_tokens':1000,'temperature':2}");
        const QByteArray own =
            j("'response_format':{'type':'json_object'},'temperature':0.3,'max_tokens':700,"
              "'messages':[{'role':'system','content':'s'},{'role':'user','content':'u'}]");
        QTest::newRow("the program's own call") << QStringList() << j("{'model':'gpt-4o-mini',") + own + "}"
                                                << 200 << j("{'model':'gpt-4o-mini','n':1,") + own + "}";
        QTest::newRow("token cap from the command line")
            << QStringList{QStringLiteral("--max-tokens"), QStringLiteral("50")}
            << j("{'model':'gpt-4.1','temperature':-1,'max_tokens':400,'messages':") + hi + "}" << 200
            << j("{'model':'gpt-4.1','temperature':0,'max_tokens':50,'n':1,'messages':") + hi + "}";
        const QByteArray schema = j("{'type':'json_schema','json_schema':{'name':'call','schema':{}}");
        QTest::newRow("json schema kept")
            << QStringList()
            << j("{'model':'o4-mini','response_format':") + schema + j(",'x':1},'messages':") + hi + "}"
            << 200
            << j("{'model':'o4-mini','max_tokens':1000,'n':1,'response_format':") + schema +
                   j("},'messages':") + hi + "}";
        QTest::newRow("model outside the list")
            << QStringList() << userChat("gpt-4-32k") << 400 << QByteArray();
        QTest::newRow("own model list")
            << QStringList{QStringLiteral("--models"), QStringLiteral("house-model")} << userChat("gpt-4o")
            << 400 << QByteArray();
        QByteArray many = j("{'model':'gpt-4o','messages':[");
        for (int i = 0; i < 41; ++i)
            many += QByteArray(i ? "," : "") + j("{'role':'user','content':'m'}");
        QTest::newRow("41 messages") << QStringList() << many + "]}" << 400 << QByteArray();
        QTest::newRow("tool role") << QStringList()
                                   << j("{'model':'gpt-4o','messages':[{'role':'tool','content':'x'}]}")
                                   << 400 << QByteArray();
        QTest::newRow("content not text")
            << QStringList()
            << j("{'model':'gpt-4o','messages':[{'role':'user','content':[{'type':'image_url'}]}]}") << 400
            << QByteArray();
        QTest::newRow("65 KiB of text") << QStringList()
                                        << j("{'model':'gpt-4o','messages':[{'role':'user','content':'") +
                                               QByteArray(65 * 1024, 'a') + "\"}]}"
                                        << 400 << QByteArray();
        QTest::newRow("not an object") << QStringList() << QByteArray("[1, 2]") << 400 << QByteArray();
    }

    void chat_isRebuiltBeforeForwarding()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        QFETCH(QByteArray, forwarded);
        StubServer upstream;
        upstream.route(Chat, StubResponse::json(Reply));
        Relay relay(args + QStringList{QStringLiteral("--upstream"), upstream.baseUrl()});

        const TestHttpReply reply =
            testHttp("POST", relay.baseUrl + Chat,
                     {{"Authorization", "Bearer " + Token}, {"Content-Type", "application/json"}}, sent);
        QCOMPARE(reply.status, status);
        if (forwarded.isEmpty()) {
            QCOMPARE(upstream.count(Chat), 0);
            return;
        }
        QCOMPARE(reply.body, Reply);
        const StubRequest seen = upstream.requestsTo(Chat).first();
        QCOMPARE(QJsonDocument::fromJson(seen.body), QJsonDocument::fromJson(forwarded));
        QCOMPARE(seen.header("authorization"), QByteArray("Bearer sk-upstream"));
    }

    void chat_upstreamTroubleBecomesTheRelaysOwn502_data()
    {
        QTest::addColumn<StubResponse>("upstreamAnswer");
        QTest::addColumn<int>("status");
        QTest::newRow("reply over 2 MiB")
            << StubResponse::json(j("{'pad':'") + QByteArray(2 * 1024 * 1024, 'x') + "\"}") << 502;
        QTest::newRow("key refused, account named")
            << StubResponse::error(401, j("{'error':{'message':'Incorrect key for org-secret'}}")) << 502;
        QTest::newRow("model service rate limit")
            << StubResponse::error(429, j("{'error':{'org':'org-secret'}}")) << 429;
    }

    void chat_upstreamTroubleBecomesTheRelaysOwn502()
    {
        QFETCH(StubResponse, upstreamAnswer);
        QFETCH(int, status);
        StubServer upstream;
        upstream.route(Chat, upstreamAnswer);
        Relay relay({QStringLiteral("--upstream"), upstream.baseUrl()});
        const QByteArray answer = exchange(relay.port(), request(Chat.toLatin1(), {}, userChat()));
        QCOMPARE(statusOf(answer), status);
        QVERIFY(answer.size() < 1024);
        QVERIFY(!answer.contains("org-secret"));
        QVERIFY(answer.contains(j("'type':'relay_error'")));
    }

    void refusals_leaveNothingBehind_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status");

        const QByteArray smuggled = "GET /health HTTP/1.1\r\nHost: relay\r\n\r\n";
        QTest::newRow("wrong token, request smuggled in the body")
            << request("/report", {}, smuggled, "wrong") << 401;
        QTest::newRow("no token") << request(Chat.toLatin1(), {}, userChat(), {}) << 401;
        QTest::newRow("gzip report") << report({Payload}, "Content-Encoding: gzip\r\n") << 415;
        QTest::newRow("chunked") << request(Chat.toLatin1(), "Transfer-Encoding: chunked\r\n",
                                            "0\r\n\r\n" + smuggled)
                                 << 411;
        QTest::newRow("body on another method")
            << QByteArray("PUT /report HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
            << 405;
        QTest::newRow("chat over 256 KiB")
            << request(Chat.toLatin1(), {}, QByteArray(300 * 1024, ' ')) << 413;
        QList<FormPart> parts{Payload};
        for (int i = 0; i < 20000; ++i)
            parts.append(part("f", "a", {}));
        QTest::newRow("20000 empty parts") << report(parts) << 413;
        QTest::newRow("nine parts") << report(parts.mid(0, 9)) << 413;
        QTest::newRow("second payload") << report({Payload, part("payload_json", {}, "{}")}) << 400;
        QTest::newRow("no payload") << report({part("log", "log.txt", "x")}) << 400;
        QTest::newRow("payload without embeds")
            << report({part("payload_json", {}, j("{'embeds':{}}"))}) << 400;
        QTest::newRow("not a form") << request("/report", "Content-Type: application/json\r\n", "{}") << 400;
    }

    void refusals_leaveNothingBehind()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        StubServer upstream;
        Relay relay({QStringLiteral("--upstream"), upstream.baseUrl()});

        QElapsedTimer timer;
        timer.start();
        const QByteArray answer = exchange(relay.port(), sent);
        qInfo("%s: %d bytes refused in %lld ms", QTest::currentDataTag(), int(sent.size()), timer.elapsed());
        QCOMPARE(statusOf(answer), status);
        QCOMPARE(answer.count("HTTP/1.1 "), 1); // the body is never read as a next request
        QVERIFY(answer.contains("Connection: close"));
        QVERIFY(relay.storedReports().isEmpty());
        QCOMPARE(upstream.requests().size(), 0);
    }

    void report_isStoredOwnerOnlyUnderNamesTheClientCannotChoose()
    {
        StubServer webhook;
        webhook.route(QStringLiteral("/hook"), StubResponse::json({}, 204));
        Relay relay({QStringLiteral("--webhook"), webhook.baseUrl() + QStringLiteral("/hook")});
        QByteArray shot;
        for (int i = 0; i < 70000; ++i)
            shot.append(char(i * 7));
        const QList<FormPart> parts{Payload,
                                    part("icon", "tolvo_icon.png", "png"),
                                    part("screenshot", "screenshot.png", shot),
                                    part("log", "log.txt", "L\xC3\xB8g"),
                                    part("x", "../../.bashrc.S H", "echo"),
                                    part("log", "log.txt", "again")};
        QCOMPARE(statusOf(exchange(relay.port(), report(parts))), 204);

        const QStringList stored = relay.storedReports();
        QCOMPARE(stored.size(), 1);
        const QDir folder(QDir(relay.reportsDir).filePath(stored.first()));
        const QStringList names{"4.sh",         "5.txt",          "log.txt",
                                "payload.json", "screenshot.png", "tolvo_icon.png"};
        QCOMPARE(folder.entryList(QDir::Files, QDir::Name), names);
        QCOMPARE(TestEnv::readFile(folder.filePath(QStringLiteral("screenshot.png"))), shot);
        QCOMPARE(TestEnv::readFile(folder.filePath(QStringLiteral("payload.json"))), Payload.body);
#ifdef Q_OS_UNIX
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
        for (const QString &path :
             QStringList{relay.reportsDir, folder.path()} + folder.entryList(QDir::Files))
            QCOMPARE(QFileInfo(folder.filePath(path)).permissions() & others, QFile::Permissions());
        QCOMPARE(QFileInfo(folder.path()).permissions() & QFile::ExeOwner, QFile::ExeOwner);
#endif

        QTRY_COMPARE(webhook.count(QStringLiteral("/hook")), 1);
        const StubRequest hook = webhook.requestsTo(QStringLiteral("/hook")).first();
        const QList<FormPart> forwarded = parseMultipart(hook.header("content-type"), hook.body);
        QCOMPARE(forwarded.size(), 6);
        QCOMPARE(forwarded[0].body, Payload.body);
        QCOMPARE(forwarded[2].fileName(), QByteArray("screenshot.png"));
        QCOMPARE(forwarded[2].body, shot);
        QCOMPARE(forwarded[4].fileName(), QByteArray("4.sh"));
    }

    void reportQuota_refusesWith507AndStoresNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QList<int>>("statuses");
        QTest::newRow("folder quota")
            << QStringList{QStringLiteral("--reports-max-bytes"), QStringLiteral("1500")}
            << QList<int>{204, 507, 507};
        QTest::newRow("free space floor")
            << QStringList{QStringLiteral("--reports-min-free"), QStringLiteral("999999999999999999")}
            << QList<int>{507};
    }

    void reportQuota_refusesWith507AndStoresNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QList<int>, statuses);
        Relay relay(args);
        const QByteArray sent = report({Payload, part("log", "log.txt", QByteArray(1000, 'l'))});
        for (const int status : statuses)
            QCOMPARE(statusOf(exchange(relay.port(), sent)), status);
        QCOMPARE(relay.storedReports().size(), int(statuses.count(204)));
    }

    void limits_answer429_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArrayList>("tokens");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<int>("forwarded");

        QByteArrayList guesses(11, "guess");
        QTest::newRow("ten wrong tokens a minute, then even the right one waits")
            << QStringList() << guesses + QByteArrayList{Token} << QList<int>(10, 401) + QList<int>{429, 429}
            << 0;
        QTest::newRow("daily token budget")
            << QStringList{QStringLiteral("--daily-tokens"), QStringLiteral("30")} << QByteArrayList(3, Token)
            << QList<int>{200, 200, 429} << 2;
        QTest::newRow("requests a minute") << QStringList{QStringLiteral("--rate-limit"), QStringLiteral("2")}
                                           << QByteArrayList(3, Token) << QList<int>{200, 200, 429} << 2;
    }

    void limits_answer429()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArrayList, tokens);
        QFETCH(QList<int>, statuses);
        QFETCH(int, forwarded);
        StubServer upstream;
        upstream.route(Chat, StubResponse::json(Reply));
        Relay relay(args + QStringList{QStringLiteral("--upstream"), upstream.baseUrl()});
        QByteArray last;
        for (qsizetype i = 0; i < tokens.size(); ++i) {
            last = exchange(relay.port(), request(Chat.toLatin1(), {}, userChat(), tokens[i]));
            QCOMPARE(statusOf(last), statuses[i]);
        }
        const int retryAfter = last.mid(last.indexOf("Retry-After: ") + 13, 6).split('\r').first().toInt();
        QVERIFY(retryAfter >= 1 && retryAfter <= 24 * 3600);
        QCOMPARE(upstream.count(Chat), forwarded);
    }

    void log_escapesControlCharactersAndHidesTokenAndText()
    {
        Relay relay({QStringLiteral("--upstream"), QStringLiteral("http://127.0.0.1:1")});
        exchange(relay.port(),
                 "GET /x%0a2026-01-01%2000:00:00%20forged%20" + Token + " HTTP/1.1\r\nHost: r\r\n\r\n");
        exchange(relay.port(), request(Chat.toLatin1(), {}, userChat()));
        const QByteArray output = relay.output();
        QVERIFY2(output.contains("GET /x\\x0a2026-01-01 00:00:00 forged [token] 404"), output.constData());
        QVERIFY(!output.contains("\n2026-01-01 00:00:00 forged"));
        QVERIFY(output.contains("POST /v1/chat/completions 502"));
        QVERIFY(!output.contains(Token));
        QVERIFY(!output.contains("Arsenal"));
    }

    void slowClientsAndHangingUpstream_leaveHealthFree()
    {
        auto upstream = std::make_unique<StubServer>();
        StubResponse hanging = StubResponse::json(Reply);
        hanging.delayMs = 3600 * 1000;
        upstream->route(Chat, hanging);
        Relay relay({QStringLiteral("--upstream"), upstream->baseUrl(), QStringLiteral("--request-timeout"),
                     QStringLiteral("2")});
        QObject sockets;
        QList<QTcpSocket *> chats;
        for (int i = 0; i < 16; ++i) {
            openTo(relay.port(), "POST /report HTTP/1.1\r\nHost: relay\r\n", &sockets);
            chats.append(openTo(relay.port(), request(Chat.toLatin1(), {}, userChat()), &sockets));
        }
        // Eight chats wait on the model service; the others are turned away at once.
        QTRY_COMPARE(upstream->count(Chat), 8);
        QTRY_COMPARE(int(std::count_if(chats.begin(), chats.end(),
                                       [](QTcpSocket *s) { return s->bytesAvailable() > 0; })),
                     8);
        QCOMPARE(testHttp("GET", relay.baseUrl + QStringLiteral("/health")).status, 200);

        // A head that keeps trickling in is still cut off at the deadline.
        QTcpSocket *trickle = openTo(relay.port(), "POST /report HTTP/1.1\r\n", &sockets);
        QTimer drip;
        connect(&drip, &QTimer::timeout, trickle, [trickle] { trickle->write("X-Slow: 1\r\n"); });
        drip.start(100);
        QSignalSpy closed(trickle, &QTcpSocket::disconnected);
        QVERIFY(closed.wait(15000));
        upstream.reset(); // frees the relay's waiting threads
    }

    void nginxFrontDoor_keepsHealthFreeUnderSlowClients()
    {
        QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"));
        if (nginx.isEmpty()) // sbin is often missing from the PATH of an ordinary account
            nginx = QStandardPaths::findExecutable(
                QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
        if (nginx.isEmpty())
            QSKIP("nginx is not installed; scripts/install-deps.sh installs it");
        auto upstream = std::make_unique<StubServer>();
        StubResponse hanging = StubResponse::json(Reply);
        hanging.delayMs = 3600 * 1000;
        upstream->route(Chat, hanging);
        // A long deadline: here nginx, not the relay, must hold the slow clients.
        Relay relay({QStringLiteral("--upstream"), upstream->baseUrl(), QStringLiteral("--trusted-proxy"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("--request-timeout"),
                     QStringLiteral("600")});

        // The shipped site, with plain HTTP on a free loopback port for TLS.
        QTemporaryDir dir;
        const quint16 port = freePort();
        QString site = QString::fromUtf8(TestEnv::readFile(QStringLiteral(TOLVO_NGINX_SITE)));
        site.remove(QRegularExpression(QStringLiteral("\\n\\s*(listen|ssl_)[^\\n]*")));
        site.replace(QStringLiteral("server_name relay.example.org;"),
                     QStringLiteral("server_name _;\n    listen 127.0.0.1:%1;").arg(port));
        site.replace(QStringLiteral("server 127.0.0.1:8787"),
                     QStringLiteral("server 127.0.0.1:%1").arg(relay.port()));
        TestEnv::writeFile(dir.filePath(QStringLiteral("site.conf")), site.toUtf8());
        QByteArray conf = "daemon off;\nworker_processes 1;\npid " + dir.filePath("nginx.pid").toUtf8() +
                          ";\nevents { worker_connections 256; }\nhttp {\n  access_log off;\n";
        for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf += QByteArray("  ") + temp + "_temp_path " + dir.filePath(temp).toUtf8() + ";\n";
        conf += "  include " + dir.filePath("site.conf").toUtf8() + ";\n}\n";
#ifdef Q_OS_UNIX
        if (::geteuid() == 0) // workers would otherwise drop to an account that cannot enter the folder
            conf.prepend("user root;\n");
#endif
        TestEnv::writeFile(dir.filePath(QStringLiteral("nginx.conf")), conf);
        QProcess front;
        front.setProcessChannelMode(QProcess::MergedChannels);
        front.start(nginx, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"),
                            dir.filePath("nginx.conf"), QStringLiteral("-e"), dir.filePath("error.log")});
        const QString frontUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);
        QTRY_VERIFY2_WITH_TIMEOUT(
            testHttp("GET", frontUrl + QStringLiteral("/health"), {}, {}, 2000).status == 200,
            QByteArray(front.readAll() + TestEnv::readFile(dir.filePath("error.log"))).constData(), 20000);

        QObject sockets;
        QList<QTcpSocket *> chats;
        for (int i = 0; i < 16; ++i) {
            openTo(port, "POST /v1/chat/completions HTTP/1.1\r\nHost: relay\r\n", &sockets);
            chats.append(openTo(port, request(Chat.toLatin1(), {}, userChat()), &sockets));
        }
        // Each chat either waits on the model service or is turned away.
        QTRY_COMPARE_WITH_TIMEOUT(
            upstream->count(Chat) + int(std::count_if(chats.begin(), chats.end(),
                                                      [](QTcpSocket *s) { return s->bytesAvailable() > 0; })),
            16, 20000);
        QVERIFY(upstream->count(Chat) >= 1);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(testHttp("GET", frontUrl + QStringLiteral("/health")).status, 200);
        qInfo("/health through nginx with 16 slow clients and %d hanging chats: %lld ms",
              int(upstream->count(Chat)), timer.elapsed());

        upstream.reset();
        front.terminate();
        QVERIFY(front.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
