#include "UiHarness.h"
#include "ai/Pricing.h"
#include "ui/cards/CardActions.h"
#include "ui/cards/CrestLoader.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"

#include <QClipboard>

namespace {

Match fixture()
{
    Match m = futureFixture(u"401"_s);
    return m;
}

StubResponse reasoningReply(const QString &summary, const QStringList &factors, int delayMs = 0)
{
    const QJsonObject answer{{"summary", summary}, {"key_factors", QJsonArray::fromStringList(factors)}};
    return textReply(QString::fromUtf8(json(answer)), delayMs);
}

QColor crestColour(const QLabel *crest)
{
    return crest->pixmap().toImage().pixelColor(20, 20);
}

} // namespace

class TestCardActions : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> h;
    std::unique_ptr<MatchListView> list;

    MatchCard *wiredCard()
    {
        MatchCard *card = list->addMatch(fixture(), false);
        wireCard(h->context.get(), card);
        return card;
    }
    MatchCard *predicted()
    {
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS); }();
        return card;
    }

private slots:
    void init()
    {
        h = std::make_unique<UiHarness>();
        // Shown, so that its toasts are shown too; the live page's first
        // requests are done with before a test starts.
        h->show();
        QTRY_VERIFY_WITH_TIMEOUT(h->tasksDone(), WAIT_MS);
        h->server.clearRequests();
        h->played->clear();
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
        QCOMPARE(card->predictButton->text(), u"  Analyzing\u2026"_s);
        QVERIFY(!card->predictButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        QVERIFY(card->predictButton->isEnabled());
        QCOMPARE(card->predictionCard->scoreLabel->text(), u"2-1"_s);
        const QList<Prediction> stored = h->context->history.all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, card->prediction.id);
        QCOMPARE(stored.first().match_id, u"401"_s);
        QCOMPARE(stored.first().outcome, u"HOME"_s);
        QVERIFY(stored.first().cost_gbp > 0);
        QCOMPARE(h->sounds(), (QStringList{"thinking", "win_home"}));
        QCOMPARE(h->toasts(),
                 QStringList{u"Prediction ready: 2-1  \u00B7  "_s + formatGbp(stored.first().cost_gbp)});
        QCOMPARE(h->toastKinds(), QStringList{"success"});
    }

    void predict_failure_restoresTheButtonAndSaysWhy_data()
    {
        QTest::addColumn<bool>("withKey");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<int>("requests");
        QTest::newRow("model error") << true << "OpenAI request failed (HTTP 500)" << 1;
        QTest::newRow("no key") << false << "No OpenAI API key configured. Add one in Settings." << 0;
    }

    void predict_failure_restoresTheButtonAndSaysWhy()
    {
        QFETCH(bool, withKey);
        QFETCH(QString, toast);
        QFETCH(int, requests);
        h->server.route(MODEL, StubResponse::error(500));
        if (!withKey)
            h->context->settings.openai_api_key.clear();
        MatchCard *card = wiredCard();
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictButton->isEnabled(), WAIT_MS);
        QCOMPARE(card->predictButton->text(), u"  Predict with AI"_s);
        QVERIFY(!card->predictionCard && !card->hasPrediction);
        QCOMPARE(h->toasts(), QStringList{toast});
        QCOMPARE(h->toastKinds(), QStringList{"error"});
        QCOMPARE(h->sounds(), (QStringList{"thinking", "error"}));
        QVERIFY(h->context->history.all().isEmpty());
        QCOMPARE(h->server.count(MODEL), requests);
    }

    void reasoning_fillsThePanel_andUpdatesTheStoredEntryInPlace()
    {
        h->routeModel(quickReply(), reasoningReply(u"Arsenal's home form decides it."_s,
                                                   {u"Home form"_s, u"Chelsea injuries"_s}, 200));
        MatchCard *card = predicted();
        const Prediction quick = card->prediction;
        QTest::mouseClick(card->predictionCard->reasoningButton, Qt::LeftButton);
        QCOMPARE(card->predictionCard->reasoningButton->text(), u"  Thinking\u2026"_s);
        QVERIFY(!card->predictionCard->reasoningButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard->summaryLabel, WAIT_MS);
        QCOMPARE(card->predictionCard->summaryLabel->text(), u"Arsenal's home form decides it."_s);
        QCOMPARE(card->predictionCard->factorsLabel->text(),
                 u"\u2022  Home form\n\u2022  Chelsea injuries"_s);
        QVERIFY(!card->predictionCard->reasoningButton);
        QCOMPARE(h->sounds().last(), u"notify"_s);
        // The reasoning call was sent the context of the quick call.
        const StubRequest reasoningCall = h->server.requestsTo(MODEL).last();
        QVERIFY(!isQuickCall(reasoningCall));
        QVERIFY(reasoningCall.body.contains("Arsenal"));
        const QList<Prediction> stored = h->context->history.all();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, quick.id);
        QCOMPARE(stored.first().summary, u"Arsenal's home form decides it."_s);
        QCOMPARE(stored.first().key_factors.size(), 2);
        QVERIFY(stored.first().cost_gbp > quick.cost_gbp);
        QTest::mouseClick(card->predictionCard->copyButton, Qt::LeftButton);
        QVERIFY(QApplication::clipboard()->text().endsWith(u"\nArsenal's home form decides it."_s));
    }

    void reasoning_forAnEarlierCall_doesNotOverwriteANewerOne()
    {
        const StubResponse oldReasoning = reasoningReply(u"Old call."_s, {}, 600);
        h->routeModel(quickReply(), oldReasoning);
        MatchCard *card = predicted();
        const QString firstId = card->prediction.id;
        QTest::mouseClick(card->predictionCard->reasoningButton, Qt::LeftButton);
        // Predicted afresh while the reasoning of the first call is on its way.
        h->routeModel(quickReply(u"AWAY"_s), oldReasoning);
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(card->prediction.outcome, u"AWAY"_s, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(h->tasksDone(), WAIT_MS);
        QVERIFY(card->prediction.summary.isEmpty());
        QVERIFY(!card->predictionCard->summaryLabel);
        QVERIFY(card->predictionCard->reasoningButton && card->predictionCard->reasoningButton->isEnabled());
        for (const Prediction &p : h->context->history.all())
            QCOMPARE(p.summary, p.id == firstId ? u"Old call."_s : QString());
        QCOMPARE(h->context->history.all().first().id, card->prediction.id);
    }

    void crest_isFetchedOnceForManyCards_andThenReadFromTheCacheFile()
    {
        h->server.route(u"/crests/359.png"_s, delayed(StubResponse::json(pngBytes(Qt::red)), 300));
        const QString url = h->crestUrl(u"359"_s);
        MatchCard *a = wiredCard();
        MatchCard *b = wiredCard();
        loadCrest(h->context.get(), a, u"home"_s, url);
        loadCrest(h->context.get(), b, u"away"_s, url);
        {
            // A card cleared before its crest arrives: no crash.
            MatchListView other;
            loadCrest(h->context.get(), other.addMatch(fixture(), false), u"home"_s, url);
        }
        QTRY_COMPARE_WITH_TIMEOUT(crestColour(b->awayCrest), QColor(Qt::red), WAIT_MS);
        QCOMPARE(crestColour(a->homeCrest), QColor(Qt::red));
        QCOMPARE(TestEnv::readFile(crestCachePath(url)), pngBytes(Qt::red));

        // At once, from the file, with no further request; an empty address asks nothing.
        MatchCard *later = wiredCard();
        loadCrest(h->context.get(), later, u"home"_s, url);
        QCOMPARE(crestColour(later->homeCrest), QColor(Qt::red));
        loadCrest(h->context.get(), later, u"away"_s, QString());
        QVERIFY(h->tasksDone());
        QCOMPARE(h->server.requests().size(), 1);
    }
};

QTEST_MAIN(TestCardActions)
#include "tst_cardactions.moc"
