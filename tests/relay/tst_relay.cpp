// The relay faces strangers: every test here replays an attack against the
// real program on 127.0.0.1 and checks the figure it must hold.
#include "stubserver/StubServer.h"
#include "support/RelayProcess.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// JSON written with single quotes, which stand for double ones.
QByteArray j(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray Token = "Relay_Token_0123456789abcdefghij";
const QString Chat = u"/v1/chat/completions"_s;
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
        QTest::newRow("model outside the list")
            << QStringList() << userChat("gpt-4-32k") << 400 << QByteArray();
    }

    void chat_isRebuiltBeforeForwarding()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        QFETCH(QByteArray, forwarded);
        StubServer upstream;
        upstream.route(Chat, StubResponse::json(Reply));
        Relay relay(args + QStringList{u"--upstream"_s, upstream.baseUrl()});

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

    void refusals_leaveNothingBehind_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status");

        const QByteArray smuggled = "GET /health HTTP/1.1\r\nHost: relay\r\n\r\n";
        QTest::newRow("wrong token, request smuggled in the body")
            << request("/report", {}, smuggled, "wrong") << 401;
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
        QTest::newRow("no payload") << report({part("log", "log.txt", "x")}) << 400;
    }

    void refusals_leaveNothingBehind()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        StubServer upstream;
        Relay relay({u"--upstream"_s, upstream.baseUrl()});

        const QByteArray answer = exchange(relay.port(), sent);
        QCOMPARE(statusOf(answer), status);
        QCOMPARE(answer.count("HTTP/1.1 "), 1); // the body is never read as a next request
        QVERIFY(answer.contains("Connection: close"));
        QVERIFY(relay.storedReports().isEmpty());
        QCOMPARE(upstream.requests().size(), 0);
    }

    void report_isStoredOwnerOnlyUnderNamesTheClientCannotChoose()
    {
        StubServer webhook;
        webhook.route(u"/hook"_s, StubResponse::json({}, 204));
        Relay relay({u"--webhook"_s, webhook.baseUrl() + u"/hook"_s});
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
        QCOMPARE(TestEnv::readFile(folder.filePath(u"screenshot.png"_s)), shot);
        QCOMPARE(TestEnv::readFile(folder.filePath(u"payload.json"_s)), Payload.body);
#ifdef Q_OS_UNIX
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
        for (const QString &path :
             QStringList{relay.reportsDir, folder.path()} + folder.entryList(QDir::Files))
            QCOMPARE(QFileInfo(folder.filePath(path)).permissions() & others, QFile::Permissions());
        QCOMPARE(QFileInfo(folder.path()).permissions() & QFile::ExeOwner, QFile::ExeOwner);
#endif

        QTRY_COMPARE(webhook.count(u"/hook"_s), 1);
        const StubRequest hook = webhook.requestsTo(u"/hook"_s).first();
        const QList<FormPart> forwarded = parseMultipart(hook.header("content-type"), hook.body);
        QCOMPARE(forwarded.size(), 6);
        QCOMPARE(forwarded[0].body, Payload.body);
        QCOMPARE(forwarded[2].fileName(), QByteArray("screenshot.png"));
        QCOMPARE(forwarded[2].body, shot);
        QCOMPARE(forwarded[4].fileName(), QByteArray("4.sh"));
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
        QTest::newRow("daily token budget") << QStringList{u"--daily-tokens"_s, u"30"_s}
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
        Relay relay(args + QStringList{u"--upstream"_s, upstream.baseUrl()});
        QByteArray last;
        for (qsizetype i = 0; i < tokens.size(); ++i) {
            last = exchange(relay.port(), request(Chat.toLatin1(), {}, userChat(), tokens[i]));
            QCOMPARE(statusOf(last), statuses[i]);
        }
        const int retryAfter = last.mid(last.indexOf("Retry-After: ") + 13, 6).split('\r').first().toInt();
        QVERIFY(retryAfter >= 1 && retryAfter <= 24 * 3600);
        QCOMPARE(upstream.count(Chat), forwarded);
    }

    void nginxFrontDoor_keepsHealthFreeUnderSlowClients()
    {
        QString nginx = QStandardPaths::findExecutable(u"nginx"_s);
        if (nginx.isEmpty()) // sbin is often missing from the PATH of an ordinary account
            nginx = QStandardPaths::findExecutable(u"nginx"_s, {u"/usr/sbin"_s, u"/usr/local/sbin"_s});
        if (nginx.isEmpty())
            QSKIP("nginx is not installed; scripts/install-deps.sh installs it");
        auto upstream = std::make_unique<StubServer>();
        StubResponse hanging = StubResponse::json(Reply);
        hanging.delayMs = 3600 * 1000;
        upstream->route(Chat, hanging);
        // A long deadline: here nginx, not the relay, must hold the slow clients.
        Relay relay({u"--upstream"_s, upstream->baseUrl(), u"--trusted-proxy"_s, u"127.0.0.1"_s,
                     u"--request-timeout"_s, u"600"_s});

        // The shipped site, with plain HTTP on a free loopback port for TLS.
        QTemporaryDir dir;
        const quint16 port = freePort();
        QString site = QString::fromUtf8(TestEnv::readFile(QStringLiteral(TOLVO_NGINX_SITE)));
        site.remove(QRegularExpression(u"\\n\\s*(listen|ssl_)[^\\n]*"_s));
        site.replace(u"server_name relay.example.org;"_s,
                     u"server_name _;\n    listen 127.0.0.1:%1;"_s.arg(port));
        site.replace(u"server 127.0.0.1:8787"_s, u"server 127.0.0.1:%1"_s.arg(relay.port()));
        TestEnv::writeFile(dir.filePath(u"site.conf"_s), site.toUtf8());
        QByteArray conf = "daemon off;\nworker_processes 1;\npid " + dir.filePath("nginx.pid").toUtf8() +
                          ";\nevents { worker_connections 256; }\nhttp {\n  access_log off;\n";
        for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf += QByteArray("  ") + temp + "_temp_path " + dir.filePath(temp).toUtf8() + ";\n";
        conf += "  include " + dir.filePath("site.conf").toUtf8() + ";\n}\n";
#ifdef Q_OS_UNIX
        if (::geteuid() == 0) // workers would otherwise drop to an account that cannot enter the folder
            conf.prepend("user root;\n");
#endif
        TestEnv::writeFile(dir.filePath(u"nginx.conf"_s), conf);
        QProcess front;
        front.setProcessChannelMode(QProcess::MergedChannels);
        front.start(nginx, {u"-p"_s, dir.path(), u"-c"_s, dir.filePath("nginx.conf"), u"-e"_s,
                            dir.filePath("error.log")});
        const QString frontUrl = u"http://127.0.0.1:%1"_s.arg(port);
        QTRY_VERIFY2_WITH_TIMEOUT(
            testHttp("GET", frontUrl + u"/health"_s, {}, {}, 2000).status == 200,
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
        QCOMPARE(testHttp("GET", frontUrl + u"/health"_s).status, 200);

        upstream.reset();
        front.terminate();
        QVERIFY(front.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
