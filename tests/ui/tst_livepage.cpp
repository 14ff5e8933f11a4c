#include "UiHarness.h"
#include "app/League.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/common/BatchRunner.h"
#include "ui/pages/LivePage.h"

#include <QComboBox>

namespace {

FakeEvent today(const QString &id, const QString &time, const QString &state = u"pre"_s,
                const QString &score = u"0-0"_s)
{
    FakeEvent e{id, QDate::currentDate().toString(Qt::ISODate) + u'T' + time + u'Z', state};
    e.homeScore = score.section(u'-', 0, 0);
    e.awayScore = score.section(u'-', 1);
    e.detail = state == "in"_L1 ? u"55'"_s : QString();
    return e;
}

QStringList teams(const std::vector<MatchCard *> &cards)
{
    QStringList names;
    for (const MatchCard *card : cards)
        names.append(card->match.home_team);
    return names;
}

} // namespace

class TestLivePage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> h;

    LivePage *page() const { return h->page<LivePage>(u"live"_s); }
    std::vector<MatchCard *> cards() const { return page()->list()->cards(); }
    template <typename W> W *child(const QString &name = {}) const
    {
        return page()->findChild<W *>(name, Qt::FindDirectChildrenOnly);
    }
    QComboBox *leagueBox() const { return child<QComboBox>(); }
    QPushButton *predictAll() const { return child<QPushButton>(u"PrimaryButton"_s); }
    QTimer *refreshTimer() const { return child<QTimer>(); }
    QTimer *pumpTimer() const { return child<BatchRunner>()->timer(); }

private slots:
    void init()
    {
        // A small default font: the busy text of "Predict all" must still fit
        // once the window's style sheet applies its own.
        QApplication::setFont(QFont(QApplication::font().family(), 9));
        h = std::make_unique<UiHarness>();
    }
    void cleanup() { h.reset(); }

    void showsFixturesToPlayAndInPlay_notFinishedOnes()
    {
        h->routeScoreboard(u"eng.1"_s, {today("A", "18:00"), today("B", "12:00", "in", "1-1"),
                                        today("C", "11:00", "post", "2-0")});
        h->show(); // the live page is where the program starts
        QTRY_COMPARE_WITH_TIMEOUT(teams(cards()), (QStringList{"Home B", "Home A"}), WAIT_MS);
        QCOMPARE(child<QLabel>(u"Muted"_s)->text(), u"Auto-refreshing every minute"_s);
        MatchCard *inPlay = cards().front();
        QCOMPARE(inPlay->scoreLabel->text(), u"1 \u2013 1"_s);
        QCOMPARE(inPlay->liveBadge->text(), u"\u25CF LIVE  55'"_s);
        QCOMPARE(inPlay->leagueBadge->text(), u"PREMIER LEAGUE"_s);
        // Every tracked league was asked, once.
        for (const League &league : defaultLeagues())
            QCOMPARE(h->server.count(SITE + league.slug + u"/scoreboard"_s), 1);
        QTRY_COMPARE_WITH_TIMEOUT(h->server.count(u"/crests/1.png"_s), 1, WAIT_MS);
    }

    void switchingLeagueDuringAFetch_showsOnlyTheNewerLeague()
    {
        h->routeScoreboard(u"eng.1"_s, {today("E", "12:00")}, 600);
        FakeEvent german = today("D", "13:00");
        german.home = u"Bayern"_s;
        h->routeScoreboard(u"ger.1"_s, {german});
        h->show();
        leagueBox()->setCurrentIndex(leagueBox()->findData(u"ger.1"_s));
        QTRY_COMPARE_WITH_TIMEOUT(teams(cards()), QStringList{"Bayern"}, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(h->tasksDone(), WAIT_MS);
        QCOMPARE(teams(cards()), QStringList{"Bayern"});
    }

    void predictAll_queuesAtMostForty_skippingBusyAndPredictedCards()
    {
        QList<FakeEvent> events;
        for (int i = 0; i < 44; ++i)
            events.append(today(u"P%1"_s.arg(i, 2, 10, QLatin1Char('0')), u"%1:00"_s.arg(10 + i / 10)));
        h->routeScoreboard(u"eng.1"_s, events);
        h->show();
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), size_t(44), WAIT_MS);
        std::vector<MatchCard *> all = cards();
        all[0]->setPredicting(true);
        Prediction earlier;
        earlier.outcome = u"DRAW"_s;
        all[1]->showPrediction(earlier, QString());
        h->played->clear();

        QPushButton *button = predictAll();
        auto predictAll = [&](const QString &toast) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(h->lastToast(), toast);
            // One card per tick: quicker ticks for the test.
            pumpTimer()->setInterval(5);
            QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled() && h->tasksDone(), WAIT_MS);
        };
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(button->text(), u"  Predicting 40\u2026"_s);
        QVERIFY(!button->isEnabled());
        QCOMPARE(h->lastToast(), u"Predicting 40 fixtures \u2014 they'll fill in one by one."_s);
        QCOMPARE(h->sounds().first(), u"thinking"_s);
        // The busy text fits the button.
        QVERIFY2(button->sizeHint().width() <= button->width(),
                 qPrintable(u"needs %1 px, has %2"_s.arg(button->sizeHint().width()).arg(button->width())));
        pumpTimer()->setInterval(5);
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled() && h->tasksDone(), WAIT_MS);
        QCOMPARE(button->text(), u"  Predict all"_s);
        QCOMPARE(int(std::count_if(all.begin(), all.end(), [](MatchCard *c) { return c->hasPrediction; })),
                 41);
        QVERIFY(!all[0]->hasPrediction && all[41]->hasPrediction && !all[42]->hasPrediction);
        QCOMPARE(all[1]->prediction.outcome, u"DRAW"_s);
        QCOMPARE(h->context->history.all().size(), 40);

        // The rest, then the one that was busy, then nothing.
        predictAll(u"Predicting 2 fixtures \u2014 they'll fill in one by one."_s);
        QCOMPARE(h->context->history.all().size(), 42);
        all[0]->setPredicting(false);
        predictAll(u"Predicting 1 fixture \u2014 they'll fill in one by one."_s);
        QVERIFY(all[0]->hasPrediction);
        h->played->clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h->lastToast(), u"Nothing to predict \u2014 every fixture here is already done."_s);
        QCOMPARE(h->toastKinds().last(), u"info"_s);
        QCOMPARE(h->sounds(), QStringList{"error"});
    }

    void predictAll_skipsCardsThatWentAway_andAutoRefreshWaitsForBusyCards()
    {
        h->routeScoreboard(u"eng.1"_s, {today("A", "12:00"), today("B", "13:00")});
        h->show();
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), size_t(2), WAIT_MS);
        QTest::mouseClick(predictAll(), Qt::LeftButton);
        // A manual refresh replaces the cards while the queue waits.
        QTest::mouseClick(page()->refreshButton(), Qt::LeftButton);
        QCOMPARE(h->sounds().last(), u"refresh"_s);
        QTRY_COMPARE_WITH_TIMEOUT(cards().size(), size_t(2), WAIT_MS);
        pumpTimer()->setInterval(5);
        QTRY_COMPARE_WITH_TIMEOUT(predictAll()->text(), u"  Predict all"_s, WAIT_MS);
        QCOMPARE(h->server.count(MODEL), 0);

        // While a card is being predicted, the timer leaves the list alone.
        h->server.route(MODEL, quickReply(u"HOME"_s, 800));
        QPointer<MatchCard> busy = cards().front();
        QTest::mouseClick(busy->predictButton, Qt::LeftButton);
        QSignalSpy ticks(refreshTimer(), &QTimer::timeout);
        // Each refresh reads every scoreboard afresh; a period shorter than one
        // round of requests would keep the client's request spacing saturated.
        refreshTimer()->setInterval(300);
        // On a loaded machine the call may be done and its card replaced
        // between two looks.
        QTRY_VERIFY(ticks.count() >= 3 || !busy || !busy->predicting);
        if (busy && busy->predicting)
            QCOMPARE(cards().front(), busy.data());
        // Once it is done, the next tick refreshes, and the call survives it
        // on the fresh card.
        QTRY_VERIFY_WITH_TIMEOUT(busy.isNull() && !cards().empty() && cards().front()->hasPrediction,
                                 WAIT_MS);
        refreshTimer()->stop();
    }

    void finishedDay_andEmptyDay_sayWhy()
    {
        h->routeScoreboard(u"eng.1"_s, {today("C", "11:00", "post", "2-0")});
        h->show();
        QTRY_COMPARE_WITH_TIMEOUT(
            page()->list()->message(),
            u"Everything on today's card has finished \u2014 check History for results."_s, WAIT_MS);
        QCOMPARE(child<QLabel>(u"Muted"_s)->text(), u"Nothing scheduled today"_s);
        leagueBox()->setCurrentIndex(leagueBox()->findData(u"fra.1"_s));
        QTRY_COMPARE_WITH_TIMEOUT(page()->list()->message(),
                                  u"Nothing kicking off today in any of the tracked leagues."_s, WAIT_MS);
        QCOMPARE(h->sounds().last(), u"click"_s);
    }
};

QTEST_MAIN(TestLivePage)
#include "tst_livepage.moc"
