#include "services/FeedbackReport.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

QString sendAndCatch(const QString &message, const RelayConfig &relay, int timeoutMs = 15000)
{
    try {
        sendReport(message, QStringLiteral("bug"), QStringLiteral("major"), QString(), {}, QString(), relay,
                   timeoutMs);
    } catch (const ReportError &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QJsonObject fieldsByName(const QJsonObject &embed)
{
    QJsonObject byName;
    for (const QJsonValue &v : embed.value("fields").toArray()) {
        // A field that is not inline is left out, so the comparisons fail.
        if (v.toObject().value("inline").toBool())
            byName.insert(v.toObject().value("name").toString(), v.toObject().value("value"));
    }
    return byName;
}

} // namespace

class TestFeedbackReport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> relay;
    QString iconDir;

    RelayConfig config() const { return RelayConfig{relay->baseUrl(), QStringLiteral("T0ken_abc")}; }

    QList<FormPart> lastParts() const
    {
        const StubRequest request = relay->requestsTo(QStringLiteral("/report")).last();
        return parseMultipart(request.header("content-type"), request.body);
    }

    static QJsonObject embedOf(const QList<FormPart> &parts)
    {
        return QJsonDocument::fromJson(parts.first().body)
            .object()
            .value("embeds")
            .toArray()
            .first()
            .toObject();
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        relay = std::make_unique<StubServer>();
        relay->route(QStringLiteral("/report"), StubResponse::json({}, 204));
    }

    void cleanup()
    {
        if (!iconDir.isEmpty())
            QDir(iconDir).removeRecursively();
        iconDir.clear();
        relay.reset();
        env.reset();
    }

    void bugReport_withEverything_sendsPartsInOrder()
    {
        // The icon is read from the assets folder beside the program.
        iconDir = QCoreApplication::applicationDirPath() + QStringLiteral("/assets");
        TestEnv::writeFile(iconDir + QStringLiteral("/icons/tolvo_256.png"), "PNGICON");
        const QByteArray shot("\x89PNG\r\n\x1a\nshot\0bytes", 18);

        sendReport(QStringLiteral("  a\nb  "), QStringLiteral("bug"), QStringLiteral("blocker"),
                   QStringLiteral("Sam"), shot, QStringLiteral("log line 1\nlog line 2\n"), config());

        const StubRequest request = relay->requestsTo(QStringLiteral("/report")).last();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("authorization"), QByteArray("Bearer T0ken_abc"));
        QVERIFY(request.header("content-type").startsWith("multipart/form-data"));

        const QList<FormPart> parts = lastParts();
        QCOMPARE(parts.size(), 4);
        QCOMPARE(parts[0].disposition(), QByteArray("form-data; name=\"payload_json\""));
        QVERIFY(!parts[0].headers.contains("content-type"));
        QCOMPARE(parts[1].disposition(), QByteArray("form-data; name=\"icon\"; filename=\"tolvo_icon.png\""));
        QCOMPARE(parts[1].headers.value("content-type"), QByteArray("image/png"));
        QCOMPARE(parts[1].body, QByteArray("PNGICON"));
        QCOMPARE(parts[2].disposition(),
                 QByteArray("form-data; name=\"screenshot\"; filename=\"screenshot.png\""));
        QCOMPARE(parts[2].body, shot);
        QCOMPARE(parts[3].disposition(), QByteArray("form-data; name=\"log\"; filename=\"log.txt\""));
        QCOMPARE(parts[3].headers.value("content-type"), QByteArray("text/plain; charset=utf-8"));
        QCOMPARE(parts[3].body, QByteArray("log line 1\nlog line 2\n")); // untrimmed

        const QJsonObject embed = embedOf(parts);
        QCOMPARE(embed.value("description").toString(), QStringLiteral("> a\n> b"));
        QCOMPARE(embed.value("title").toString(), QString::fromUtf8("\xF0\x9F\x90\x9E Bug report"));
        QCOMPARE(embed.value("color").toInt(), 15245626);
        QCOMPARE(embed.value("author").toObject().value("name").toString(),
                 QString::fromUtf8("Tolvo v1.5.5  \xC2\xB7  Bug"));
        QCOMPARE(embed.value("author").toObject().value("icon_url").toString(),
                 QStringLiteral("attachment://tolvo_icon.png"));
        QCOMPARE(embed.value("thumbnail").toObject().value("url").toString(),
                 QStringLiteral("attachment://tolvo_icon.png"));
        QCOMPARE(embed.value("image").toObject().value("url").toString(),
                 QStringLiteral("attachment://screenshot.png"));
        QCOMPARE(embed.value("footer").toObject().value("text").toString(),
                 QString::fromUtf8("Tolvo \xC2\xB7 Send Feedback"));
        static const QRegularExpression utc(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"));
        QVERIFY(utc.match(embed.value("timestamp").toString()).hasMatch());

        const QJsonArray fields = embed.value("fields").toArray();
        QStringList names;
        for (const QJsonValue &f : fields)
            names << f.toObject().value("name").toString();
        QCOMPARE(names, QStringList({QString::fromUtf8("\xF0\x9F\x8F\xB7\xEF\xB8\x8F  Type"),
                                     QString::fromUtf8("\xF0\x9F\x91\xA4  From"),
                                     QString::fromUtf8("\xF0\x9F\x8C\xA1\xEF\xB8\x8F  Severity"),
                                     QString::fromUtf8("\xF0\x9F\x96\xA5\xEF\xB8\x8F  Platform"),
                                     QString::fromUtf8("\xF0\x9F\x93\xA6  Build"),
                                     QString::fromUtf8("\xF0\x9F\x93\x9C  Log")}));
        const QJsonObject byName = fieldsByName(embed);
        QCOMPARE(byName.value(names[0]).toString(), QStringLiteral("Bug"));
        QCOMPARE(byName.value(names[1]).toString(), QStringLiteral("Sam"));
        QCOMPARE(byName.value(names[2]).toString(), QString::fromUtf8("Blocking \xE2\x80\x94 can't use it"));
        QCOMPARE(byName.value(names[4]).toString(), QStringLiteral("Tolvo v1.5.5"));
        QCOMPARE(byName.value(names[5]).toString(), QStringLiteral("Attached: log.txt"));
    }

    void ideaReport_leavesOutWhatWasNotGiven()
    {
        sendReport(QStringLiteral("Dark mode for the chat"), QStringLiteral("idea"), QStringLiteral("minor"),
                   QString(), {}, QStringLiteral("  \n "), config());
        const QList<FormPart> parts = lastParts();
        QCOMPARE(parts.size(), 1); // no icon on disk, no screenshot, blank log
        const QJsonObject embed = embedOf(parts);
        QVERIFY(!embed.contains("image"));
        QCOMPARE(embed.value("title").toString(), QString::fromUtf8("\xF0\x9F\x92\xA1 Idea"));
        QCOMPARE(embed.value("color").toInt(), 6003952);
        const QJsonObject byName = fieldsByName(embed);
        QCOMPARE(byName.size(), 4);
        QVERIFY(!byName.contains(QString::fromUtf8("\xF0\x9F\x8C\xA1\xEF\xB8\x8F  Severity")));
        QCOMPARE(byName.value(QString::fromUtf8("\xF0\x9F\x91\xA4  From")).toString(),
                 QStringLiteral("Anonymous"));
        QCOMPARE(byName.value(QString::fromUtf8("\xF0\x9F\x8F\xB7\xEF\xB8\x8F  Type")).toString(),
                 QStringLiteral("Idea"));
    }

    void otherCategories_titlesAndColours_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("type");
        QTest::newRow("question") << "question" << QString::fromUtf8("\xE2\x9D\x93 Question") << 10189792
                                  << "Question";
        QTest::newRow("praise") << "praise" << QString::fromUtf8("\xF0\x9F\x92\x9A Praise") << 1880154
                                << "Praise";
        QTest::newRow("empty") << "" << QString::fromUtf8("\xF0\x9F\x90\x9E Bug report") << 15245626 << "Bug";
        QTest::newRow("unknown") << "rant" << QString::fromUtf8("\xF0\x9F\x90\x9E Bug report") << 15245626
                                 << "Rant";
    }

    void otherCategories_titlesAndColours()
    {
        QFETCH(QString, category);
        QFETCH(QString, title);
        QFETCH(int, colour);
        QFETCH(QString, type);
        sendReport(QString(), category, QStringLiteral("major"), QString(), {}, QString(), config());
        const QJsonObject embed = embedOf(lastParts());
        QCOMPARE(embed.value("title").toString(), title);
        QCOMPARE(embed.value("color").toInt(), colour);
        QCOMPARE(embed.value("description").toString(), QString());
        QCOMPARE(
            fieldsByName(embed).value(QString::fromUtf8("\xF0\x9F\x8F\xB7\xEF\xB8\x8F  Type")).toString(),
            type);
    }

    void failures_giveTheUserFacingMessages()
    {
        QCOMPARE(sendAndCatch(QStringLiteral("x"), RelayConfig{relay->baseUrl(), QString()}),
                 QStringLiteral("No report channel configured for this build."));
        QCOMPARE(sendAndCatch(QStringLiteral("x"), RelayConfig{QString(), QStringLiteral("t")}),
                 QStringLiteral("No report channel configured for this build."));

        relay->route(QStringLiteral("/report"), StubResponse::error(500));
        const QString serverError = sendAndCatch(QStringLiteral("x"), config());
        QVERIFY2(serverError.startsWith(QStringLiteral("Couldn't reach the report channel: ")),
                 qPrintable(serverError));
        QVERIFY(serverError.size() > 36);

        StubResponse slow = StubResponse::json({}, 204);
        slow.delayMs = 3000;
        relay->route(QStringLiteral("/report"), slow);
        QCOMPARE(sendAndCatch(QStringLiteral("x"), config(), 300),
                 QStringLiteral("Couldn't reach the report channel: timed out."));

        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const quint16 port = closed.serverPort();
        closed.close();
        const QString refused =
            sendAndCatch(QStringLiteral("x"),
                         RelayConfig{QStringLiteral("http://127.0.0.1:%1").arg(port), QStringLiteral("t")});
        QVERIFY2(refused.startsWith(QStringLiteral("Couldn't reach the report channel: ")),
                 qPrintable(refused));
        QVERIFY(!refused.contains(QStringLiteral("HTTP")));
    }

    void titleCase_upperCasesOnlyTheFirstCharacter()
    {
        QCOMPARE(titleCase(QStringLiteral("bug")), QStringLiteral("Bug"));
        QCOMPARE(titleCase(QStringLiteral("iDEA")), QStringLiteral("IDEA"));
        QCOMPARE(titleCase(QString()), QString());
        QCOMPARE(titleCase(QString::fromUtf8("\xC3\xA9t\xC3\xA9")), QString::fromUtf8("\xC3\x89t\xC3\xA9"));
    }
};

QTEST_GUILESS_MAIN(TestFeedbackReport)
#include "tst_feedback_report.moc"
