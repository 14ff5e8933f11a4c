#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"
#include "ui/common/Icons.h"

#include <QClipboard>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

Match fixture()
{
    Match m = futureFixture(u"701"_s);
    m.venue = u"Emirates Stadium"_s;
    return m;
}

Prediction called(const QString &outcome = u"HOME"_s)
{
    Prediction p;
    p.outcome = outcome;
    p.home_win_pct = 55;
    p.draw_pct = 25;
    p.away_win_pct = 20;
    p.scoreline = u"2-1"_s;
    p.confidence = 62;
    p.model = u"gpt-4o"_s;
    return p;
}

} // namespace

class TestMatchCard : public QObject
{
    Q_OBJECT

private slots:
    void init() { ensureUiResources(); }

    void infoLine_andPredictButton_followTheMatchState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("score"); // home-away, empty for none
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("bare"); // no date, time, venue or league
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("badge");
        QTest::addColumn<bool>("predictable");
        QTest::newRow("to play") << u"pre"_s << u""_s << u""_s << false
                                 << u"2031-03-08  \u00B7  15:00  \u00B7  Emirates Stadium"_s << u""_s << true;
        QTest::newRow("to play, nothing known")
            << u"pre"_s << u""_s << u""_s << true << u"Kickoff time unconfirmed"_s << u""_s << true;
        QTest::newRow("in play") << u"in"_s << u"2-1"_s << u"67'"_s << false << u"Emirates Stadium"_s
                                 << u"\u25CF LIVE  67'"_s << true;
        QTest::newRow("in play, nothing known")
            << u"in"_s << u"2-1"_s << u""_s << true << u"In progress"_s << u"\u25CF LIVE"_s << true;
        // A score on a fixture still listed as to play is a stale state.
        QTest::newRow("stale score") << u"pre"_s << u"3-0"_s << u""_s << false
                                     << u"FULL-TIME  \u00B7  3 \u2013 0"_s << u""_s << false;
        QTest::newRow("finished") << u"post"_s << u"1-1"_s << u"FT"_s << false
                                  << u"FULL-TIME  \u00B7  1 \u2013 1"_s << u""_s << false;
    }

    void infoLine_andPredictButton_followTheMatchState()
    {
        QFETCH(QString, state);
        QFETCH(QString, score);
        QFETCH(QString, detail);
        QFETCH(bool, bare);
        QFETCH(QString, info);
        QFETCH(QString, badge);
        QFETCH(bool, predictable);
        Match m = fixture();
        m.state = state;
        m.home_score = score.section('-', 0, 0);
        m.away_score = score.section('-', 1);
        m.status_detail = detail;
        if (bare)
            m.date = m.time = m.venue = m.league = QString();
        MatchCard card(m, false);
        QCOMPARE(card.infoLabel->text(), info);
        QCOMPARE(card.liveBadge ? card.liveBadge->text() : QString(), badge);
        QCOMPARE(bool(card.leagueBadge), !bare);
        QCOMPARE(card.predictButton->isEnabled(), predictable);
        QSignalSpy predicted(&card, &MatchCard::predictClicked);
        QTest::mouseClick(card.predictButton, Qt::LeftButton);
        QCOMPARE(predicted.count(), predictable ? 1 : 0);
        // Nothing a later step does brings the button of a finished match back.
        card.setPredicting(false);
        card.showPrediction(called(), QString());
        QCOMPARE(card.predictButton->isEnabled(), predictable);
        QCOMPARE(card.predictButton->text(), predictable ? u"  Predict with AI"_s : u"  Match concluded"_s);
    }

    void outsideText_isShownAsTyped()
    {
        Match m = fixture();
        m.home_team = u"<b>Bold</b> & Sons"_s;
        m.league = u"<u>League</u>"_s;
        m.venue = u"<img src=x> Park & Ride"_s;
        m.state = u"in"_s;
        m.status_detail = u"<b>HT</b>"_s;
        MatchCard card(m, false);
        Prediction p = called(u"<b>HOME</b>"_s);
        p.summary = u"<script>alert(1)</script> & more"_s;
        p.key_factors = {u"<b>form</b>"_s};
        p.market_home_pct = 50, p.market_draw_pct = 30, p.market_away_pct = 20;
        p.market_provider = u"<img src=\"/dev/zero\"> Book & Co"_s;
        card.showPrediction(p, QString());
        verifyPlainLabels(&card);
        QVERIFY(shownToolTip(labelWithRole(&card, u"MarketCaption"_s)->toolTip())
                    .endsWith(u"(<img src=\"/dev/zero\"> Book & Co)"_s));
        QCOMPARE(card.homeName->text(), u"<b>Bold</b> & Sons"_s);
        QCOMPARE(card.predictionCard->pickLabel->text(), u"  AI PICK: <b>HOME</b>  "_s);
    }

    void predicting_thenPredictions_leaveOnePanelAndAReadyButton()
    {
        MatchCard card(fixture(), false);
        card.setPredicting(true);
        QCOMPARE(card.predictButton->text(), u"  Analyzing…"_s);
        QVERIFY(!card.predictButton->isEnabled() && card.isBusy());
        card.showPrediction(called(), u"context one"_s);
        card.showPrediction(called(u"AWAY"_s), u"context two"_s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(card.findChildren<PredictionCard *>().size(), 1);
        QCOMPARE(card.context, u"context two"_s);
        QVERIFY(card.predictButton->isEnabled() && !card.isBusy());
        card.setReasoningLoading(true);
        QVERIFY(card.isBusy());
        // The panel's fade-in cleans up after itself.
        QTRY_VERIFY(card.predictionCard->graphicsEffect() == nullptr);
        // A crest replaces the placeholder, scaled to fit, but nothing does not.
        const QImage placeholder = card.homeCrest->pixmap().toImage();
        card.setCrest(u"home"_s, QPixmap());
        QCOMPARE(card.homeCrest->pixmap().toImage(), placeholder);
        QPixmap wide(200, 100);
        card.setCrest(u"away"_s, wide);
        QCOMPARE(card.awayCrest->pixmap().size(), QSize(40, 20));
    }

    void panel_showsTheCall_andItsReasoning()
    {
        Prediction p = called(u"DRAW"_s);
        p.home_win_pct = 130;
        p.away_win_pct = -5;
        p.cost_gbp = 0.0012;
        p.created_at = u"2031-03-01T10:00:00"_s;
        PredictionCard panel(p);
        QCOMPARE(panel.pickLabel->text(), u"  AI PICK: Draw  "_s);
        // Bars stay in range; the figures say what came.
        QCOMPARE(panel.findChild<QProgressBar *>(u"HomeProbability"_s)->value(), 100);
        QCOMPARE(panel.findChild<QLabel *>(u"HomeProbabilityValue"_s)->text(), u"130%"_s);
        QCOMPARE(panel.findChild<QProgressBar *>(u"AwayProbability"_s)->value(), 0);
        QCOMPARE(panel.footerLabel->text(), u"Model: gpt-4o · £0.0012 · 2031-03-01T10:00:00"_s);

        QSignalSpy asked(&panel, &PredictionCard::reasoningRequested);
        QTest::mouseClick(panel.reasoningButton, Qt::LeftButton);
        QCOMPARE(asked.count(), 1);
        panel.prediction.summary = u"Level."_s;
        panel.showReasoning(u"Level."_s, {u"Home form"_s, u"Injuries"_s});
        panel.showReasoning(u"Level."_s, {u"Home form"_s, u"Injuries"_s});
        QVERIFY(!panel.reasoningButton);
        QCOMPARE(panel.findChildren<QLabel *>(u"ReasoningSummary"_s).size(), 1);
        QCOMPARE(panel.factorsLabel->text(), u"•  Home form\n•  Injuries"_s);
        QVERIFY(panel.mainLayout->indexOf(panel.factorsLabel) < panel.mainLayout->indexOf(panel.footerLabel));
        QTest::mouseClick(panel.copyButton, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(),
                 u"AI PICK: Draw\nPredicted score: 2-1\nHome 130% · Draw 25% · "
                 "Away -5%\nConfidence: 62%\nLevel."_s);
        // A stored prediction with its reasoning shows it straight away.
        PredictionCard stored(panel.prediction);
        QVERIFY(!stored.reasoningButton);
        QCOMPARE(stored.summaryLabel->text(), u"Level."_s);
    }
};

QTEST_MAIN(TestMatchCard)
#include "tst_matchcard.moc"
