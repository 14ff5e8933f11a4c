// The window: its pages, title bar and theme, the keyboard, and a name a
// screen reader can read for everything the Tab key reaches.

#include "UiHarness.h"
#include "ui/cards/MatchCard.h"
#include "ui/common/ComboBox.h"
#include "ui/common/Theme.h"
#include "ui/shell/TitleBar.h"

#include <QAccessible>
#include <QLineEdit>
#include <QStatusBar>

namespace {

QJsonObject savedSettings()
{
    return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
}

// Sends a mouse event with explicit global coordinates (the window moves and
// resizes in global coordinates, which QTest's helpers leave alone).
void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), widget->mapToGlobal(QPointF(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void drag(QWidget *widget, QPoint from, QPoint by)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, from + by, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, from + by, Qt::NoButton);
}

QString describe(const QWidget *w)
{
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char('#') + w->objectName();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UiHarness> ui;

    void open(const QByteArray &settingsJson = {})
    {
        if (!settingsJson.isEmpty())
            TestEnv::writeFile(settingsFilePath(), settingsJson);
        ui->start();
        ui->show();
    }
    MainWindow *window() const { return ui->window.get(); }
    Sidebar *sidebar() const { return window()->findChild<Sidebar *>(); }
    QString title() const { return window()->findChild<QLabel *>(u"PageTitle"_s)->text(); }
    QPushButton *button(const QString &tooltip) const { return buttonWithTip(window(), tooltip); }
    // Shown and active, with a match in play on the live page.
    void openActive()
    {
        FakeEvent live{u"A1"_s, QDate::currentDate().toString(Qt::ISODate) + u"T12:00Z"_s, u"in"_s};
        live.detail = u"30'"_s;
        ui->routeScoreboard(u"eng.1"_s, {live});
        open();
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
    }

private slots:
    void init() { ui = std::make_unique<UiHarness>(); }
    void cleanup() { ui.reset(); }

    void startPage_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("title");
        QTest::newRow("default") << QByteArray() << "live"
                                 << "Live & Today";
        QTest::newRow("chosen") << QByteArray(R"({"start_page": "history"})") << "history"
                                << "Prediction History";
        QTest::newRow("unknown") << QByteArray(R"({"start_page": "standings"})") << "leagues"
                                 << "Leagues & Fixtures";
    }

    void startPage()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, key);
        QFETCH(QString, title);
        open(settings);
        QCOMPARE(this->title(), title);
        QCOMPARE(window()->currentPage(), window()->page(key));
        const auto buttons = sidebar()->findChildren<QPushButton *>(u"SidebarNavButton"_s);
        QCOMPARE(std::count_if(buttons.begin(), buttons.end(), [](QPushButton *b) { return b->isChecked(); }),
                 1);
        QVERIFY(sidebar()->buttonFor(key)->isChecked());
        QCOMPARE(window()->statusBar()->findChild<QLabel *>(u"StatusReady"_s)->text(), u"Ready"_s);
        // Nothing is announced by sound at start.
        QVERIFY(ui->played->isEmpty());
        // The window icon follows the first frame, in the sizes a desktop picks from.
        QTRY_COMPARE(window()->windowIcon().availableSizes(), (QList<QSize>{{64, 64}, {256, 256}}));
    }

    void everySidebarButton_showsItsPage()
    {
        open();
        for (const NavItem &item : navItems()) {
            ui->navigate(item.key);
            QCOMPARE(window()->currentPage(), window()->page(item.key));
            QVERIFY(window()->currentPage()->isVisible());
            QCOMPARE(sidebar()->currentKey(), item.key);
            QVERIFY(!title().isEmpty());
        }
        QCOMPARE(ui->sounds(), QStringList(navItems().size(), u"navigate"_s));
        // A label with "&" shows a single one and is no shortcut.
        QCOMPARE(sidebar()->buttonFor(u"leagues"_s)->text(), u"  Leagues && Fixtures"_s);
        QVERIFY(sidebar()->buttonFor(u"leagues"_s)->shortcut().isEmpty());
    }

    void themeButton_repaintsTheWindow_andIsSaved()
    {
        open();
        QTest::mouseClick(button(u"Toggle theme"_s), Qt::LeftButton);
        QCOMPARE(savedSettings().value("theme").toString(), u"light"_s);
        QCOMPARE(window()->findChild<TitleBar *>()->iconColor(), QColor(lightPalette().textDim));
        // The page under the sheet really is repainted in the light colours.
        QCOMPARE(window()->currentPage()->grab().toImage().pixelColor(5, 300), QColor(lightPalette().bg));
        // Combo boxes draw their own arrow, in the colour the sheet gives.
        auto *combo = window()->currentPage()->findChild<ComboBox *>();
        QVERIFY(combo);
        QCOMPARE(combo->arrowColor(), QColor(lightPalette().textDim));
        QTest::mouseClick(button(u"Toggle theme"_s), Qt::LeftButton);
        QCOMPARE(savedSettings().value("theme").toString(), u"dark"_s);
        QCOMPARE(window()->currentPage()->grab().toImage().pixelColor(5, 300), QColor(darkPalette().bg));
        QCOMPARE(combo->arrowColor(), QColor(darkPalette().textDim));
    }

    void titleBar_maximizesRestoresAndMoves()
    {
        open();
        QTest::mouseClick(button(u"Maximize"_s), Qt::LeftButton);
        QTRY_VERIFY(window()->isMaximized());
        // A double-click on the bar restores it.
        auto *bar = window()->findChild<TitleBar *>();
        QTest::mouseDClick(bar, Qt::LeftButton, {}, QPoint(300, 18));
        QTRY_VERIFY(!window()->isMaximized());
        window()->move(100, 100);
        QTRY_COMPARE(window()->pos(), QPoint(100, 100));
        drag(bar, QPoint(300, 18), QPoint(40, 30));
        QTRY_COMPARE(window()->pos(), QPoint(140, 130));
    }

    void tabWalk_findsNoControlWithoutAName_data()
    {
        QTest::addColumn<QString>("key");
        for (const NavItem &item : navItems())
            QTest::newRow(qPrintable(item.key)) << item.key;
    }

    void tabWalk_findsNoControlWithoutAName()
    {
        QFETCH(QString, key);
        openActive();
        // A card with its prediction, so that the card's own buttons are walked too.
        MatchCard *card = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((card = window()->page(u"live"_s)->findChild<MatchCard *>()), WAIT_MS);
        QTest::mouseClick(card->predictButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(card->predictionCard, WAIT_MS);
        ui->navigate(key);

        QStringList problems;
        QSet<QWidget *> seen;
        QWidget *previous = QApplication::focusWidget();
        for (int step = 0; step < 400; ++step) {
            QTest::keyClick(previous ? previous : window(), Qt::Key_Tab);
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
        QTest::newRow("Ctrl+3: search, typing at once") << QKeySequence(u"Ctrl+3"_s) << u"search"_s;
        QTest::newRow("Ctrl+4: Ask AI, typing at once") << QKeySequence(u"Ctrl+4"_s) << u"chat"_s;
        QTest::newRow("Ctrl+6, Ctrl+F: history's search")
            << QKeySequence(u"Ctrl+6, Ctrl+F"_s) << u"history"_s;
    }

    void shortcuts_reachPagesAndFields()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, expectedPage);
        openActive();
        QTest::keySequence(window(), keys);
        QCOMPARE(window()->currentPage(), window()->page(expectedPage));
        QVERIFY(sidebar()->buttonFor(expectedPage)->isChecked());
        auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(field && window()->page(expectedPage)->isAncestorOf(field));
    }

    void f5_refreshesTheLivePage_andCtrlQOrCloseQuits()
    {
        openActive();
        const QString scoreboard = SITE + u"eng.1/scoreboard"_s;
        QTRY_COMPARE_WITH_TIMEOUT(ui->server.count(scoreboard), 1, WAIT_MS);
        QTest::keyClick(window(), Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(ui->server.count(scoreboard), 2, WAIT_MS);
        QVERIFY(ui->sounds().contains(u"refresh"_s));
        QTest::keySequence(window(), QKeySequence(u"Ctrl+Q"_s));
        QVERIFY(!window()->isVisible());
        ui->show();
        QTest::mouseClick(button(u"Close"_s), Qt::LeftButton);
        QVERIFY(!window()->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
