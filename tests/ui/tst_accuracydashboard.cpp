#include "ai/AccuracyStats.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/Theme.h"
#include "ui/pages/AccuracyDashboard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>

#include <memory>

namespace {

AccuracyStats statsOf(int total, int checked, int correct)
{
    AccuracyStats stats;
    stats.total = total;
    stats.checked = checked;
    stats.correct = correct;
    return stats;
}

} // namespace

class TestAccuracyDashboard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<AccuracyDashboard> dashboard;

    void build(const QString &accent = QStringLiteral("green"))
    {
        context = std::make_unique<AppContext>(RelayConfig{});
        context->settings.accent = accent;
        dashboard = std::make_unique<AccuracyDashboard>(context.get());
        dashboard->resize(900, 400);
        dashboard->show();
    }

    QLabel *labelWithRole(const QString &role) const
    {
        for (QLabel *label : dashboard->findChildren<QLabel *>()) {
            if (label->property("role").toString() == role)
                return label;
        }
        return nullptr;
    }
    QString subtitle() const { return labelWithRole(QStringLiteral("DashboardSubtitle"))->text(); }
    bool showsSentence() const { return !labelWithRole(QStringLiteral("DashboardEmpty"))->isHidden(); }
    bool showsFigures() const
    {
        return !dashboard->findChild<QWidget *>(QStringLiteral("DashboardContent"))->isHidden();
    }

    // The tiles in order, as (value label, caption label).
    QList<QPair<QLabel *, QLabel *>> tiles() const
    {
        QList<QPair<QLabel *, QLabel *>> list;
        auto *row = dashboard->findChild<QHBoxLayout *>(QStringLiteral("TileRow"));
        for (int i = 0; i < row->count(); ++i) {
            QWidget *tile = row->itemAt(i)->widget();
            if (!tile)
                continue;
            list.append(qMakePair(tile->findChild<QLabel *>(QStringLiteral("StatValue")),
                                  tile->findChild<QLabel *>(QStringLiteral("Muted"))));
        }
        return list;
    }
    QStringList captions() const
    {
        QStringList list;
        for (const auto &tile : tiles())
            list.append(tile.second->text());
        return list;
    }
    QStringList values() const
    {
        QStringList list;
        for (const auto &tile : tiles())
            list.append(tile.first->text());
        return list;
    }

    QGridLayout *table() const { return dashboard->findChild<QGridLayout *>(QStringLiteral("LeagueTable")); }
    QWidget *cell(int row, int column) const
    {
        QLayoutItem *item = table()->itemAtPosition(row, column);
        return item ? item->widget() : nullptr;
    }
    int tableRows() const
    {
        int rows = 0;
        while (cell(rows, 0))
            ++rows;
        return rows;
    }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        dashboard.reset();
        context.reset();
        env.reset();
    }

    void nothingChecked_showsTheSentence_andHowManyWereMade()
    {
        build();
        QVERIFY(showsSentence());
        QVERIFY(!showsFigures());
        QCOMPARE(subtitle(), QString());

        dashboard->updateStats(statsOf(3, 0, 0));
        QCOMPARE(subtitle(), QStringLiteral("3 predictions made"));
        dashboard->updateStats(statsOf(1, 0, 0));
        QCOMPARE(subtitle(), QStringLiteral("1 prediction made"));
        dashboard->updateStats(statsOf(0, 0, 0));
        QCOMPARE(subtitle(), QString());
        QVERIFY(showsSentence());
        QVERIFY(!showsFigures());
    }

    void checkedCalls_showTheTilesCountingUp()
    {
        build();
        AccuracyStats stats = statsOf(10, 4, 3);
        stats.currentStreak = 2;
        stats.bestStreak = 3;
        dashboard->updateStats(stats);
        QCOMPARE(subtitle(), QStringLiteral("10 made · 4 checked"));
        QVERIFY(!showsSentence());
        QVERIFY(showsFigures());
        QCOMPARE(captions(), (QStringList{"accuracy", "correct calls", "current streak", "best streak"}));
        // Counted up from zero; the fraction is shown at once.
        QCOMPARE(values(), (QStringList{"0%", "3/4", "0", "0"}));
        QTRY_COMPARE(values(), (QStringList{"75%", "3/4", "2", "3"}));
        // Only the accuracy carries the accent colour of its own.
        QCOMPARE(tiles().at(0).first->styleSheet(), QStringLiteral("color: #1CB05A;"));
        QVERIFY(tiles().at(1).first->styleSheet().isEmpty());
    }

    void confidentTile_onlyWithConfidentCalls()
    {
        build();
        AccuracyStats stats = statsOf(6, 4, 1);
        dashboard->updateStats(stats);
        QCOMPARE(tiles().size(), 4);

        stats.confidentChecked = 2;
        stats.confidentCorrect = 1;
        dashboard->updateStats(stats);
        QCOMPARE(tiles().size(), 5);
        QCOMPARE(captions().last(), QStringLiteral("when ≥65% sure"));
        QTRY_COMPARE(values(), (QStringList{"25%", "1/4", "0", "0", "50%"}));
        // The old tiles are gone, not stacked beside the new ones.
        QTRY_COMPARE(dashboard->findChildren<QLabel *>(QStringLiteral("StatValue")).size(), 5);

        // Two thirds round to 67, one half of a percent rounds up.
        stats.confidentChecked = 3;
        stats.confidentCorrect = 2;
        stats.checked = 200;
        stats.correct = 1;
        dashboard->updateStats(stats);
        QTRY_COMPARE(values(), (QStringList{"1%", "1/200", "0", "0", "67%"}));
    }

    void leagueTable_showsSixRowsAtMost()
    {
        build();
        AccuracyStats stats = statsOf(30, 20, 10);
        stats.leagues.append({QStringLiteral("English Premier League"), 2, 3});
        for (int i = 0; i < 7; ++i)
            stats.leagues.append({QStringLiteral("League %1").arg(i), 1, 2});
        dashboard->updateStats(stats);
        QCOMPARE(tableRows(), AccuracyDashboard::MaxLeagueRows);
        QCOMPARE(qobject_cast<QLabel *>(cell(0, 0))->text(), QStringLiteral("English Premier League"));
        QCOMPARE(qobject_cast<QLabel *>(cell(0, 1))->text(), QStringLiteral("2/3"));
        QCOMPARE(qobject_cast<QLabel *>(cell(0, 3))->text(), QStringLiteral("67%"));
        QCOMPARE(qobject_cast<QLabel *>(cell(5, 0))->text(), QStringLiteral("League 4"));
        auto *bar = qobject_cast<QProgressBar *>(cell(0, 2));
        QCOMPARE(bar->maximum(), 100);
        QVERIFY(bar->value() < 67);
        QTRY_COMPARE(bar->value(), 67);
        QVERIFY(bar->styleSheet().contains(QLatin1String("#1CB05A")));

        // A smaller table replaces the larger one entirely.
        stats.leagues = {{QStringLiteral("Other"), 0, 1}};
        dashboard->updateStats(stats);
        QCOMPARE(tableRows(), 1);
        QCOMPARE(qobject_cast<QLabel *>(cell(0, 3))->text(), QStringLiteral("0%"));
        QVERIFY(!cell(1, 0));
    }

    void leagueNames_arePlainText()
    {
        build();
        AccuracyStats stats = statsOf(2, 1, 1);
        stats.leagues = {{QStringLiteral("<b>Bold</b> & Co"), 1, 1}};
        dashboard->updateStats(stats);
        auto *name = qobject_cast<QLabel *>(cell(0, 0));
        QCOMPARE(name->textFormat(), Qt::PlainText);
        QCOMPARE(name->text(), QStringLiteral("<b>Bold</b> & Co"));
    }

    void unknownAccent_fallsBackToGreen()
    {
        build(QStringLiteral("mauve"));
        dashboard->updateStats(statsOf(2, 2, 1));
        QCOMPARE(tiles().at(0).first->styleSheet(), QStringLiteral("color: #1CB05A;"));
        context->settings.accent = QStringLiteral("purple");
        dashboard->updateStats(statsOf(2, 2, 1));
        // Tiles take the accent of each update.
        QCOMPARE(tiles().at(0).first->styleSheet(),
                 QStringLiteral("color: %1;").arg(accentPalettes().value("purple").accent));
    }
};

QTEST_MAIN(TestAccuracyDashboard)
#include "tst_accuracydashboard.moc"
