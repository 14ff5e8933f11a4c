#include "app/Paths.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/TitleBar.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"

#include <QGraphicsEffect>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

QJsonObject savedSettings()
{
    return QJsonDocument::fromJson(TestEnv::readFile(settingsFilePath())).object();
}

QImage iconImage(const QPushButton *button, int size)
{
    return button->icon().pixmap(QSize(size, size)).toImage();
}

// Sends a mouse event with explicit global coordinates (the window moves and
// resizes in global coordinates, which QTest's helpers leave alone).
void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons)
{
    const QPointF global = widget->mapToGlobal(QPointF(local));
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> espn;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> played;

    void open(const QByteArray &settingsJson = {})
    {
        window.reset();
        context.reset();
        if (!settingsJson.isEmpty())
            TestEnv::writeFile(settingsFilePath(), settingsJson);
        context = std::make_unique<AppContext>(RelayConfig{});
        window = std::make_unique<MainWindow>(context.get());
        // The start-up update check must not reach a real update server.
        window->setUpdateBase(QString());
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    QString title() const { return window->findChild<QLabel *>(QStringLiteral("PageTitle"))->text(); }
    Sidebar *sidebar() const { return window->findChild<Sidebar *>(); }
    QPushButton *topButton(const QString &tooltip) const
    {
        for (QPushButton *button : window->findChildren<QPushButton *>(QStringLiteral("IconButton"))) {
            if (button->toolTip() == tooltip)
                return button;
        }
        return nullptr;
    }
    QPushButton *titleBarButton(const QString &tooltip) const
    {
        for (QPushButton *button : window->findChild<TitleBar *>()->findChildren<QPushButton *>()) {
            if (button->toolTip() == tooltip)
                return button;
        }
        return nullptr;
    }
    QStringList playedNames() const
    {
        QStringList names;
        for (const QList<QVariant> &call : *played)
            names.append(call.first().toString());
        return names;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        // The fixture pages load as soon as they are shown: they get empty
        // days from a local stub, never the real service.
        espn = std::make_unique<StubServer>();
        espn->setFallback([](const StubRequest &) { return StubResponse::json(R"({"events": []})"); });
        qputenv("TOLVO_ESPN_HOST", espn->baseUrl().toUtf8());
        qputenv("TOLVO_ESPN_SEARCH_HOST", espn->baseUrl().toUtf8());
    }

    void cleanup()
    {
        played.reset();
        window.reset();
        context.reset();
        espn.reset();
        env.reset();
    }

    void defaultSettings_startOnTheLivePage()
    {
        open();
        QCOMPARE(title(), QStringLiteral("Live & Today"));
        QVERIFY(sidebar()->buttonFor(QStringLiteral("live"))->isChecked());
        QCOMPARE(window->currentPage(), window->page(QStringLiteral("live")));
        QCOMPARE(window->statusBar()->findChild<QLabel *>(QStringLiteral("StatusReady"))->text(),
                 QStringLiteral("Ready"));
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window->windowTitle(), QStringLiteral("Tolvo — AI Football Predictions"));
        // Nothing is announced by sound at start.
        QVERIFY(played->isEmpty());
    }

    void unknownStartPage_fallsBackToLeagues()
    {
        open(R"({"start_page": "standings"})");
        QCOMPARE(title(), QStringLiteral("Leagues & Fixtures"));
        QVERIFY(sidebar()->buttonFor(QStringLiteral("leagues"))->isChecked());
        QCOMPARE(window->currentPage(), window->page(QStringLiteral("leagues")));
        const auto checked = sidebar()->findChildren<QPushButton *>(QStringLiteral("SidebarNavButton"));
        QCOMPARE(std::count_if(checked.begin(), checked.end(), [](QPushButton *b) { return b->isChecked(); }),
                 1);
    }

    void sidebarClicks_showThePageAndItsTitle()
    {
        open();
        const QMap<QString, QString> expected = {
            {QStringLiteral("leagues"), QStringLiteral("Leagues & Fixtures")},
            {QStringLiteral("live"), QStringLiteral("Live & Today")},
            {QStringLiteral("search"), QStringLiteral("Team Search")},
            {QStringLiteral("chat"), QStringLiteral("Tolvo")},
            {QStringLiteral("favorites"), QStringLiteral("Favorites")},
            {QStringLiteral("history"), QStringLiteral("Prediction History")},
            {QStringLiteral("feedback"), QStringLiteral("Tolvo")},
            {QStringLiteral("update"), QStringLiteral("Update")},
            {QStringLiteral("settings"), QStringLiteral("Settings")},
            {QStringLiteral("about"), QStringLiteral("About Tolvo")},
        };
        QCOMPARE(navItems().size(), expected.size());
        for (const NavItem &item : navItems()) {
            QTest::mouseClick(sidebar()->buttonFor(item.key), Qt::LeftButton);
            QCOMPARE(title(), expected.value(item.key));
            QCOMPARE(window->currentPage(), window->page(item.key));
            QVERIFY(sidebar()->buttonFor(item.key)->isChecked());
            QCOMPARE(sidebar()->currentKey(), item.key);
        }
        QCOMPARE(playedNames(), QStringList(navItems().size(), QStringLiteral("navigate")));
    }

    void placeholders_nameTheirPage()
    {
        open();
        const QMap<QString, QString> titles = {
            {QStringLiteral("leagues"), QStringLiteral("Leagues & Fixtures")},
            {QStringLiteral("live"), QStringLiteral("Live & Today")},
            {QStringLiteral("search"), QStringLiteral("Team Search")},
            {QStringLiteral("favorites"), QStringLiteral("Favorites")},
            {QStringLiteral("feedback"), QStringLiteral("Send Feedback")},
            {QStringLiteral("update"), QStringLiteral("Update")},
        };
        for (const NavItem &item : navItems()) {
            QWidget *page = window->page(item.key);
            QVERIFY(page);
            if (page->objectName() != QLatin1String("PlaceholderPage"))
                continue;
            QVERIFY2(titles.contains(item.key),
                     qPrintable(item.key + QStringLiteral(" should be a real page")));
            QCOMPARE(page->findChild<QLabel *>(QStringLiteral("SectionTitle"))->text(),
                     titles.value(item.key));
            QCOMPARE(page->findChild<QLabel *>(QStringLiteral("Muted"))->text(),
                     QStringLiteral("Not yet ported to the native build."));
        }
    }

    void navigation_fadesOnlyANewPage()
    {
        open();
        QPushButton *search = sidebar()->buttonFor(QStringLiteral("search"));
        QTest::mouseClick(search, Qt::LeftButton);
        QWidget *page = window->page(QStringLiteral("search"));
        QVERIFY(qobject_cast<QGraphicsOpacityEffect *>(page->graphicsEffect()));
        QTRY_VERIFY_WITH_TIMEOUT(page->graphicsEffect() == nullptr, 2000);

        played->clear();
        QTest::mouseClick(search, Qt::LeftButton);
        QVERIFY(page->graphicsEffect() == nullptr);
        QCOMPARE(title(), QStringLiteral("Team Search"));
        QCOMPARE(playedNames(), QStringList{QStringLiteral("navigate")});
    }

    void quickSecondNavigation_leavesNoEffectBehind()
    {
        open();
        QTest::mouseClick(sidebar()->buttonFor(QStringLiteral("search")), Qt::LeftButton);
        QTest::mouseClick(sidebar()->buttonFor(QStringLiteral("chat")), Qt::LeftButton);
        QTest::mouseClick(sidebar()->buttonFor(QStringLiteral("search")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window->page(QStringLiteral("search"))->graphicsEffect() == nullptr, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(window->page(QStringLiteral("chat"))->graphicsEffect() == nullptr, 2000);
    }

    void ampersandLabels_showASingleAmpersand()
    {
        open();
        for (QPushButton *button : sidebar()->findChildren<QPushButton *>(QStringLiteral("SidebarNavButton")))
            QVERIFY2(button->shortcut().isEmpty(), qPrintable(button->text()));
        QCOMPARE(sidebar()->buttonFor(QStringLiteral("leagues"))->text(),
                 QStringLiteral("  Leagues && Fixtures"));
        QCOMPARE(sidebar()->buttonFor(QStringLiteral("chat"))->text(), QStringLiteral("  Ask AI"));
    }

    void muteButton_savesAndSilences()
    {
        open();
        QPushButton *mute = topButton(QStringLiteral("Mute sound"));
        QVERIFY(mute && !mute->isChecked());
        const QColor dim(darkPalette().textDim);
        QCOMPARE(iconImage(mute, 16), faPixmap(QStringLiteral("volume-high"), dim, 16).toImage());

        QTest::mouseClick(mute, Qt::LeftButton);
        QVERIFY(mute->isChecked());
        QCOMPARE(iconImage(mute, 16), faPixmap(QStringLiteral("volume-xmark"), dim, 16).toImage());
        QCOMPARE(savedSettings().value(QStringLiteral("sound_enabled")), QJsonValue(false));
        QVERIFY(!context->settings.sound_enabled);
        context->play(QStringLiteral("click"));
        QTest::mouseClick(sidebar()->buttonFor(QStringLiteral("search")), Qt::LeftButton);
        QVERIFY(played->isEmpty());

        QTest::mouseClick(mute, Qt::LeftButton);
        QVERIFY(!mute->isChecked());
        QCOMPARE(savedSettings().value(QStringLiteral("sound_enabled")), QJsonValue(true));
        QCOMPARE(playedNames(), QStringList{QStringLiteral("toggle")});
    }

    void mutedAtStart_andSetSoundEnabledFromCode()
    {
        open(R"({"sound_enabled": false})");
        QPushButton *mute = topButton(QStringLiteral("Mute sound"));
        QVERIFY(mute->isChecked());
        window->setSoundEnabled(true);
        QVERIFY(!mute->isChecked());
        QCOMPARE(playedNames(), QStringList{QStringLiteral("toggle")});
        window->setSoundEnabled(false);
        QVERIFY(mute->isChecked());
        QCOMPARE(savedSettings().value(QStringLiteral("sound_enabled")), QJsonValue(false));
        QCOMPARE(played->size(), 1);
    }

    void themeButton_restylesTheWindowAndSaves()
    {
        open();
        QPushButton *theme = topButton(QStringLiteral("Toggle theme"));
        auto *titleBar = window->findChild<TitleBar *>();
        QVERIFY(window->styleSheet().contains(QStringLiteral("#14171C")));
        QCOMPARE(iconImage(theme, 16),
                 faPixmap(QStringLiteral("moon"), QColor(darkPalette().textDim), 16).toImage());

        QTest::mouseClick(theme, Qt::LeftButton);
        QCOMPARE(context->settings.theme, QStringLiteral("light"));
        QCOMPARE(savedSettings().value(QStringLiteral("theme")).toString(), QStringLiteral("light"));
        QVERIFY(window->styleSheet().contains(QStringLiteral("#F4F6F8")));
        QVERIFY(!window->styleSheet().contains(QStringLiteral("#14171C")));
        const QColor lightDim(lightPalette().textDim);
        QCOMPARE(titleBar->iconColor(), lightDim);
        QCOMPARE(iconImage(titleBarButton(QStringLiteral("Close")), 12),
                 faPixmap(QStringLiteral("xmark"), lightDim, 12).toImage());
        QCOMPARE(iconImage(theme, 16), faPixmap(QStringLiteral("sun"), lightDim, 16).toImage());
        QCOMPARE(iconImage(topButton(QStringLiteral("Mute sound")), 16),
                 faPixmap(QStringLiteral("volume-high"), lightDim, 16).toImage());
        // The page under the sheet really is repainted in the light colours.
        QCOMPARE(window->currentPage()->grab().toImage().pixelColor(5, 300), QColor(lightPalette().bg));

        QTest::mouseClick(theme, Qt::LeftButton);
        QCOMPARE(savedSettings().value(QStringLiteral("theme")).toString(), QStringLiteral("dark"));
        QVERIFY(window->styleSheet().contains(QStringLiteral("#14171C")));
    }

    void accentAndStyle_restyleAndSave()
    {
        open();
        window->applyAccent(QStringLiteral("purple"));
        QVERIFY(window->styleSheet().contains(QStringLiteral("#8B5CF6")));
        window->applyStyle(QStringLiteral("legacy"));
        QVERIFY(window->styleSheet().contains(QStringLiteral("qlineargradient")));
        const QJsonObject saved = savedSettings();
        QCOMPARE(saved.value(QStringLiteral("accent")).toString(), QStringLiteral("purple"));
        QCOMPARE(saved.value(QStringLiteral("ui_style")).toString(), QStringLiteral("legacy"));
        // A second window (the next start) comes up with both.
        open();
        QVERIFY(window->styleSheet().contains(QStringLiteral("#8B5CF6")));
        QVERIFY(window->styleSheet().contains(QStringLiteral("qlineargradient")));
    }

    void contextToast_showsAToastAndTheStatusLine()
    {
        open();
        context->toast(QStringLiteral("Prediction ready"), QStringLiteral("success"));
        const QList<Toast *> toasts = window->toastManager()->toasts();
        QCOMPARE(toasts.size(), 1);
        QCOMPARE(toasts.first()->message(), QStringLiteral("Prediction ready"));
        QCOMPARE(toasts.first()->remainingMs(), 3400);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Prediction ready"));
        // The toast sits in the window's corner, above the status bar's edge.
        QCOMPARE(toasts.first()->geometry().right() + 1, window->width() - 20);
    }

    void maximizeButton_togglesAndSwapsItsIcon()
    {
        open();
        QPushButton *maximize = titleBarButton(QStringLiteral("Maximize"));
        const QColor dim(darkPalette().textDim);
        QCOMPARE(iconImage(maximize, 12), faPixmap(QStringLiteral("expand"), dim, 12).toImage());
        QTest::mouseClick(maximize, Qt::LeftButton);
        QTRY_VERIFY(window->isMaximized());
        QCOMPARE(iconImage(maximize, 12), faPixmap(QStringLiteral("window-restore"), dim, 12).toImage());
        // A double-click on the bar restores it.
        QTest::mouseDClick(window->findChild<TitleBar *>(), Qt::LeftButton, {}, QPoint(300, 18));
        QTRY_VERIFY(!window->isMaximized());
        QCOMPARE(iconImage(maximize, 12), faPixmap(QStringLiteral("expand"), dim, 12).toImage());
    }

    void maximizedByTheWindowSystem_swapsTheIconToo()
    {
        open();
        QPushButton *maximize = titleBarButton(QStringLiteral("Maximize"));
        window->showMaximized();
        QTRY_COMPARE(iconImage(maximize, 12),
                     faPixmap(QStringLiteral("window-restore"), QColor(darkPalette().textDim), 12).toImage());
        window->showNormal();
        QTRY_COMPARE(iconImage(maximize, 12),
                     faPixmap(QStringLiteral("expand"), QColor(darkPalette().textDim), 12).toImage());
    }

    void titleBarDrag_movesTheWindow()
    {
        open();
        window->move(100, 100);
        const QPoint before = window->pos();
        auto *bar = window->findChild<TitleBar *>();
        sendMouse(bar, QEvent::MouseButtonPress, QPoint(300, 18), Qt::LeftButton);
        sendMouse(bar, QEvent::MouseMove, QPoint(340, 48), Qt::LeftButton);
        sendMouse(bar, QEvent::MouseButtonRelease, QPoint(340, 48), Qt::NoButton);
        QTRY_COMPARE(window->pos(), before + QPoint(40, 30));
    }

    void sizeGrip_resizesTheWindow()
    {
        open();
        // The grip never grows a window past the screen, and the test screen
        // is only 800 px wide.
        window->setMinimumSize(400, 300);
        window->setGeometry(0, 0, 600, 500);
        QTRY_COMPARE(window->size(), QSize(600, 500));
        const QSize before = window->size();
        auto *grip = window->statusBar()->findChild<QSizeGrip *>();
        QVERIFY(grip && grip->isVisible());
        const QPoint start(grip->width() / 2, grip->height() / 2);
        sendMouse(grip, QEvent::MouseButtonPress, start, Qt::LeftButton);
        sendMouse(grip, QEvent::MouseMove, start + QPoint(60, 40), Qt::LeftButton);
        sendMouse(grip, QEvent::MouseButtonRelease, start + QPoint(60, 40), Qt::NoButton);
        QTRY_COMPARE(window->size(), before + QSize(60, 40));
    }

    void closeButton_closesTheWindow()
    {
        open();
        QTest::mouseClick(titleBarButton(QStringLiteral("Close")), Qt::LeftButton);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
