#include "UiHarness.h"
#include "model/HistoryStore.h"
#include "model/Prediction.h"
#include "ui/pages/HistoryPage.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QUrlQuery>

namespace {

const QString SUMMARY = SITE + u"all/summary"_s;

struct Entry
{
    QString id, label, league, matchId;
    int confidence = 70;
    QString outcome = u"HOME"_s;
    int home = -1; // actual score, -1 while unchecked
    int away = -1;
};

Prediction predictionOf(const Entry &e, int index = 0)
{
    Prediction p;
    p.id = e.id;
    p.match_label = e.label;
    p.league = e.league;
    p.match_id = e.matchId;
    p.confidence = e.confidence;
    p.outcome = e.outcome;
    p.scoreline = u"2-1"_s;
    p.summary = u"Arsenal should edge it"_s;
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
    TestEnv::writeFile(historyFilePath(), json(array));
}

// Confidence on both sides of 65, checked right and wrong, unchecked, two
// leagues, one made-up fixture.
void writeMixedHistory()
{
    writeHistory({{"p1", "Arsenal vs Chelsea", "English Premier League", "701", 65},
                  {"p2", "Atlético Madrid vs Barcelona", "Spanish LALIGA", "702", 64},
                  {"p3", "Liverpool vs Everton", "English Premier League", "703", 80, "HOME", 2, 0},
                  {"p4", "Sevilla vs Betis", "Spanish LALIGA", "704", 70, "AWAY", 1, 1},
                  {"p5", "Wrexham vs Arsenal", "", "hyp-1-2", 55}});
}

QJsonArray storedHistory()
{
    return HistoryStore(historyDatabasePath()).toJsonArray();
}

QJsonValue stored(const QString &id, const char *key)
{
    for (const QJsonValue &v : storedHistory()) {
        if (v["id"].toString() == id)
            return v[QLatin1String(key)];
    }
    return {};
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
        ui->open(u"history"_s);
        page = ui->page<HistoryPage>(u"history"_s);
    }
    // The summary reply of ESPN for the fixture `matchId`, final score "h-a".
    void routeResult(const QString &matchId, const QString &state, const QString &score, int delayMs = 0)
    {
        FakeEvent e{matchId, u"2025-10-04T14:00Z"_s, state};
        e.homeScore = score.section(u'-', 0, 0);
        e.awayScore = score.section(u'-', 1);
        e.detail = state == "in"_L1 ? u"67'"_s : u"FT"_s;
        const QJsonObject header{{"league", QJsonObject{{"name", "English Premier League"}}},
                                 {"competitions", ui->event(e).value("competitions"_L1)}};
        const StubResponse reply =
            delayed(StubResponse::json(json(QJsonObject{{"header", header}})), delayMs);
        if (matchId.isEmpty())
            ui->server.route(SUMMARY, reply);
        else
            ui->server.route(SUMMARY, QUrlQuery{{u"event"_s, matchId}}, reply);
    }

    // The rows in display order (rows on their way out are no longer in the layouts).
    QList<QWidget *> rows() const
    {
        QList<QWidget *> list;
        QLayout *layout = page->findChild<QWidget *>(u"HistoryList"_s)->layout();
        for (int i = 0; i < layout->count(); ++i) {
            QWidget *chunk = layout->itemAt(i)->widget();
            for (int j = 0; chunk && chunk->objectName() == "HistoryRows"_L1 && j < chunk->layout()->count();
                 ++j) {
                if (QWidget *row = chunk->layout()->itemAt(j)->widget();
                    row->property("predictionId").isValid())
                    list.append(row);
            }
        }
        return list;
    }
    QStringList rowIds() const
    {
        QStringList ids;
        for (QWidget *row : rows())
            ids.append(row->property("predictionId").toString());
        return ids;
    }
    QWidget *row(const QString &id) const { return rows().value(rowIds().indexOf(id)); }
    // The hint shown in place of rows, if any.
    QString listHint() const
    {
        QLayout *layout = page->findChild<QWidget *>(u"HistoryList"_s)->layout();
        for (int i = 0; i < layout->count(); ++i) {
            auto *label = qobject_cast<QLabel *>(layout->itemAt(i)->widget());
            if (label && label->objectName() == "Muted"_L1)
                return label->text();
        }
        return {};
    }
    QString subtitle() const { return labelWithRole(page, u"HistorySubtitle"_s)->text(); }
    QString dashboard() const { return labelWithRole(page, u"DashboardSubtitle"_s)->text(); }
    QComboBox *combo(const QString &name) const { return page->findChild<QComboBox *>(name); }
    void choose(const QString &name, const QString &data)
    {
        combo(name)->setCurrentIndex(combo(name)->findData(data));
    }
    QLineEdit *search() const { return page->findChild<QLineEdit *>(); }
    QPushButton *checkAll() const { return page->findChild<QPushButton *>(u"PrimaryButton"_s); }
    QPushButton *checkButton(const QString &id) const
    {
        return row(id) ? buttonWithText(row(id), u"  Check result"_s) : nullptr;
    }
    QString badge(const QString &id) const
    {
        QLabel *label = row(id) ? row(id)->findChild<QLabel *>(u"ResultBadge"_s) : nullptr;
        return label ? label->text() : QString();
    }
    QStringList askedEvents() const
    {
        QStringList events;
        for (const StubRequest &r : ui->server.requestsTo(SUMMARY))
            events.append(r.query.queryItemValue(u"event"_s));
        return events;
    }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup() { ui.reset(); }

    void filters_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("league");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("all") << u"all"_s << u""_s << u""_s << QStringList{"p1", "p2", "p3", "p4", "p5"};
        QTest::newRow("unchecked") << u"unchecked"_s << u""_s << u""_s << QStringList{"p1", "p2", "p5"};
        QTest::newRow("correct") << u"correct"_s << u""_s << u""_s << QStringList{"p3"};
        QTest::newRow("wrong") << u"wrong"_s << u""_s << u""_s << QStringList{"p4"};
        QTest::newRow("league") << u"all"_s << u"Spanish LALIGA"_s << u""_s << QStringList{"p2", "p4"};
        QTest::newRow("confident") << u"confident"_s << u""_s << u""_s << QStringList{"p1", "p3", "p4"};
        QTest::newRow("label") << u"all"_s << u""_s << u"ARS"_s << QStringList{"p1", "p5"};
        QTest::newRow("beyond ASCII") << u"all"_s << u""_s << u"ATLÉTICO"_s << QStringList{"p2"};
        QTest::newRow("league's name") << u"all"_s << u""_s << u"spanish"_s << QStringList{"p2", "p4"};
        // Every summary says "edge it"; none is found through it.
        QTest::newRow("not the summary") << u"all"_s << u""_s << u"edge it"_s << QStringList{};
        QTest::newRow("not a pattern") << u"all"_s << u""_s << u"%"_s << QStringList{};
        QTest::newRow("combined") << u"unchecked"_s << u"Spanish LALIGA"_s << u"e"_s << QStringList{"p2"};
    }

    void filters()
    {
        QFETCH(QString, status);
        QFETCH(QString, league);
        QFETCH(QString, text);
        QFETCH(QStringList, ids);
        writeMixedHistory();
        open();
        choose(u"StatusFilter"_s, status);
        if (!league.isEmpty())
            choose(u"LeagueFilter"_s, league);
        QTest::keyClicks(search(), text);
        // The list follows once typing pauses.
        QTRY_COMPARE(rowIds(), ids);
        QCOMPARE(subtitle(), ids.size() == 5 ? HistoryPage::DefaultSubtitle
                                             : u"Showing %1 of 5 predictions"_s.arg(ids.size()));
        if (ids.isEmpty())
            QCOMPARE(listHint(), u"No predictions match these filters."_s);
        // The dashboard always counts the whole history.
        QCOMPARE(dashboard(), u"5 made · 2 checked"_s);
    }

    void checkResult_updatesTheRowAndTheStore_andIsNotQueuedAgain()
    {
        writeMixedHistory();
        routeResult(u"701"_s, u"in"_s, u"1-0"_s);
        routeResult(u"702"_s, u"post"_s, u"0-2"_s);
        open();
        QCOMPARE(badge(u"p4"_s), u"  Wrong · FT 1-1  "_s);
        // A made-up fixture has no result to look up.
        QVERIFY(!checkButton(u"p5"_s));
        const QJsonArray before = storedHistory();
        QPushButton *check = checkButton(u"p1"_s);
        QTest::mouseClick(check, Qt::LeftButton);
        // One check at a time per row.
        QVERIFY(!check->isEnabled());
        QTRY_COMPARE(ui->toasts(), QStringList{"This match is still being played right now (67')."});
        QVERIFY(check->isEnabled() && badge(u"p1"_s).isEmpty());
        QCOMPARE(storedHistory(), before);

        routeResult(u"701"_s, u"post"_s, u"3-1"_s);
        QTest::mouseClick(check, Qt::LeftButton);
        QTRY_COMPARE(badge(u"p1"_s), u"  Correct · FT 3-1  "_s);
        QCOMPARE(rowIds().indexOf(u"p1"_s), 0);
        QVERIFY(!checkButton(u"p1"_s));
        QCOMPARE(stored(u"p1"_s, "actual_home_score").toInt(), 3);
        QCOMPARE(stored(u"p1"_s, "actual_away_score").toInt(), 1);
        QCOMPARE(stored(u"p1"_s, "summary").toString(), u"Arsenal should edge it"_s);
        QCOMPARE(dashboard(), u"5 made · 3 checked"_s);
        QCOMPARE(ui->lastToast(), u"Correct call!"_s);
        QCOMPARE(ui->toastKinds(), (QStringList{"info", "success"}));
        QCOMPARE(ui->sounds().last(), u"success"_s);

        QTest::mouseClick(checkAll(), Qt::LeftButton);
        QCOMPARE(ui->lastToast(), u"Checking 1 result — they'll fill in one by one."_s);
        QTRY_VERIFY(checkAll()->isEnabled());
        QCOMPARE(ui->lastToast(), u"1 checked (0 correct, 1 wrong)"_s);
        QCOMPARE(askedEvents(), (QStringList{"701", "701", "702"}));
    }

    void checkAll_checksOneAtATime_andSumsUp()
    {
        writeHistory({{"a", "Arsenal vs Chelsea", "Premier", "801", 70, "HOME"},
                      {"b", "Made up vs Fixture", "", "hyp-5-6"},
                      {"c", "Liverpool vs Everton", "Premier", "802", 70, "AWAY"},
                      {"d", "Inter vs Milan", "Serie A", "803"},
                      {"e", "Roma vs Lazio", "Serie A", "804"},
                      {"f", "Already vs Checked", "Serie A", "805", 70, "DRAW", 1, 1}});
        routeResult(u"801"_s, u"post"_s, u"2-0"_s, 150);
        routeResult(u"802"_s, u"post"_s, u"3-1"_s);
        routeResult(u"803"_s, u"in"_s, u"0-0"_s);
        // ESPN no longer knows the fixture.
        ui->server.route(SUMMARY, QUrlQuery{{u"event"_s, u"804"_s}}, StubResponse::json("{}"));
        open();
        QTest::mouseClick(checkAll(), Qt::LeftButton);
        QCOMPARE(checkAll()->text(), u"  Checking 4…"_s);
        QVERIFY(!checkAll()->isEnabled());
        QCOMPARE(ui->toasts(), QStringList{"Checking 4 results — they'll fill in one by one."});
        QCOMPARE(ui->sounds(), QStringList{"thinking"});
        QTRY_VERIFY_WITH_TIMEOUT(checkAll()->isEnabled(), WAIT_MS);
        QCOMPARE(checkAll()->text(), u"  Check all"_s);
        // Queued checks make no toasts of their own.
        QCOMPARE(ui->toasts().size(), 2);
        QCOMPARE(ui->lastToast(), u"2 checked (1 correct, 1 wrong) · 2 not finished yet"_s);
        QCOMPARE(ui->sounds().last(), u"success"_s);
        // Neither the made-up nor the checked row was asked about, and each
        // request started only after the previous reply.
        QCOMPARE(askedEvents(), (QStringList{"801", "802", "803", "804"}));
        const QList<StubRequest> asked = ui->server.requestsTo(SUMMARY);
        QVERIFY(asked.at(1).receivedMs - asked.at(0).receivedMs >= 150);
        QCOMPARE(badge(u"a"_s), u"  Correct · FT 2-0  "_s);
        QCOMPARE(badge(u"c"_s), u"  Wrong · FT 3-1  "_s);
        QVERIFY(checkButton(u"d"_s) && checkButton(u"e"_s));
        QVERIFY(stored(u"d"_s, "actual_home_score").isNull());
    }

    void clearHistory_onlyAfterYes()
    {
        writeMixedHistory();
        open();
        QPushButton *clear = buttonWithText(page, u"  Clear history"_s);
        auto asked = answerMessageBox(this, QMessageBox::No);
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(*asked,
                 u"Clear history?|This deletes every saved prediction (including checked results). This "
                 "can't be undone."_s);
        QCOMPARE(rows().size(), 5);

        asked = answerMessageBox(this, QMessageBox::Yes);
        QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(!asked->isEmpty());
        QCOMPARE(storedHistory().size(), 0);
        QCOMPARE(listHint(), u"No predictions yet — go predict a fixture!"_s);
        QCOMPARE(ui->toasts(), QStringList{"History cleared"});
        QCOMPARE(dashboard(), QString());

        qDeleteAll(findChildren<QTimer *>());
    }

    void largeHistory_rowsOnlyForWhatIsShown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("firstId");
        QTest::newRow("everything") << QString() << u"all"_s << 3000 << u"r0"_s;
        QTest::newRow("search") << u"club 2999 vs"_s << u"all"_s << 1 << u"r2999"_s;
        QTest::newRow("unchecked") << QString() << u"unchecked"_s << 1500 << u"r1"_s;
    }

    void largeHistory_rowsOnlyForWhatIsShown()
    {
        QFETCH(QString, text);
        QFETCH(QString, status);
        QFETCH(int, shown);
        QFETCH(QString, firstId);
        // Every other prediction checked and right.
        QList<Entry> entries;
        for (int i = 0; i < 3000; ++i)
            entries.append({u"r%1"_s.arg(i), u"Club %1 vs Club %2 "_s.arg(i).arg(i + 1),
                            u"English Premier League"_s, QString::number(900 + i), 60, u"HOME"_s,
                            i % 2 ? -1 : 1, i % 2 ? -1 : 0});
        writeHistory(entries);
        open();
        QCOMPARE(dashboard(), u"3000 made · 1500 checked"_s);
        QTest::keyClicks(search(), text);
        choose(u"StatusFilter"_s, status);
        QTRY_COMPARE(rowIds().value(0), firstId);
        const int built = int(rows().size());
        QCOMPARE(built, std::min(shown, int(HistoryPage::FirstBatchRows)));
        // Scrolling to the end of the list builds the next rows, in order.
        if (shown > built) {
            auto *scroll = page->findChild<QScrollArea *>();
            QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            QTRY_COMPARE(rows().size(), std::min(shown, built + int(HistoryPage::LaterBatchRows)));
            QCOMPARE(rowIds().indexOf(firstId), 0);
        }
    }

    void clearFilters_resetsEverything()
    {
        writeMixedHistory();
        open();
        QTest::keyClicks(search(), u"sevilla"_s);
        choose(u"StatusFilter"_s, u"wrong"_s);
        choose(u"LeagueFilter"_s, u"Spanish LALIGA"_s);
        QTRY_COMPARE(rowIds(), QStringList{"p4"});
        ui->played->clear();
        QPushButton *clear = buttonWithTip(page, u"Clear all filters"_s);
        QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(search()->text().isEmpty());
        QCOMPARE(combo(u"StatusFilter"_s)->currentIndex() + combo(u"LeagueFilter"_s)->currentIndex(), 0);
        QCOMPARE(rowIds().size(), 5);
        // With nothing set there is nothing to clear, and no sound for it.
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(ui->sounds(), QStringList{"toggle"});
    }

    void singleCheck_staysBusyThroughARebuild()
    {
        writeHistory({{"p", "Arsenal vs Chelsea", "English Premier League", "401"}});
        routeResult(u"401"_s, u"post"_s, u"2-1"_s, 1500);
        open();
        QTest::mouseClick(checkButton(u"p"_s), Qt::LeftButton);
        QTRY_COMPARE(askedEvents().size(), 1);
        // Showing the page again rebuilds its rows.
        ui->navigate(u"live"_s);
        ui->navigate(u"history"_s);
        QTRY_VERIFY(checkButton(u"p"_s));
        QVERIFY(!checkButton(u"p"_s)->isEnabled());
        QTest::mouseClick(checkAll(), Qt::LeftButton);
        QCOMPARE(ui->lastToast(), u"Nothing to check — every prediction shown here is already checked."_s);
    }

    void predictionsStoredElsewhere_appearWhileThePageIsShown()
    {
        writeMixedHistory();
        open();
        QCOMPARE(rowIds().size(), 5);
        // Another connection to the same file, as the command-line tool has.
        HistoryStore(historyDatabasePath())
            .add(predictionOf({"cli", "Arsenal vs Chelsea", "English Premier League", "801"}, -1));
        QTRY_COMPARE_WITH_TIMEOUT(rowIds().value(0), u"cli"_s, 3 * HistoryPage::WatchIntervalMs);
        QCOMPARE(rowIds().size(), 6);
    }
};

QTEST_MAIN(TestHistoryPage)
#include "tst_historypage.moc"
