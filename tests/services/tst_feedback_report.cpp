#include "data/BlockingRequest.h"
#include "services/FeedbackReport.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestFeedbackReport : public QObject
{
    Q_OBJECT

private slots:
    void failures_sayWhyWithoutAChannel_andTimeOutAtTheCallsLimit()
    {
        TestEnv env;
        StubServer relay;
        auto failureOf = [&](const RelayConfig &config, int timeoutMs) {
            try {
                sendReport(u"x"_s, u"bug"_s, u"major"_s, QString(), {}, QString(), config, timeoutMs);
            } catch (const ReportError &e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        };
        const QString unconfigured = u"No report channel configured for this build."_s;
        QCOMPARE(failureOf(RelayConfig{relay.baseUrl(), QString()}, 15000), unconfigured);
        QCOMPARE(failureOf(RelayConfig{QString(), u"t"_s}, 15000), unconfigured);
        const QString refused = failureOf(RelayConfig{StubServer().baseUrl(), u"t"_s}, 15000);
        QVERIFY2(refused.startsWith(u"Couldn't reach the report channel: "_s), qPrintable(refused));
        StubResponse silent = StubResponse::json({}, 204);
        silent.delayMs = 600000;
        relay.route(u"/report"_s, silent);
        QCOMPARE(failureOf(RelayConfig{relay.baseUrl(), u"T0ken_abc"_s}, 300),
                 u"Couldn't reach the report channel: timed out."_s);
    }

    void preview_showsWhatWillBeSent()
    {
        const QString preview =
            reportPreview(u"It froze"_s, u"bug"_s, u"major"_s, u"Sam"_s, true, u"a log line"_s);
        QVERIFY(preview.contains(u"It froze"_s) && preview.contains(u"screenshot.png"_s));
        QVERIFY(preview.endsWith(u"log.txt:\na log line"_s));
    }

    // Last: once the program quits, no request starts any more.
    void afterQuit_nothingIsSent()
    {
        TestEnv env;
        StubServer relay;
        relay.route(u"/report"_s, StubResponse::json({}, 204));
        cancelBlockingRequests();
        QVERIFY(blockingRequestsCancelled());
        QVERIFY_THROWS_EXCEPTION(ReportError,
                                 sendReport(u"x"_s, u"bug"_s, u"major"_s, QString(), {}, QString(),
                                            RelayConfig{relay.baseUrl(), u"t"_s}, 15000));
        QCOMPARE(relay.count(u"/report"_s), 0);
    }
};

QTEST_GUILESS_MAIN(TestFeedbackReport)
#include "tst_feedback_report.moc"
