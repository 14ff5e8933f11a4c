#include "UiHarness.h"
#include "ai/Pricing.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace ui_test;

namespace {

Match fixture(const QString &crestBase = QString())
{
    Match m;
    m.id = QStringLiteral("401");
    m.home_team = QStringLiteral("Arsenal");
    m.away_team = QStringLiteral("Chelsea");
    m.league = QStringLiteral("English Premier League");
    m.date = QStringLiteral("2031-03-08");
    m.time = QStringLiteral("15:00");
    m.state = QStringLiteral("pre");
    if (!crestBase.isEmpty()) {
        m.home_badge = crestBase + QStringLiteral("/crests/359.png");
        m.away_badge = crestBase + QStringLiteral("/crests/363.png");
    }
    return m;
}

StubResponse delayed(StubResponse response, int ms)
{
    response.delayMs = ms;
    return response;
}

} // namespace

class TestCardActions : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Harness> h;
    std::unique_ptr<MatchListView> list;

    MatchCard *wiredCard(const Match &match = fixture())
    {
        MatchCard *card = list->addMatch(match, false);
        wireCard(h->context.get(), card);
        return card;
    }

    int quickCalls() const
    {
        int n = 0;
        for (const StubRequest &r : h->server.requestsTo(MODEL))
            n += isQuickCall(r) ? 1 : 0;
        return n;
    }

private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        list = std::make_unique<MatchListView>();
        list->resize(700, 900);
        list->show();
    }

    void cleanup()
    {
        list.reset();
        h.reset();
    }

    void predict_showsThePanel_storesIt_andAnnouncesIt()
    {
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QCOMPARE(card->predictButton->text(), QStringLiteral("  Analyzing\u2026"));
        QVERIFY(!card->predictButton->isEnabled());
        QCOMPARE(h->sounds(), QStringList{QStringLiteral("thinking")});

        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        QCOMPARE(card->predictButton->text(), QStringLiteral("  Predict with AI"));
        QVERIFY(card->predictButton->isEnabled());
        QCOMPARE(card->predictionCard->scoreLabel->text(), QStringLiteral("2-1"));
        QVERIFY(card->context.contains(QStringLiteral("Arsenal")));

        const QList<Prediction> stored = h->context->history.all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, card->prediction.id);
        QCOMPARE(stored.first().match_id, QStringLiteral("401"));
        QCOMPARE(stored.first().outcome, QStringLiteral("HOME"));
        QVERIFY(stored.first().cost_gbp > 0);

        QCOMPARE(h->sounds(), (QStringList{QStringLiteral("thinking"), QStringLiteral("win_home")}));
        QCOMPARE(h->toasts(), QStringList{QStringLiteral("Prediction ready: 2-1  \u00B7  ") +
                                          formatGbp(stored.first().cost_gbp)});
        QCOMPARE(h->toastKinds(), QStringList{QStringLiteral("success")});
    }

    void predict_failure_restoresTheButtonAndSaysWhy()
    {
        h->server.route(MODEL, StubResponse::error(500));
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictButton->isEnabled(), WAIT_MS);
        QCOMPARE(card->predictButton->text(), QStringLiteral("  Predict with AI"));
        QVERIFY(!card->predictionCard && !card->hasPrediction);
        QCOMPARE(h->toasts(), QStringList{QStringLiteral("OpenAI request failed (HTTP 500)")});
        QCOMPARE(h->toastKinds(), QStringList{QStringLiteral("error")});
        QCOMPARE(h->sounds(), (QStringList{QStringLiteral("thinking"), QStringLiteral("error")}));
        QVERIFY(h->context->history.all().isEmpty());
    }

    void predict_withoutAnyKey_tellsTheUserWhereToAddOne()
    {
        h->context->settings.openai_api_key.clear();
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(
            h->toasts(), QStringList{QStringLiteral("No OpenAI API key configured. Add one in Settings.")},
            WAIT_MS);
        QVERIFY(card->predictButton->isEnabled());
        QCOMPARE(h->server.count(MODEL), 0);
    }

    void predict_forACardClearedMeanwhile_isDropped()
    {
        h->server.route(MODEL, delayed(StubResponse::json(modelReply(quickAnswer())), 400));
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        list->setMessage(QStringLiteral("Loading fixtures\u2026"));
        QPointer<MatchCard> gone(card);
        QTRY_VERIFY_WITH_TIMEOUT(gone.isNull(), WAIT_MS);
        QTRY_COMPARE_WITH_TIMEOUT(h->server.count(MODEL), 1, WAIT_MS);
        QTest::qWait(700);
        QVERIFY(h->context->history.all().isEmpty());
        QVERIFY(h->toasts().isEmpty());
        QCOMPARE(h->sounds(), QStringList{QStringLiteral("thinking")});
    }

    void reasoning_fillsThePanel_andUpdatesTheStoredEntryInPlace()
    {
        h->routeModel(StubResponse::json(modelReply(quickAnswer())),
                      delayed(StubResponse::json(modelReply(reasoningAnswer(
                                  QStringLiteral("Arsenal's home form decides it."),
                                  {QStringLiteral("Home form"), QStringLiteral("Chelsea injuries")}))),
                              200));
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        const Prediction quick = card->prediction;

        QTest::mouseClick(card->predictionCard->reasoningButton, Qt::LeftButton);
        QCOMPARE(card->predictionCard->reasoningButton->text(), QStringLiteral("  Thinking\u2026"));
        QVERIFY(!card->predictionCard->reasoningButton->isEnabled());
        QVERIFY(card->isBusy());

        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard->summaryLabel, WAIT_MS);
        QCOMPARE(card->predictionCard->summaryLabel->text(),
                 QStringLiteral("Arsenal's home form decides it."));
        QCOMPARE(card->predictionCard->factorsLabel->text(),
                 QStringLiteral("\u2022  Home form\n\u2022  Chelsea injuries"));
        QVERIFY(!card->predictionCard->reasoningButton);
        QVERIFY(!card->isBusy());
        QCOMPARE(h->sounds().last(), QStringLiteral("notify"));

        // The reasoning call was sent the context of the quick call.
        const StubRequest reasoningCall = h->server.requestsTo(MODEL).last();
        QVERIFY(!isQuickCall(reasoningCall));
        QVERIFY(QString::fromUtf8(reasoningCall.body).contains(QStringLiteral("Arsenal")));

        const QList<Prediction> stored = h->context->history.all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, quick.id);
        QCOMPARE(stored.first().summary, QStringLiteral("Arsenal's home form decides it."));
        QCOMPARE(stored.first().key_factors.size(), 2);
        QVERIFY(stored.first().cost_gbp > quick.cost_gbp);

        QTest::mouseClick(card->predictionCard->copyButton, Qt::LeftButton);
        QVERIFY(
            QApplication::clipboard()->text().endsWith(QStringLiteral("\nArsenal's home form decides it.")));
    }

    void reasoning_failure_leavesTheButtonUsableAndTheEntryAlone()
    {
        h->routeModel(StubResponse::json(modelReply(quickAnswer())), StubResponse::error(429));
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        QTest::mouseClick(card->predictionCard->reasoningButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard->reasoningButton->isEnabled(), WAIT_MS);
        QCOMPARE(card->predictionCard->reasoningButton->text(), QStringLiteral("  See reasoning"));
        QVERIFY(!card->isBusy());
        QCOMPARE(h->sounds().last(), QStringLiteral("error"));
        QVERIFY(h->toasts().last().contains(QStringLiteral("429")));
        QCOMPARE(h->toastKinds().last(), QStringLiteral("error"));
        QVERIFY(h->context->history.all().first().summary.isEmpty());
    }

    void reasoning_forAnEarlierCall_doesNotOverwriteANewerOne()
    {
        h->routeModel(
            StubResponse::json(modelReply(quickAnswer())),
            delayed(StubResponse::json(modelReply(reasoningAnswer(QStringLiteral("Old call."), {}))), 600));
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        const QString firstId = card->prediction.id;
        QTest::mouseClick(card->predictionCard->reasoningButton, Qt::LeftButton);

        // Predicted afresh while the reasoning of the first call is on its way.
        h->server.route(MODEL, [](const StubRequest &r) {
            return isQuickCall(r)
                       ? StubResponse::json(
                             modelReply(quickAnswer(QStringLiteral("AWAY"), QStringLiteral("0-1"))))
                       : delayed(
                             StubResponse::json(modelReply(reasoningAnswer(QStringLiteral("Old call."), {}))),
                             600);
        });
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(card->prediction.outcome, QStringLiteral("AWAY"), WAIT_MS);
        const QString secondId = card->prediction.id;

        QTRY_COMPARE_WITH_TIMEOUT(h->sounds().count(QStringLiteral("notify")), 1, WAIT_MS);
        QVERIFY(card->prediction.summary.isEmpty());
        QVERIFY(!card->predictionCard->summaryLabel);
        QVERIFY(card->predictionCard->reasoningButton);
        QVERIFY(card->predictionCard->reasoningButton->isEnabled());
        for (const Prediction &p : h->context->history.all())
            QCOMPARE(p.summary, p.id == firstId ? QStringLiteral("Old call.") : QString());
        QCOMPARE(h->context->history.all().first().id, secondId);
    }

    void crest_secondLoadComesFromTheCacheFile()
    {
        MatchCard *first = wiredCard(fixture(h->server.baseUrl()));
        const QString url = first->match.home_badge;
        const QImage placeholder = first->homeCrest->pixmap().toImage();
        loadCrest(h->context.get(), first, QStringLiteral("home"), url);
        QTRY_VERIFY_WITH_TIMEOUT(first->homeCrest->pixmap().toImage() != placeholder, WAIT_MS);
        QCOMPARE(h->server.count(QStringLiteral("/crests/359.png")), 1);

        const QString hash =
            QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex());
        QCOMPARE(crestCachePath(url), crestCacheDir().filePath(hash));
        QCOMPARE(TestEnv::readFile(crestCachePath(url)), pngBytes(Qt::darkGreen));

        MatchCard *second = wiredCard(fixture(h->server.baseUrl()));
        loadCrest(h->context.get(), second, QStringLiteral("home"), url);
        // At once, from the file.
        QCOMPARE(second->homeCrest->pixmap().toImage().pixelColor(20, 20), QColor(Qt::darkGreen));
        QTest::qWait(100);
        QCOMPARE(h->server.count(QStringLiteral("/crests/359.png")), 1);

        // An empty URL asks nothing.
        loadCrest(h->context.get(), second, QStringLiteral("away"), QString());
        QCOMPARE(h->server.requests().size(), 1);
    }

    void crest_fromACacheFileWrittenEarlier_needsNoNetwork()
    {
        const QString url = h->server.baseUrl() + QStringLiteral("/crests/777.png");
        TestEnv::writeFile(crestCachePath(url), pngBytes(Qt::blue));
        MatchCard *card = wiredCard();
        loadCrest(h->context.get(), card, QStringLiteral("away"), url);
        QCOMPARE(card->awayCrest->pixmap().toImage().pixelColor(20, 20), QColor(Qt::blue));
        QCOMPARE(card->awayCrest->pixmap().size(), QSize(40, 40));
        QTest::qWait(100);
        QVERIFY(h->server.requests().isEmpty());

        // A broken cache file is fetched again and replaced.
        const QString broken = h->server.baseUrl() + QStringLiteral("/crests/778.png");
        TestEnv::writeFile(crestCachePath(broken), "not an image");
        loadCrest(h->context.get(), card, QStringLiteral("home"), broken);
        QTRY_COMPARE_WITH_TIMEOUT(card->homeCrest->pixmap().toImage().pixelColor(20, 20),
                                  QColor(Qt::darkGreen), WAIT_MS);
        QCOMPARE(TestEnv::readFile(crestCachePath(broken)), pngBytes(Qt::darkGreen));
    }

    void crest_sharedByManyCards_isFetchedOnce_andOutlivesAClearedList()
    {
        StubResponse slow = body(pngBytes(Qt::red), "image/png", 300);
        h->server.route(QStringLiteral("/crests/359.png"), slow);
        const QString url = h->server.baseUrl() + QStringLiteral("/crests/359.png");
        MatchCard *a = wiredCard();
        MatchCard *b = wiredCard();
        loadCrest(h->context.get(), a, QStringLiteral("home"), url);
        loadCrest(h->context.get(), b, QStringLiteral("away"), url);
        QTRY_COMPARE_WITH_TIMEOUT(b->awayCrest->pixmap().toImage().pixelColor(20, 20), QColor(Qt::red),
                                  WAIT_MS);
        QCOMPARE(a->homeCrest->pixmap().toImage().pixelColor(20, 20), QColor(Qt::red));
        QCOMPARE(h->server.count(QStringLiteral("/crests/359.png")), 1);

        // A crest arriving after its card went: cached, not shown, no crash.
        const QString late = h->server.baseUrl() + QStringLiteral("/crests/late.png");
        h->server.route(QStringLiteral("/crests/late.png"), slow);
        MatchCard *c = wiredCard();
        loadCrest(h->context.get(), c, QStringLiteral("home"), late);
        list->setMessage(QStringLiteral("gone"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(crestCachePath(late)), WAIT_MS);
    }

    void crest_thatIsNotAnImage_leavesThePlaceholderAndNoFile()
    {
        h->server.route(QStringLiteral("/crests/html.png"), body("<html>oops</html>", "text/html"));
        h->server.route(QStringLiteral("/crests/404.png"), StubResponse::error(404));
        MatchCard *card = wiredCard();
        const QImage placeholder = card->homeCrest->pixmap().toImage();
        const QString html = h->server.baseUrl() + QStringLiteral("/crests/html.png");
        const QString missing = h->server.baseUrl() + QStringLiteral("/crests/404.png");
        loadCrest(h->context.get(), card, QStringLiteral("home"), html);
        loadCrest(h->context.get(), card, QStringLiteral("away"), missing);
        QTRY_COMPARE_WITH_TIMEOUT(h->server.requests().size(), 2, WAIT_MS);
        QTest::qWait(200);
        QCOMPARE(card->homeCrest->pixmap().toImage(), placeholder);
        QVERIFY(!QFile::exists(crestCachePath(html)));
        QVERIFY(!QFile::exists(crestCachePath(missing)));
    }
};

QTEST_MAIN(TestCardActions)
#include "tst_cardactions.moc"
