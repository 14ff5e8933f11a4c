#include "UiHarness.h"
#include "ai/AccuracyStats.h"
#include "ui/pages/AccuracyDashboard.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QProgressBar>

namespace {

AccuracyStats statsOf(int total, int checked, int correct, int confidentChecked = 0, int confidentCorrect = 0)
{
    AccuracyStats stats;
    stats.total = total;
    stats.checked = checked;
    stats.correct = correct;
    stats.confidentChecked = confidentChecked;
    stats.confidentCorrect = confidentCorrect;
    return stats;
}

} // namespace

Q_DECLARE_METATYPE(AccuracyStats)

class TestAccuracyDashboard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<AccuracyDashboard> dashboard;

    QString subtitle() const { return labelWithRole(dashboard.get(), u"DashboardSubtitle"_s)->text(); }
    // The tile values in order, as shown.
    QStringList values() const
    {
        QStringList list;
        auto *row = dashboard->findChild<QHBoxLayout *>(u"TileRow"_s);
        for (int i = 0; i < row->count(); ++i) {
            if (QWidget *tile = row->itemAt(i)->widget())
                list.append(tile->findChild<QLabel *>(u"StatValue"_s)->text());
        }
        return list;
    }
private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        context = std::make_unique<AppContext>(RelayConfig{});
        dashboard = std::make_unique<AccuracyDashboard>(context.get());
        dashboard->resize(900, 400);
        dashboard->show();
    }
    void cleanup()
    {
        dashboard.reset();
        context.reset();
        env.reset();
    }

    void figures_countUpToTheStats_data()
    {
        QTest::addColumn<AccuracyStats>("stats");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("none") << statsOf(0, 0, 0) << u""_s << QStringList{};
        QTest::newRow("one unchecked") << statsOf(1, 0, 0) << u"1 prediction made"_s << QStringList{};
        QTest::newRow("unchecked") << statsOf(3, 0, 0) << u"3 predictions made"_s << QStringList{};
        AccuracyStats streaks = statsOf(10, 4, 3);
        streaks.currentStreak = 2;
        streaks.bestStreak = 3;
        QTest::newRow("checked") << streaks << u"10 made · 4 checked"_s
                                 << QStringList{"75%", "3/4", "2", "3"};
        QTest::newRow("confident") << statsOf(6, 4, 1, 2, 1) << u"6 made · 4 checked"_s
                                   << QStringList{"25%", "1/4", "0", "0", "50%"};
        // Two thirds round to 67, one half of a percent rounds up.
        QTest::newRow("rounding") << statsOf(200, 200, 1, 3, 2) << u"200 made · 200 checked"_s
                                  << QStringList{"1%", "1/200", "0", "0", "67%"};
    }

    void figures_countUpToTheStats()
    {
        QFETCH(AccuracyStats, stats);
        QFETCH(QString, subtitle);
        QFETCH(QStringList, values);
        // Figures from an earlier update are replaced, not stacked beside the new ones.
        dashboard->updateStats(statsOf(9, 9, 9, 9, 9));
        dashboard->updateStats(stats);
        QCOMPARE(this->subtitle(), subtitle);
        QCOMPARE(labelWithRole(dashboard.get(), u"DashboardEmpty"_s)->isVisible(), values.isEmpty());
        QCOMPARE(dashboard->findChild<QWidget *>(u"DashboardContent"_s)->isVisible(), !values.isEmpty());
        if (values.isEmpty())
            return;
        // Counted up from zero; the fraction is shown at once.
        QCOMPARE(this->values().at(1), values.at(1));
        QTRY_COMPARE(this->values(), values);
        QTRY_COMPARE(dashboard->findChildren<QLabel *>(u"StatValue"_s).size(), values.size());
    }
};

QTEST_MAIN(TestAccuracyDashboard)
#include "tst_accuracydashboard.moc"
