#include "services/FeedbackReport.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "support/TestHttp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString TYPE = u"🏷️  Type"_s;

// The inline fields of the report's card by name.
QJsonObject fieldsByName(const QJsonObject &embed)
{
    QJsonObject byName;
    for (const QJsonValue &v : embed.value(u"fields"_s).toArray()) {
        if (v.toObject().value(u"inline"_s).toBool())
            byName.insert(v.toObject().value(u"name"_s).toString(), v.toObject().value(u"value"_s));
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

    RelayConfig config() const { return RelayConfig{relay->baseUrl(), u"T0ken_abc"_s}; }

    QList<FormPart> lastParts() const
    {
        const StubRequest request = relay->requestsTo(u"/report"_s).last();
        return parseMultipart(request.header("content-type"), request.body);
    }

    static QJsonObject embedOf(const QList<FormPart> &parts)
    {
        return QJsonDocument::fromJson(parts.first().body)[u"embeds"_s][0].toObject();
    }

    static QString failureOf(const QString &message, const RelayConfig &relay, int timeoutMs = 15000)
    {
        try {
            sendReport(message, u"bug"_s, u"major"_s, QString(), {}, QString(), relay, timeoutMs);
        } catch (const ReportError &e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        relay = std::make_unique<StubServer>();
        relay->route(u"/report"_s, StubResponse::json({}, 204));
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
        iconDir = QCoreApplication::applicationDirPath() + u"/assets"_s;
        TestEnv::writeFile(iconDir + u"/icons/tolvo_256.png"_s, "PNGICON");
        const QByteArray shot("\x89PNG\r\n\x1a\nshot\0bytes", 18);
        sendReport(u"  a\nb  "_s, u"bug"_s, u"blocker"_s, u"Sam"_s, shot, u"log line 1\nlog line 2\n"_s,
                   config());

        const StubRequest request = relay->requestsTo(u"/report"_s).last();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("authorization"), QByteArray("Bearer T0ken_abc"));
        const QList<FormPart> parts = lastParts();
        QCOMPARE(parts.size(), 4);
        QCOMPARE(parts[0].name(), QByteArray("payload_json"));
        QCOMPARE(parts[1].fileName(), QByteArray("tolvo_icon.png"));
        QCOMPARE(parts[1].body, QByteArray("PNGICON"));
        QCOMPARE(parts[2].fileName(), QByteArray("screenshot.png"));
        QCOMPARE(parts[2].body, shot);
        QCOMPARE(parts[3].fileName(), QByteArray("log.txt"));
        QCOMPARE(parts[3].headers.value("content-type"), QByteArray("text/plain; charset=utf-8"));
        QCOMPARE(parts[3].body, QByteArray("log line 1\nlog line 2\n")); // untrimmed

        const QJsonObject embed = embedOf(parts);
        QCOMPARE(embed.value(u"description"_s).toString(), u"> a\n> b"_s);
        QCOMPARE(embed.value(u"image"_s).toObject().value(u"url"_s).toString(),
                 u"attachment://screenshot.png"_s);
        const QJsonObject byName = fieldsByName(embed);
        QCOMPARE(byName.value(u"👤  From"_s).toString(), u"Sam"_s);
        QCOMPARE(byName.value(u"🌡️  Severity"_s).toString(), u"Blocking — can't use it"_s);
        QCOMPARE(byName.value(u"📜  Log"_s).toString(), u"Attached: log.txt"_s);
    }

    void ideaReport_leavesOutWhatWasNotGiven()
    {
        sendReport(u"Dark mode for the chat"_s, u"idea"_s, u"minor"_s, QString(), {}, u"  \n "_s, config());
        const QList<FormPart> parts = lastParts();
        QCOMPARE(parts.size(), 1); // no icon on disk, no screenshot, blank log
        const QJsonObject embed = embedOf(parts);
        QVERIFY(!embed.contains(u"image"_s));
        const QJsonObject byName = fieldsByName(embed);
        QVERIFY(!byName.contains(u"🌡️  Severity"_s));
        QCOMPARE(byName.value(u"👤  From"_s).toString(), u"Anonymous"_s);
        QCOMPARE(byName.value(TYPE).toString(), u"Idea"_s);
    }

    void category_namesTheType_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("title");
        QTest::newRow("question") << "question"
                                  << "Question" << u"❓ Question"_s;
        QTest::newRow("empty") << ""
                               << "Bug" << u"🐞 Bug report"_s;
        QTest::newRow("unknown") << "rant"
                                 << "Rant" << u"🐞 Bug report"_s;
        QTest::newRow("accented") << u"été"_s << u"Été"_s << u"🐞 Bug report"_s;
    }
    void category_namesTheType()
    {
        QFETCH(QString, category);
        sendReport(QString(), category, u"major"_s, QString(), {}, QString(), config());
        const QJsonObject embed = embedOf(lastParts());
        QTEST(embed.value(u"title"_s).toString(), "title");
        QTEST(fieldsByName(embed).value(TYPE).toString(), "type");
    }

    void failures_giveTheUserFacingMessages()
    {
        const QString unconfigured = u"No report channel configured for this build."_s;
        QCOMPARE(failureOf(u"x"_s, RelayConfig{relay->baseUrl(), QString()}), unconfigured);
        QCOMPARE(failureOf(u"x"_s, RelayConfig{QString(), u"t"_s}), unconfigured);

        relay->route(u"/report"_s, StubResponse::error(500));
        const QString serverError = failureOf(u"x"_s, config());
        QVERIFY2(serverError.startsWith(u"Couldn't reach the report channel: "_s) && serverError.size() > 36,
                 qPrintable(serverError));

        const QString refused = failureOf(u"x"_s, RelayConfig{StubServer().baseUrl(), u"t"_s});
        QVERIFY2(refused.startsWith(u"Couldn't reach the report channel: "_s), qPrintable(refused));

        StubResponse silent = StubResponse::json({}, 204);
        silent.delayMs = 600000;
        relay->route(u"/report"_s, silent);
        QCOMPARE(failureOf(u"x"_s, config(), 300), u"Couldn't reach the report channel: timed out."_s);
    }
};

QTEST_GUILESS_MAIN(TestFeedbackReport)
#include "tst_feedback_report.moc"
