#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"
#include "ui/common/Icons.h"
#include "ui/common/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QGraphicsEffect>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using ui_test::WAIT_MS;

namespace {

Match fixture()
{
    Match m;
    m.id = QStringLiteral("701");
    m.home_team = QStringLiteral("Arsenal");
    m.away_team = QStringLiteral("Chelsea");
    m.league = QStringLiteral("English Premier League");
    m.date = QStringLiteral("2031-03-08");
    m.time = QStringLiteral("15:00");
    m.venue = QStringLiteral("Emirates Stadium");
    m.state = QStringLiteral("pre");
    return m;
}

Prediction called(const QString &outcome = QStringLiteral("HOME"))
{
    Prediction p;
    p.outcome = outcome;
    p.home_win_pct = 55;
    p.draw_pct = 25;
    p.away_win_pct = 20;
    p.scoreline = QStringLiteral("2-1");
    p.confidence = 62;
    p.model = QStringLiteral("gpt-4o");
    return p;
}

// Whether any pixel of the icon has this colour.
bool iconHasColor(const QIcon &icon, const QColor &color)
{
    const QImage image = icon.pixmap(QSize(16, 16)).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 255 && pixel.rgb() == color.rgb())
                return true;
        }
    }
    return false;
}

bool sameIcon(const QIcon &icon, const QString &name)
{
    return icon.pixmap(QSize(16, 16)).toImage() == faPixmap(name, QColor(ICON_MUTED), 16).toImage();
}

int visiblePanels(const MatchCard &card)
{
    int n = 0;
    for (PredictionCard *panel : card.findChildren<PredictionCard *>()) {
        if (!panel->isHidden())
            ++n;
    }
    return n;
}

} // namespace

class TestMatchCard : public QObject
{
    Q_OBJECT

private slots:
    void init() { ensureUiResources(); }

    void notStarted_showsKickoffLineAndLeague()
    {
        MatchCard card(fixture(), false);
        QCOMPARE(card.leagueBadge->text(), QStringLiteral("ENGLISH PREMIER LEAGUE"));
        QVERIFY(!card.liveBadge && !card.scoreLabel);
        QCOMPARE(card.homeName->text(), QStringLiteral("Arsenal"));
        QCOMPARE(card.infoLabel->text(),
                 QStringLiteral("2031-03-08  \u00B7  15:00  \u00B7  Emirates Stadium"));
        QCOMPARE(card.predictButton->text(), QStringLiteral("  Predict with AI"));
        QVERIFY(card.predictButton->isEnabled());

        Match onlyVenue = fixture();
        onlyVenue.date.clear();
        onlyVenue.time.clear();
        onlyVenue.league.clear();
        MatchCard venueCard(onlyVenue, false);
        QCOMPARE(venueCard.infoLabel->text(), QStringLiteral("Emirates Stadium"));
        QVERIFY(!venueCard.leagueBadge);

        onlyVenue.venue.clear();
        MatchCard bare(onlyVenue, false);
        QCOMPARE(bare.infoLabel->text(), QStringLiteral("Kickoff time unconfirmed"));
    }

    void live_showsBadgeScoreAndStaysPredictable()
    {
        Match m = fixture();
        m.state = QStringLiteral("in");
        m.home_score = QStringLiteral("2");
        m.away_score = QStringLiteral("1");
        m.status_detail = QStringLiteral("67'");
        MatchCard card(m, false);
        QCOMPARE(card.liveBadge->text(), QStringLiteral("\u25CF LIVE  67'"));
        QCOMPARE(card.scoreLabel->text(), QStringLiteral("2 \u2013 1"));
        QCOMPARE(card.infoLabel->text(), QStringLiteral("Emirates Stadium"));
        QVERIFY(card.predictButton->isEnabled());

        m.status_detail.clear();
        m.venue.clear();
        m.league.clear();
        MatchCard quiet(m, false);
        QCOMPARE(quiet.liveBadge->text(), QStringLiteral("\u25CF LIVE"));
        QCOMPARE(quiet.infoLabel->text(), QStringLiteral("In progress"));
    }

    void finishedOrStaleScore_isConcludedAndCannotBePredicted()
    {
        Match stale = fixture();
        stale.home_score = QStringLiteral("3");
        stale.away_score = QStringLiteral("0");
        MatchCard card(stale, false);
        QCOMPARE(card.infoLabel->text(), QStringLiteral("FULL-TIME  \u00B7  3 \u2013 0"));
        QCOMPARE(card.predictButton->text(), QStringLiteral("  Match concluded"));
        QVERIFY(!card.predictButton->isEnabled());
        QCOMPARE(card.predictButton->toolTip(),
                 QStringLiteral("This match has finished \u2014 there's nothing left to predict."));
        QSignalSpy predicted(&card, &MatchCard::predictClicked);
        QTest::mouseClick(card.predictButton, Qt::LeftButton);
        QCOMPARE(predicted.count(), 0);
        // Nothing a later step does brings the button back.
        card.setPredicting(false);
        card.showPrediction(called(), QString());
        QVERIFY(!card.predictButton->isEnabled());
        QCOMPARE(card.predictButton->text(), QStringLiteral("  Match concluded"));

        Match post = fixture();
        post.state = QStringLiteral("post");
        QVERIFY(!MatchCard(post, false).predictButton->isEnabled());
    }

    void outsideText_isShownAsTyped()
    {
        Match m = fixture();
        m.home_team = QStringLiteral("<b>Bold</b> & Sons");
        m.away_team = QStringLiteral("<i>Away</i>");
        m.league = QStringLiteral("<u>League</u>");
        m.venue = QStringLiteral("<img src=x> Park & Ride");
        m.state = QStringLiteral("in");
        m.status_detail = QStringLiteral("<b>HT</b>");
        m.home_score = QStringLiteral("<1>");
        m.away_score = QStringLiteral("0");
        MatchCard card(m, false);
        Prediction p = called(QStringLiteral("<b>HOME</b>"));
        p.scoreline = QStringLiteral("<2>-1");
        p.model = QStringLiteral("<model>");
        p.summary = QStringLiteral("<script>alert(1)</script> & more");
        p.key_factors = {QStringLiteral("<b>form</b>")};
        card.showPrediction(p, QString());
        ui_test::verifyPlainLabels(&card);
        QCOMPARE(card.homeName->text(), QStringLiteral("<b>Bold</b> & Sons"));
        QCOMPARE(card.predictionCard->summaryLabel->text(),
                 QStringLiteral("<script>alert(1)</script> & more"));
        QCOMPARE(card.predictionCard->pickLabel->text(), QStringLiteral("  AI PICK: <b>HOME</b>  "));
    }

    void buttons_emitTheCardsSignalsAndStarFollowsFavorite()
    {
        MatchCard card(fixture(), false);
        QSignalSpy starred(&card, &MatchCard::favoriteClicked);
        QSignalSpy predicted(&card, &MatchCard::predictClicked);
        QTest::mouseClick(card.favButton, Qt::LeftButton);
        QTest::mouseClick(card.predictButton, Qt::LeftButton);
        QCOMPARE(starred.count(), 1);
        QCOMPARE(starred.first().first().value<Match>().id, QStringLiteral("701"));
        QCOMPARE(predicted.count(), 1);
        QCOMPARE(card.favButton->toolTip(), QStringLiteral("Toggle favorite"));

        QVERIFY(!iconHasColor(card.favButton->icon(), QColor(QStringLiteral("#F5B301"))));
        card.setFavorite(true);
        QVERIFY(card.favorite);
        QVERIFY(iconHasColor(card.favButton->icon(), QColor(QStringLiteral("#F5B301"))));
    }

    void predicting_thenPrediction_leavesOnePanelAndAReadyButton()
    {
        MatchCard card(fixture(), false);
        card.setReasoningLoading(true); // no panel yet: nothing happens
        QVERIFY(!card.isBusy());
        card.setPredicting(true);
        QCOMPARE(card.predictButton->text(), QStringLiteral("  Analyzing\u2026"));
        QVERIFY(!card.predictButton->isEnabled());
        QVERIFY(card.isBusy());

        card.showPrediction(called(), QStringLiteral("context one"));
        card.showPrediction(called(QStringLiteral("AWAY")), QStringLiteral("context two"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(visiblePanels(card), 1);
        QCOMPARE(card.findChildren<PredictionCard *>().size(), 1);
        QCOMPARE(card.predictionArea->count(), 1);
        QCOMPARE(card.prediction.outcome, QStringLiteral("AWAY"));
        QCOMPARE(card.context, QStringLiteral("context two"));
        QVERIFY(card.hasPrediction);
        QVERIFY(!card.predicting);
        QCOMPARE(card.predictButton->text(), QStringLiteral("  Predict with AI"));
        QVERIFY(card.predictButton->isEnabled());

        card.setReasoningLoading(true);
        QVERIFY(card.isBusy());
        QCOMPARE(card.predictionCard->reasoningButton->text(), QStringLiteral("  Thinking\u2026"));
        card.setReasoningLoading(false);
        QVERIFY(!card.isBusy());
        // The panel's fade-in cleans up after itself.
        QTRY_VERIFY_WITH_TIMEOUT(card.predictionCard->graphicsEffect() == nullptr, WAIT_MS);
    }

    void crest_replacesThePlaceholderButNotWithNothing()
    {
        MatchCard card(fixture(), false);
        const QImage placeholder = card.homeCrest->pixmap().toImage();
        QVERIFY(!placeholder.isNull());
        card.setCrest(QStringLiteral("home"), QPixmap());
        QCOMPARE(card.homeCrest->pixmap().toImage(), placeholder);

        QPixmap wide(200, 100);
        wide.fill(Qt::red);
        card.setCrest(QStringLiteral("home"), wide);
        QCOMPARE(card.homeCrest->pixmap().size(), QSize(40, 20));
        QCOMPARE(card.homeCrest->styleSheet(), QStringLiteral("border-radius: 20px;"));
        card.setCrest(QStringLiteral("anything else"), wide);
        QCOMPARE(card.awayCrest->pixmap().size(), QSize(40, 20));
        QCOMPARE(card.homeCrest->size(), QSize(40, 40));
    }

    void panel_showsTheCallWithClampedBars()
    {
        Prediction p = called(QStringLiteral("DRAW"));
        p.home_win_pct = 130;
        p.away_win_pct = -5;
        p.cost_gbp = 0.0012;
        p.created_at = QStringLiteral("2031-03-01T10:00:00");
        PredictionCard panel(p);
        QCOMPARE(panel.pickLabel->text(), QStringLiteral("  AI PICK: Draw  "));
        QCOMPARE(panel.scoreLabel->text(), QStringLiteral("2-1"));
        QCOMPARE(panel.findChild<QProgressBar *>(QStringLiteral("HomeProbability"))->value(), 100);
        QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("HomeProbabilityValue"))->text(),
                 QStringLiteral("130%"));
        QCOMPARE(panel.findChild<QProgressBar *>(QStringLiteral("AwayProbability"))->value(), 0);
        QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("AwayProbabilityValue"))->text(),
                 QStringLiteral("-5%"));
        QCOMPARE(panel.findChild<QProgressBar *>(QStringLiteral("ConfidenceBar"))->value(), 62);
        QCOMPARE(panel.confidenceValue->text(), QStringLiteral("62%"));
        QCOMPARE(panel.footerLabel->text(),
                 QStringLiteral("Model: gpt-4o \u00B7 \u00A30.0012 \u00B7 2031-03-01T10:00:00"));
        QCOMPARE(panel.reasoningButton->text(), QStringLiteral("  See reasoning"));

        Prediction bare = called(QStringLiteral("MAYBE"));
        bare.model.clear();
        PredictionCard plain(bare);
        QCOMPARE(plain.pickLabel->text(), QStringLiteral("  AI PICK: MAYBE  "));
        QCOMPARE(plain.footerLabel->text(), QStringLiteral("Model: gpt-4o-mini"));
    }

    void panel_reasoningReplacesTheButton_andIsCopied()
    {
        Prediction p = called();
        PredictionCard panel(p);
        QSignalSpy asked(&panel, &PredictionCard::reasoningRequested);
        QTest::mouseClick(panel.reasoningButton, Qt::LeftButton);
        QCOMPARE(asked.count(), 1);

        panel.prediction.summary = QStringLiteral("Arsenal are in form.");
        panel.showReasoning(panel.prediction.summary,
                            {QStringLiteral("Home form"), QStringLiteral("Injuries")});
        QVERIFY(!panel.reasoningButton);
        QCOMPARE(panel.summaryLabel->text(), QStringLiteral("Arsenal are in form."));
        QCOMPARE(panel.factorsLabel->text(), QStringLiteral("\u2022  Home form\n\u2022  Injuries"));
        // The reasoning sits between the buttons and the footer.
        QVERIFY(panel.mainLayout->indexOf(panel.summaryLabel) < panel.mainLayout->indexOf(panel.footerLabel));
        QVERIFY(panel.mainLayout->indexOf(panel.summaryLabel) <
                panel.mainLayout->indexOf(panel.factorsLabel));
        // A second reasoning replaces the first.
        panel.showReasoning(QStringLiteral("Changed."), {QStringLiteral("One")});
        QCOMPARE(panel.findChildren<QLabel *>(QStringLiteral("ReasoningSummary")).size(), 1);
        QCOMPARE(panel.summaryLabel->text(), QStringLiteral("Changed."));

        QTest::mouseClick(panel.copyButton, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral(
                     "AI PICK: Home win\nPredicted score: 2-1\n"
                     "Home 55% \u00B7 Draw 25% \u00B7 Away 20%\nConfidence: 62%\nArsenal are in form."));

        // A stored prediction with its reasoning shows it straight away.
        PredictionCard stored(panel.prediction);
        QVERIFY(!stored.reasoningButton);
        QCOMPARE(stored.summaryLabel->text(), QStringLiteral("Arsenal are in form."));
        QVERIFY(!stored.factorsLabel);
        QVERIFY(PredictionCard::copyText(called()).endsWith(QStringLiteral("Confidence: 62%")));
    }

    void copy_showsATickForAWhile()
    {
        PredictionCard panel(called());
        QVERIFY(sameIcon(panel.copyButton->icon(), QStringLiteral("copy")));
        QTest::mouseClick(panel.copyButton, Qt::LeftButton);
        QVERIFY(sameIcon(panel.copyButton->icon(), QStringLiteral("check")));
        QTRY_VERIFY_WITH_TIMEOUT(sameIcon(panel.copyButton->icon(), QStringLiteral("copy")), WAIT_MS);
    }

    void list_messageReplacesCardsAndIsKeptForReuse()
    {
        MatchListView list;
        list.resize(600, 800);
        list.show();
        MatchCard *first = list.addMatch(fixture(), false);
        Match other = fixture();
        other.id = QStringLiteral("702");
        MatchCard *second = list.addMatch(other, true);
        QCOMPARE(list.cards(), (std::vector<MatchCard *>{first, second}));
        QVERIFY(second->favorite);
        QVERIFY(list.viewport()->graphicsEffect()); // the batch fades in
        QTRY_VERIFY_WITH_TIMEOUT(list.viewport()->graphicsEffect() == nullptr, WAIT_MS);

        QPointer<MatchCard> gone(first);
        list.setMessage(QStringLiteral("Loading fixtures\u2026"));
        QVERIFY(list.cards().empty());
        QCOMPARE(list.message(), QStringLiteral("Loading fixtures\u2026"));
        QLabel *label = list.messageLabel();
        QTRY_VERIFY_WITH_TIMEOUT(gone.isNull(), WAIT_MS);
        list.setMessage(QStringLiteral("Something else"));
        QCOMPARE(list.messageLabel(), label);
        QVERIFY(label->isVisible());
        QCOMPARE(label->textFormat(), Qt::PlainText);

        // A new batch fades in again.
        list.addMatch(fixture(), false);
        QVERIFY(list.message().isEmpty());
        QVERIFY(list.viewport()->graphicsEffect());
    }

    void list_reload_bringsBackAPredictionShownBefore()
    {
        MatchListView list;
        MatchCard *card = list.addMatch(fixture(), false);
        Prediction p = called();
        p.summary = QStringLiteral("Reasoned.");
        card->showPrediction(p, QStringLiteral("the context"));
        list.clear();

        Match other = fixture();
        other.id = QStringLiteral("999");
        MatchCard *unrelated = list.addMatch(other, false);
        MatchCard *again = list.addMatch(fixture(), false);
        QVERIFY(!unrelated->hasPrediction);
        QVERIFY(again->hasPrediction);
        QCOMPARE(again->prediction.id, p.id);
        QCOMPARE(again->context, QStringLiteral("the context"));
        QCOMPARE(again->predictionCard->summaryLabel->text(), QStringLiteral("Reasoned."));
    }
};

QTEST_MAIN(TestMatchCard)
#include "tst_matchcard.moc"
