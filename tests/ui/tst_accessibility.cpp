// The keyboard and a screen reader: shortcuts, where the focus goes, and a
// name for everything the Tab key can reach.

#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/cards/MatchListView.h"
#include "ui/cards/PredictionCard.h"
#include "ui/pages/LivePage.h"
#include "ui/shell/Sidebar.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

FakeEvent fixture(const QString &state)
{
    FakeEvent e;
    e.id = u"A1"_s;
    e.home = u"Arsenal"_s;
    e.away = u"Chelsea"_s;
    e.date = QDate::currentDate().toString(Qt::ISODate) + u"T12:00Z"_s;
    e.state = state;
    e.detail = u"30'"_s;
    return e;
}

QString describe(const QWidget *w)
{
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char('#') + w->objectName();
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> h;

    QWidget *page(const QString &key) const { return h->window->page(key); }

    void open()
    {
        h = std::make_unique<UiHarness>();
        h->start();
        h->routeScoreboard(u"eng.1"_s, {fixture(u"in"_s)});
        h->window->show();
        h->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
    }

private slots:
    void cleanup() { h.reset(); }

    void tabWalk_findsNoControlWithoutAName_data()
    {
        QTest::addColumn<QString>("key");
        for (const NavItem &item : navItems())
            QTest::newRow(qPrintable(item.key)) << item.key;
    }

    void tabWalk_findsNoControlWithoutAName()
    {
        QFETCH(QString, key);
        open();
        auto *live = static_cast<LivePage *>(page(u"live"_s));
        // A card with its prediction, so that the card's own buttons are walked too.
        QTRY_COMPARE_WITH_TIMEOUT(live->list()->cards().size(), size_t(1), WAIT_MS);
        QTest::mouseClick(live->list()->cards().front()->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(live->list()->cards().front()->predictionCard, WAIT_MS);
        QTest::mouseClick(h->window->findChild<Sidebar *>()->buttonFor(key), Qt::LeftButton);

        QStringList problems;
        QSet<QWidget *> seen;
        QWidget *previous = QApplication::focusWidget();
        for (int step = 0; step < 400; ++step) {
            QTest::keyClick(previous ? previous : h->window.get(), Qt::Key_Tab);
            QWidget *focused = QApplication::focusWidget();
            QVERIFY2(focused, "the Tab key lost the focus");
            if (focused == previous)
                problems.append(describe(focused) + u" keeps the Tab key"_s);
            if (seen.contains(focused))
                break; // round the whole chain
            seen.insert(focused);
            previous = focused;
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(focused);
            if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
                problems.append(describe(focused) + u" has no accessible name"_s);
            const auto *button = qobject_cast<QAbstractButton *>(focused);
            if (button && button->text().trimmed().isEmpty() && button->toolTip().isEmpty())
                problems.append(describe(focused) + u" shows only an icon and has no tooltip"_s);
        }
        // Round the window: the sidebar, the top bar's two buttons and the page.
        QVERIFY2(seen.size() >= 4, "the walk stopped early");
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void shortcuts_reachPagesAndFields_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("expectedPage");
        QTest::addColumn<bool>("fieldFocused");
        QTest::newRow("Ctrl+3: search, typing at once") << QKeySequence(u"Ctrl+3"_s) << u"search"_s << true;
        QTest::newRow("Ctrl+4: Ask AI, typing at once") << QKeySequence(u"Ctrl+4"_s) << u"chat"_s << true;
        QTest::newRow("Ctrl+6, Ctrl+F: history's search")
            << QKeySequence(u"Ctrl+6, Ctrl+F"_s) << u"history"_s << true;
    }

    void shortcuts_reachPagesAndFields()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, expectedPage);
        QFETCH(bool, fieldFocused);
        open();
        QTest::keySequence(h->window.get(), keys);
        QCOMPARE(h->window->currentPage(), page(expectedPage));
        QCOMPARE(h->window->findChild<Sidebar *>()->buttonFor(expectedPage)->isChecked(), true);
        auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QCOMPARE(field && page(expectedPage)->isAncestorOf(field), fieldFocused);
    }

    void f5_refreshesTheLivePage_andCtrlQ_quits()
    {
        open();
        const QString scoreboard = SITE + QStringLiteral("eng.1/scoreboard");
        QTRY_COMPARE_WITH_TIMEOUT(h->server.count(scoreboard), 1, WAIT_MS);
        QTest::keyClick(h->window.get(), Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(h->server.count(scoreboard), 2, WAIT_MS);
        QVERIFY(h->sounds().contains(QStringLiteral("refresh")));
        QTest::keySequence(h->window.get(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QVERIFY(!h->window->isVisible());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
