#include "PageHarness.h"
#include "app/Paths.h"
#include "data/EspnFixtures.h"
#include "data/FixtureQueries.h"
#include "model/HistoryStore.h"
#include "model/Prediction.h"
#include "ui/pages/AccuracyDashboard.h"
#include "ui/pages/HistoryPage.h"

#include <QComboBox>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {

const QString SUMMARY = QStringLiteral("/apis/site/v2/sports/soccer/all/summary");

struct Entry
{
    QString id;
    QString label;
    QString league;
    QString matchId;
    int confidence = 60;
    QString outcome = QStringLiteral("HOME");
    int home = -1; // actual score, -1 while unchecked
    int away = -1;
};

Prediction predictionOf(const Entry &e, int index)
{
    Prediction p;
    p.id = e.id;
    p.match_label = e.label;
    p.league = e.league;
    p.match_id = e.matchId;
    p.confidence = e.confidence;
    p.outcome = e.outcome;
    p.scoreline = QStringLiteral("2-1");
    p.summary = QStringLiteral("Arsenal should edge it");
    p.actual_home_score = e.home;
    p.actual_away_score = e.away;
    // Newest first, as the store keeps them.
    p.created_at = QDateTime(QDate(2025, 10, 1), QTime(12, 0)).addSecs(-3600 * index).toString(Qt::ISODate);
    return p;
}

void writeHistory(const QList<Entry> &entries)
{
    QJsonArray array;
    for (int i = 0; i < entries.size(); ++i)
        array.append(predictionOf(entries.at(i), i).toJson());
    TestEnv::writeFile(historyFilePath(), QJsonDocument(array).toJson());
}

QJsonArray storedHistory()
{
    return HistoryStore(historyDatabasePath()).toJsonArray();
}

QJsonObject storedEntry(const QString &id)
{
    for (const QJsonValue &v : storedHistory()) {
        if (v.toObject().value("id").toString() == id)
            return v.toObject();
    }
    return {};
}

// An all/summary reply for one Arsenal v Chelsea fixture.
StubResponse summary(const QString &state, const QString &home, const QString &away, const QString &detail)
{
    const QJsonObject event =
        fixtures::event("1", "2025-10-04T14:00Z",
                        {fixtures::competitor("home", fixtures::team("359", "Arsenal"), home),
                         fixtures::competitor("away", fixtures::team("363", "Chelsea"), away)},
                        fixtures::status(state, state == QLatin1String("post"), detail));
    const QJsonObject header{{"league", QJsonObject{{"name", "English Premier League"}}},
                             {"competitions", event.value("competitions")}};
    return StubResponse::json(QJsonDocument(QJsonObject{{"header", header}}).toJson(QJsonDocument::Compact));
}

QUrlQuery eventQuery(const QString &matchId)
{
    return QUrlQuery{{QStringLiteral("event"), matchId}};
}

} // namespace

class TestHistoryPage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;
    HistoryPage *page = nullptr;

    void open()
    {
        ui->open(QStringLiteral("history"));
        page = ui->page<HistoryPage>(QStringLiteral("history"));
        QVERIFY(page);
    }

    QWidget *list() const { return page->findChild<QWidget *>(QStringLiteral("HistoryList")); }

    // The row frames in display order, batch by batch (rows scheduled for
    // deletion are no longer in the layouts).
    QList<QFrame *> rows() const
    {
        QList<QFrame *> frames;
        QLayout *layout = list()->layout();
        for (int i = 0; i < layout->count(); ++i) {
            QWidget *chunk = layout->itemAt(i)->widget();
            if (!chunk || chunk->objectName() != QLatin1String("HistoryRows"))
                continue;
            for (int j = 0; j < chunk->layout()->count(); ++j) {
                auto *frame = qobject_cast<QFrame *>(chunk->layout()->itemAt(j)->widget());
                if (frame && frame->property("predictionId").isValid())
                    frames.append(frame);
            }
        }
        return frames;
    }

    QStringList rowIds() const
    {
        QStringList ids;
        for (QFrame *frame : rows())
            ids.append(frame->property("predictionId").toString());
        return ids;
    }

    QFrame *row(const QString &id) const
    {
        for (QFrame *frame : rows()) {
            if (frame->property("predictionId").toString() == id)
                return frame;
        }
        return nullptr;
    }

    // The hint shown in place of rows, if any.
    QString listHint() const
    {
        QLayout *layout = list()->layout();
        for (int i = 0; i < layout->count(); ++i) {
            auto *label = qobject_cast<QLabel *>(layout->itemAt(i)->widget());
            if (label && label->objectName() == QLatin1String("Muted"))
                return label->text();
        }
        return {};
    }

    QString subtitle() const
    {
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->property("role").toString() == QLatin1String("HistorySubtitle"))
                return label->text();
        }
        return {};
    }

    QString dashboardSubtitle() const
    {
        for (QLabel *label : page->findChildren<QLabel *>()) {
            if (label->property("role").toString() == QLatin1String("DashboardSubtitle"))
                return label->text();
        }
        return {};
    }

    QComboBox *statusCombo() const { return page->findChild<QComboBox *>(QStringLiteral("StatusFilter")); }
    QComboBox *leagueCombo() const { return page->findChild<QComboBox *>(QStringLiteral("LeagueFilter")); }
    QLineEdit *search() const { return page->findChild<QLineEdit *>(); }
    QPushButton *checkAllButton() const
    {
        return page->findChild<QPushButton *>(QStringLiteral("PrimaryButton"));
    }
    QPushButton *checkButton(const QString &id) const
    {
        QFrame *frame = row(id);
        return frame ? buttonWithText(frame, QStringLiteral("  Check result")) : nullptr;
    }
    QString badge(const QString &id) const
    {
        QFrame *frame = row(id);
        auto *label = frame ? frame->findChild<QLabel *>(QStringLiteral("ResultBadge")) : nullptr;
        return label ? label->text() : QString();
    }

    void selectStatus(const QString &key)
    {
        QComboBox *combo = statusCombo();
        combo->setCurrentIndex(combo->findData(key));
    }

    // A mixed history: confidence on both sides of the threshold, checked
    // right and wrong, unchecked, two leagues, one made-up fixture.
    void writeMixedHistory()
    {
        writeHistory({
            {"p1", "Arsenal vs Chelsea", "English Premier League", "701", 65},
            {"p2", "Real Madrid vs Barcelona", "Spanish LALIGA", "702", 64},
            {"p3", "Liverpool vs Everton", "English Premier League", "703", 80, "HOME", 2, 0},
            {"p4", "Sevilla vs Betis", "Spanish LALIGA", "704", 70, "AWAY", 1, 1},
            {"p5", "Wrexham vs Arsenal", "", "hyp-1-2", 55},
        });
    }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup()
    {
        page = nullptr;
        ui.reset();
    }

    void emptyStore_showsTheInvitation()
    {
        open();
        QCOMPARE(rows().size(), 0);
        QCOMPARE(listHint(), QStringLiteral("No predictions yet — go predict a fixture!"));
        QCOMPARE(subtitle(), HistoryPage::DefaultSubtitle);
        QCOMPARE(dashboardSubtitle(), QString());
        QCOMPARE(leagueCombo()->count(), 1);
        QCOMPARE(leagueCombo()->itemText(0), QStringLiteral("  All leagues"));
        QCOMPARE(statusCombo()->count(), 5);
        QCOMPARE(statusCombo()->itemText(1), QStringLiteral("  65%+ confidence"));

        // Nothing to narrow: the subtitle stays the default one.
        selectStatus(QStringLiteral("wrong"));
        QCOMPARE(subtitle(), HistoryPage::DefaultSubtitle);
        QCOMPARE(listHint(), QStringLiteral("No predictions yet — go predict a fixture!"));
    }

    void rows_followTheStoreOrder_withBadgesAndButtons()
    {
        writeMixedHistory();
        open();
        QCOMPARE(rowIds(), (QStringList{"p1", "p2", "p3", "p4", "p5"}));
        QCOMPARE(subtitle(), HistoryPage::DefaultSubtitle);
        QCOMPARE(badge(QStringLiteral("p3")), QStringLiteral("  Correct · FT 2-0  "));
        QCOMPARE(badge(QStringLiteral("p4")), QStringLiteral("  Wrong · FT 1-1  "));
        QVERIFY(checkButton(QStringLiteral("p1")));
        QVERIFY(!checkButton(QStringLiteral("p3")));
        // A made-up fixture has no result to look up.
        QVERIFY(!checkButton(QStringLiteral("p5")));
        QVERIFY(badge(QStringLiteral("p5")).isEmpty());
        QCOMPARE(dashboardSubtitle(), QStringLiteral("5 made · 2 checked"));
        QCOMPARE(leagueCombo()->count(), 3);
        QCOMPARE(leagueCombo()->itemData(1).toString(), QStringLiteral("English Premier League"));
        QCOMPARE(leagueCombo()->itemData(2).toString(), QStringLiteral("Spanish LALIGA"));
    }

    void statusFilter_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("all") << "all" << QStringList{"p1", "p2", "p3", "p4", "p5"};
        // 65 is confident, 64 is not.
        QTest::newRow("confident") << "confident" << QStringList{"p1", "p3", "p4"};
        QTest::newRow("unchecked") << "unchecked" << QStringList{"p1", "p2", "p5"};
        QTest::newRow("correct") << "correct" << QStringList{"p3"};
        QTest::newRow("wrong") << "wrong" << QStringList{"p4"};
    }

    void statusFilter()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, ids);
        writeMixedHistory();
        open();
        selectStatus(key);
        QCOMPARE(rowIds(), ids);
        QCOMPARE(subtitle(), key == QLatin1String("all")
                                 ? HistoryPage::DefaultSubtitle
                                 : QStringLiteral("Showing %1 of 5 predictions").arg(ids.size()));
        if (key != QLatin1String("all"))
            QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("click")});
        // The dashboard always counts the whole history.
        QCOMPARE(dashboardSubtitle(), QStringLiteral("5 made · 2 checked"));
    }

    void search_looksAtLabelAndLeague_notTheSummary()
    {
        writeMixedHistory();
        open();
        QTest::keyClicks(search(), QStringLiteral("ARS"));
        // The list follows once typing pauses.
        QCOMPARE(rowIds().size(), 5);
        QTRY_COMPARE(rowIds(), (QStringList{"p1", "p5"}));
        QCOMPARE(subtitle(), QStringLiteral("Showing 2 of 5 predictions"));
        // Typing refreshes silently.
        QVERIFY(ui->playedNames().isEmpty());

        search()->setText(QStringLiteral("  laliga "));
        QTRY_COMPARE(rowIds(), (QStringList{"p2", "p4"}));

        // Every summary mentions Arsenal; none is found through it.
        search()->setText(QStringLiteral("edge it"));
        QTRY_COMPARE(listHint(), QStringLiteral("No predictions match these filters."));
        QCOMPARE(rowIds(), QStringList());
        QCOMPARE(listHint(), QStringLiteral("No predictions match these filters."));
        QCOMPARE(subtitle(), QStringLiteral("Showing 0 of 5 predictions"));

        // Filters combine.
        search()->setText(QStringLiteral("e"));
        QTRY_COMPARE(rowIds().size(), 5);
        selectStatus(QStringLiteral("unchecked"));
        leagueCombo()->setCurrentIndex(leagueCombo()->findData(QStringLiteral("Spanish LALIGA")));
        QCOMPARE(rowIds(), QStringList{"p2"});
    }

    void leagueSelection_survivesARefresh_untilTheLeagueIsGone()
    {
        writeMixedHistory();
        open();
        leagueCombo()->setCurrentIndex(leagueCombo()->findData(QStringLiteral("Spanish LALIGA")));
        QCOMPARE(rowIds(), (QStringList{"p2", "p4"}));

        // A prediction made elsewhere shows up; the selection stays.
        Prediction added = predictionOf({"p0", "Girona vs Celta", "Spanish LALIGA", "700", 50}, -1);
        ui->context->history.add(added);
        page->refresh(false);
        QCOMPARE(leagueCombo()->currentData().toString(), QStringLiteral("Spanish LALIGA"));
        QCOMPARE(rowIds(), (QStringList{"p0", "p2", "p4"}));
        QCOMPARE(subtitle(), QStringLiteral("Showing 3 of 6 predictions"));

        // Once no prediction carries the league, "All leagues" again.
        ui->context->history.clear();
        ui->context->history.add(predictionOf({"q1", "Inter vs Milan", "Italian Serie A", "705"}, 0));
        page->refresh(false);
        QCOMPARE(leagueCombo()->currentIndex(), 0);
        QCOMPARE(leagueCombo()->currentData().toString(), ALL_LEAGUES);
        QCOMPARE(rowIds(), QStringList{"q1"});
        QCOMPARE(subtitle(), HistoryPage::DefaultSubtitle);
    }

    void clearFilters_resetsEverything_butOnlyWhenSomethingIsSet()
    {
        writeMixedHistory();
        open();
        const QList<QPushButton *> clear = page->findChildren<QPushButton *>(QStringLiteral("IconButton"));
        QPushButton *clearFilters = nullptr;
        for (QPushButton *b : clear) {
            if (b->toolTip() == QLatin1String("Clear all filters"))
                clearFilters = b;
        }
        QVERIFY(clearFilters);

        QFrame *first = rows().first();
        QTest::mouseClick(clearFilters, Qt::LeftButton);
        QVERIFY(ui->playedNames().isEmpty());
        QCOMPARE(rows().first(), first); // not rebuilt

        search()->setText(QStringLiteral("sevilla"));
        QTRY_COMPARE(rowIds(), QStringList{"p4"});
        selectStatus(QStringLiteral("wrong"));
        leagueCombo()->setCurrentIndex(2);
        QCOMPARE(rowIds(), QStringList{"p4"});
        ui->played->clear();
        QTest::mouseClick(clearFilters, Qt::LeftButton);
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("toggle")});
        QVERIFY(search()->text().isEmpty());
        QCOMPARE(statusCombo()->currentIndex(), 0);
        QCOMPARE(leagueCombo()->currentIndex(), 0);
        QCOMPARE(rowIds().size(), 5);
        QCOMPARE(subtitle(), HistoryPage::DefaultSubtitle);
    }

    void rowTexts_areEscaped_andShownAsWritten()
    {
        Entry odd{"x1", "Brighton <b>&</b> Hove Albion vs Spurs", "English Premier League", "706", 70};
        odd.outcome = QStringLiteral("<i>HOME</i>");
        writeHistory({odd});
        // A hand-edited file: the time stamp is whatever was typed.
        QJsonArray stored = QJsonDocument::fromJson(TestEnv::readFile(historyFilePath())).array();
        QJsonObject first = stored.first().toObject();
        first.insert("created_at", "2025-10-01 <script>");
        first.insert("scoreline", "2-1 & more");
        stored.replace(0, first);
        TestEnv::writeFile(historyFilePath(), QJsonDocument(stored).toJson());
        open();

        auto *label = row(QStringLiteral("x1"))->findChild<QLabel *>(QStringLiteral("HistoryRowText"));
        QVERIFY(!label->text().contains(QLatin1String("<b>&</b>")));
        QTextDocument shown;
        shown.setHtml(label->text());
        QCOMPARE(
            shown.toPlainText(),
            QStringLiteral("Brighton <b>&</b> Hove Albion vs Spurs\n<i>HOME</i> · predicted 2-1 & more · 70% "
                           "confidence · 2025-10-01 <script>"));
        // Only the match label is bold, and an unknown outcome gets the grey dot.
        QVERIFY(label->text().startsWith(QLatin1String("<b>Brighton &lt;b&gt;&amp;&lt;/b&gt; Hove")));
        QCOMPARE(outcomeColor(QStringLiteral("<i>HOME</i>")), QStringLiteral("#9AA3B2"));
    }

    void checkResult_updatesTheRowInPlace_andTheStore()
    {
        writeMixedHistory();
        ui->server->route(SUMMARY, eventQuery("701"), summary("post", "3", "1", "FT"));
        open();
        QFrame *before = row(QStringLiteral("p1"));
        const int position = rows().indexOf(before);

        QTest::mouseClick(checkButton(QStringLiteral("p1")), Qt::LeftButton);
        QTRY_COMPARE(badge(QStringLiteral("p1")), QStringLiteral("  Correct · FT 3-1  "));
        QCOMPARE(rows().indexOf(row(QStringLiteral("p1"))), position);
        QVERIFY(row(QStringLiteral("p1")) != before);
        QVERIFY(!checkButton(QStringLiteral("p1")));

        const QJsonObject stored = storedEntry(QStringLiteral("p1"));
        QCOMPARE(stored.value("actual_home_score").toInt(), 3);
        QCOMPARE(stored.value("actual_away_score").toInt(), 1);
        QCOMPARE(stored.value("summary").toString(), QStringLiteral("Arsenal should edge it"));
        QCOMPARE(dashboardSubtitle(), QStringLiteral("5 made · 3 checked"));
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("Correct call!"));
        QCOMPARE(ui->toasts->lastKind(), QStringLiteral("success"));
        QCOMPARE(ui->playedNames(), (QStringList{"click", "success"}));
        QCOMPARE(ui->server->count(SUMMARY), 1);

        // The checked row is not queued again by "Check all" before the next refresh.
        ui->server->route(SUMMARY, eventQuery("702"), summary("post", "0", "2", "FT"));
        ui->toasts->entries.clear();
        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QCOMPARE(ui->toasts->messages().value(0),
                 QStringLiteral("Checking 1 result — they'll fill in one by one."));
        QTRY_COMPARE(checkAllButton()->text(), QStringLiteral("  Check all"));
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("1 checked (0 correct, 1 wrong)"));
        QCOMPARE(ui->server->count(SUMMARY), 2);
        QCOMPARE(badge(QStringLiteral("p2")), QStringLiteral("  Wrong · FT 0-2  "));
    }

    void checkResult_thatFails_leavesTheRow_andSaysWhy()
    {
        writeMixedHistory();
        ui->server->route(SUMMARY, eventQuery("701"), summary("in", "1", "0", "67'"));
        open();
        const QJsonArray storedBefore = storedHistory();
        QPushButton *check = checkButton(QStringLiteral("p1"));
        QTest::mouseClick(check, Qt::LeftButton);
        // One check at a time per row.
        QVERIFY(!check->isEnabled());
        QTRY_COMPARE(ui->toasts->lastMessage(),
                     QStringLiteral("This match is still being played right now (67')."));
        QCOMPARE(ui->toasts->lastKind(), QStringLiteral("info"));
        QCOMPARE(checkButton(QStringLiteral("p1")), check);
        QVERIFY(check->isEnabled());
        QVERIFY(badge(QStringLiteral("p1")).isEmpty());
        QCOMPARE(storedHistory(), storedBefore);
    }

    void checkAll_checksOneAtATime_andSumsUp()
    {
        writeHistory({
            {"a", "Arsenal vs Chelsea", "English Premier League", "801", 70, "HOME"},
            {"b", "Made up vs Fixture", "", "hyp-5-6", 70},
            {"c", "Liverpool vs Everton", "English Premier League", "802", 70, "AWAY"},
            {"d", "Inter vs Milan", "Italian Serie A", "803", 70},
            {"e", "Roma vs Lazio", "Italian Serie A", "804", 70},
            {"f", "Already vs Checked", "Italian Serie A", "805", 70, "DRAW", 1, 1},
        });
        StubResponse right = summary("post", "2", "0", "FT");
        right.delayMs = 150;
        ui->server->route(SUMMARY, eventQuery("801"), right);
        ui->server->route(SUMMARY, eventQuery("802"), summary("post", "3", "1", "FT"));
        ui->server->route(SUMMARY, eventQuery("803"), summary("in", "0", "0", "HT"));
        // ESPN no longer knows the fixture.
        ui->server->route(SUMMARY, eventQuery("804"), StubResponse::json("{}"));
        open();

        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QVERIFY(!checkAllButton()->isEnabled());
        QCOMPARE(checkAllButton()->text(), QStringLiteral("  Checking 4…"));
        QCOMPARE(ui->toasts->messages().value(0),
                 QStringLiteral("Checking 4 results — they'll fill in one by one."));
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("thinking")});

        QTRY_VERIFY_WITH_TIMEOUT(checkAllButton()->isEnabled(), 15000);
        QCOMPARE(checkAllButton()->text(), QStringLiteral("  Check all"));
        QCOMPARE(ui->toasts->lastMessage(),
                 QStringLiteral("2 checked (1 correct, 1 wrong) · 2 not finished yet"));
        QCOMPARE(ui->toasts->lastKind(), QStringLiteral("success"));
        QCOMPARE(ui->playedNames().last(), QStringLiteral("success"));
        // Neither the made-up nor the checked row was asked about, and each
        // request started only after the previous reply.
        const QList<StubRequest> asked = ui->server->requestsTo(SUMMARY);
        QStringList events;
        for (const StubRequest &r : asked)
            events.append(r.query.queryItemValue("event"));
        QCOMPARE(events, (QStringList{"801", "802", "803", "804"}));
        QVERIFY(asked.at(1).receivedMs - asked.at(0).receivedMs >= 150);

        QCOMPARE(badge(QStringLiteral("a")), QStringLiteral("  Correct · FT 2-0  "));
        QCOMPARE(badge(QStringLiteral("c")), QStringLiteral("  Wrong · FT 3-1  "));
        QVERIFY(checkButton(QStringLiteral("d")));
        QVERIFY(checkButton(QStringLiteral("e")));
        QCOMPARE(storedEntry(QStringLiteral("c")).value("actual_home_score").toInt(), 3);
        QVERIFY(storedEntry(QStringLiteral("d")).value("actual_home_score").isNull());
        // Queued checks make no single-check toasts.
        QVERIFY(!ui->toasts->messages().contains(QStringLiteral("Correct call!")));
        QVERIFY(!ui->toasts->messages().contains(
            QStringLiteral("This match is still being played right now (HT).")));
    }

    void checkAll_onlyUnfinished_endsAsInformation()
    {
        writeHistory({{"a", "Arsenal vs Chelsea", "English Premier League", "801", 70}});
        ui->server->route(SUMMARY, eventQuery("801"), summary("pre", "0", "0", "Sat 3pm"));
        open();
        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QCOMPARE(ui->toasts->messages().value(0),
                 QStringLiteral("Checking 1 result — they'll fill in one by one."));
        QTRY_VERIFY(checkAllButton()->isEnabled());
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("1 not finished yet"));
        QCOMPARE(ui->toasts->lastKind(), QStringLiteral("info"));
    }

    void checkAll_withNothingToCheck_saysSo()
    {
        writeHistory({
            {"b", "Made up vs Fixture", "", "hyp-5-6", 70},
            {"f", "Already vs Checked", "Italian Serie A", "805", 70, "DRAW", 1, 1},
            {"g", "No id vs At all", "Italian Serie A", "", 70},
        });
        open();
        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QCOMPARE(ui->toasts->lastMessage(),
                 QStringLiteral("Nothing to check — every prediction shown here is already checked."));
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("error")});
        QVERIFY(checkAllButton()->isEnabled());
        QTest::qWait(100);
        QCOMPARE(ui->server->requestsTo(SUMMARY).size(), 0);
    }

    void checkAll_onlyTheRowsShown()
    {
        writeMixedHistory();
        ui->server->route(SUMMARY, eventQuery("702"), summary("post", "1", "1", "FT"));
        open();
        leagueCombo()->setCurrentIndex(leagueCombo()->findData(QStringLiteral("Spanish LALIGA")));
        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QTRY_VERIFY(checkAllButton()->isEnabled());
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("1 checked (0 correct, 1 wrong)"));
        QCOMPARE(ui->server->count(SUMMARY), 1);
        // A run that went mostly wrong ends on the neutral chime.
        QCOMPARE(ui->playedNames().last(), QStringLiteral("notify"));
    }

    void rowsRebuiltDuringARun_countAsNotFinished()
    {
        writeHistory({
            {"a", "Arsenal vs Chelsea", "English Premier League", "801", 70, "HOME"},
            {"c", "Liverpool vs Everton", "English Premier League", "802", 70},
            {"d", "Inter vs Milan", "Italian Serie A", "803", 70},
        });
        StubResponse slow = summary("post", "1", "0", "FT");
        slow.delayMs = 500;
        ui->server->route(SUMMARY, eventQuery("801"), slow);
        ui->server->route(SUMMARY, summary("post", "0", "0", "FT"));
        open();

        QTest::mouseClick(checkAllButton(), Qt::LeftButton);
        QTRY_COMPARE(ui->server->count(SUMMARY), 1);
        // Typing rebuilds every row while the first check is in flight.
        QTest::keyClicks(search(), QStringLiteral("a"));
        QTRY_VERIFY_WITH_TIMEOUT(checkAllButton()->isEnabled(), 10000);
        QCOMPARE(ui->toasts->lastMessage(),
                 QStringLiteral("1 checked (1 correct, 0 wrong) · 2 not finished yet"));
        QCOMPARE(ui->server->count(SUMMARY), 1);
        // The check in flight still reached the store.
        QCOMPARE(storedEntry(QStringLiteral("a")).value("actual_home_score").toInt(), 1);
        // Its old row was gone, so the new row shows the store's state only
        // after the next rebuild.
        page->refresh(false);
        QCOMPARE(badge(QStringLiteral("a")), QStringLiteral("  Correct · FT 1-0  "));
    }

    void largeHistory_rowsOnlyForWhatIsShown_filtersAndSearchAsQueries_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("status"); // index in the status filter
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("firstId");

        QTest::newRow("everything") << QString() << 0 << 3000 << QStringLiteral("r0");
        QTest::newRow("search") << QStringLiteral("club 2999 vs") << 0 << 1 << QStringLiteral("r2999");
        QTest::newRow("unchecked") << QString() << 2 << 1500 << QStringLiteral("r1");
        QTest::newRow("search and result")
            << QStringLiteral("vs club 11") << 3 << 56 << QStringLiteral("r10");
    }

    void largeHistory_rowsOnlyForWhatIsShown_filtersAndSearchAsQueries()
    {
        QFETCH(QString, search);
        QFETCH(int, status);
        QFETCH(int, shown);
        QFETCH(QString, firstId);

        // Every other prediction checked and right.
        QList<Entry> entries;
        for (int i = 0; i < 3000; ++i)
            entries.append({QStringLiteral("r%1").arg(i),
                            QStringLiteral("Club %1 vs Club %2 ").arg(i).arg(i + 1),
                            QStringLiteral("English Premier League"), QString::number(900 + i), 60, "HOME",
                            i % 2 ? -1 : 1, i % 2 ? -1 : 0});
        writeHistory(entries);
        open();
        QCOMPARE(dashboardSubtitle(), QStringLiteral("3000 made · 1500 checked"));
        QTest::keyClicks(this->search(), search);
        statusCombo()->setCurrentIndex(status);
        QTRY_COMPARE(subtitle(), shown == 3000 ? HistoryPage::DefaultSubtitle
                                               : QStringLiteral("Showing %1 of 3000 predictions").arg(shown));
        QCOMPARE(rowIds().value(0), firstId);
        const int built = int(rows().size());
        QCOMPARE(built, std::min(shown, int(HistoryPage::FirstBatchRows)));
        QCOMPARE(page->rowsPending(), shown > built);

        // Scrolling to the end of the list builds the next rows, in order.
        if (shown > built) {
            auto *scroll = page->findChild<QScrollArea *>();
            QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            QTRY_COMPARE(rows().size(), std::min(shown, built + int(HistoryPage::LaterBatchRows)));
            QCOMPARE(rowIds().indexOf(firstId), 0);
        }
    }

    void predictionsStoredElsewhere_appearWhileThePageIsShown()
    {
        writeMixedHistory();
        open();
        QCOMPARE(rowIds().size(), 5);
        // Another connection to the same file, as the command-line tool has.
        HistoryStore(historyDatabasePath())
            .add(predictionOf({"cli", "Arsenal vs Chelsea", "English Premier League", "801"}, -1));
        QTRY_COMPARE_WITH_TIMEOUT(rowIds().value(0), QStringLiteral("cli"), 3 * HistoryPage::WatchIntervalMs);
        QCOMPARE(rowIds().size(), 6);
    }

    void clearHistory_onlyAfterYes()
    {
        writeMixedHistory();
        open();
        QPushButton *clear = buttonWithText(page, QStringLiteral("  Clear history"));
        QVERIFY(clear);

        auto asked = answerMessageBox(QMessageBox::No);
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(*asked,
                 QStringLiteral("Clear history?|This deletes every saved prediction (including checked "
                                "results). This can't be undone."));
        QCOMPARE(storedHistory().size(), 5);
        QCOMPARE(rows().size(), 5);

        asked = answerMessageBox(QMessageBox::Yes);
        QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(!asked->isEmpty());
        QCOMPARE(storedHistory().size(), 0);
        QCOMPARE(rows().size(), 0);
        QCOMPARE(listHint(), QStringLiteral("No predictions yet — go predict a fixture!"));
        QCOMPARE(ui->toasts->lastMessage(), QStringLiteral("History cleared"));
        QCOMPARE(ui->playedNames(), QStringList{QStringLiteral("toggle")});
        QCOMPARE(dashboardSubtitle(), QString());

        // With nothing stored there is nothing to ask.
        asked = answerMessageBox(QMessageBox::Yes);
        QTest::mouseClick(clear, Qt::LeftButton);
        QTest::qWait(100);
        QVERIFY(asked->isEmpty());
    }

    void showingThePage_readsTheStoreAgain()
    {
        open();
        QCOMPARE(rows().size(), 0);
        ui->context->history.add(
            predictionOf({"n1", "Arsenal vs Chelsea", "English Premier League", "801"}, 0));
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("chat")),
                          Qt::LeftButton);
        QTest::mouseClick(ui->window->findChild<Sidebar *>()->buttonFor(QStringLiteral("history")),
                          Qt::LeftButton);
        QCOMPARE(rowIds(), QStringList{"n1"});
        QCOMPARE(dashboardSubtitle(), QStringLiteral("1 prediction made"));
    }
};

QTEST_MAIN(TestHistoryPage)
#include "tst_historypage.moc"
