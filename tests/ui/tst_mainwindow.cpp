#include "UiHarness.h"
#include "app/League.h"
#include "ui/common/Theme.h"
#include "ui/shell/TitleBar.h"

#include <QGraphicsEffect>
#include <QSizeGrip>
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
        QTest::mouseClick(button(u"Toggle theme"_s), Qt::LeftButton);
        QCOMPARE(savedSettings().value("theme").toString(), u"dark"_s);
        QCOMPARE(window()->currentPage()->grab().toImage().pixelColor(5, 300), QColor(darkPalette().bg));
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

    void closeButton_closesTheWindow()
    {
        open();
        QTest::mouseClick(button(u"Close"_s), Qt::LeftButton);
        QVERIFY(!window()->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
