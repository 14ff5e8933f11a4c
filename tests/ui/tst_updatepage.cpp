#include "QuietEspn.h"
#include "app/Constants.h"
#include "app/Paths.h"
#include "services/Updater.h"
#include "stubserver/StubServer.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/SoundManager.h"
#include "ui/common/Theme.h"
#include "ui/pages/UpdatePage.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/Sidebar.h"
#include "ui/shell/Toast.h"
#include "ui/shell/ToastManager.h"
#include "ui/shell/UpdatePrompt.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

const QString UpToDate = QStringLiteral("You're up to date.");
const QString Unreachable = QStringLiteral("Couldn't reach the update server.");
const QString Opened = QStringLiteral("Opened the download page in your browser.");

QPushButton *buttonWithText(QWidget *root, const QString &text)
{
    for (QPushButton *button : root->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// The address of a port that nothing listens on.
QString closedBase()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    return base;
}

} // namespace

class TestUpdatePage : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void openUrl(const QUrl &url) { openedUrls.append(url); }

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StubServer> server;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<UpdatePage> page;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QSignalSpy> played;
    QList<QUrl> openedUrls;
    QStringList promptsSeen;
    bool wroteLog = false;

    void makeContext()
    {
        context = std::make_unique<AppContext>(RelayConfig{});
        played = std::make_unique<QSignalSpy>(context->sound.get(), &SoundManager::played);
    }

    void openPage(const QString &base)
    {
        makeContext();
        page = std::make_unique<UpdatePage>(context.get());
        page->setUpdateBase(base);
        page->setInstallerAvailable(false);
        page->resize(700, 500);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    }

    // The main window as the program builds it, with its start-up check
    // pointed at `base`.
    void openWindow(const QString &base)
    {
        useQuietEspn(*server);
        makeContext();
        window = std::make_unique<MainWindow>(context.get());
        window->setUpdateBase(base);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    static QLabel *statusOf(QWidget *root)
    {
        for (QLabel *label : root->findChildren<QLabel *>()) {
            if (label->accessibleName() == QLatin1String("Update status"))
                return label;
        }
        return nullptr;
    }
    QLabel *status() const { return statusOf(page.get()); }
    QPushButton *checkButton() const
    {
        return buttonWithText(page.get(), QStringLiteral("  Check for updates"));
    }
    QPushButton *updateButton() const { return buttonWithText(page.get(), QStringLiteral("  Update now")); }
    QPlainTextEdit *logView() const { return page->findChild<QPlainTextEdit *>(); }
    QStringList playedNames() const
    {
        QStringList names;
        for (const QList<QVariant> &call : *played)
            names.append(call.first().toString());
        return names;
    }
    QStringList toastMessages() const
    {
        QStringList messages;
        for (Toast *toast : window->toastManager()->toasts())
            messages.append(toast->message());
        return messages;
    }

    // Waits for update prompts and answers each one with the button named
    // `answer`, noting its heading.
    void answerPrompts(const QString &answer)
    {
        auto *timer = new QTimer(this);
        timer->setInterval(20);
        connect(timer, &QTimer::timeout, this, [this, answer]() {
            auto *prompt = qobject_cast<UpdatePrompt *>(QApplication::activeModalWidget());
            if (!prompt || !prompt->isVisible())
                return;
            promptsSeen.append(prompt->findChild<QLabel *>(QStringLiteral("PromptHeading"))->text());
            QTest::mouseClick(buttonWithText(prompt, answer), Qt::LeftButton);
        });
        timer->start();
    }

    void clickCheckAndWait()
    {
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QTRY_VERIFY(checkButton()->isEnabled());
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void init()
    {
        env = std::make_unique<TestEnv>();
        // The installer is downloaded to the temporary folder.
        qputenv("TMPDIR", env->root().toUtf8());
        server = std::make_unique<StubServer>();
        openedUrls.clear();
        promptsSeen.clear();
    }

    void cleanup()
    {
        for (QTimer *timer : findChildren<QTimer *>())
            delete timer;
        page.reset();
        window.reset();
        played.reset();
        context.reset();
        server.reset();
        env.reset();
        if (wroteLog)
            QFile::remove(UpdatePage::updateLogPath());
        wroteLog = false;
    }

    void check_sameVersionIsUpToDate_anyOtherIsOffered()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json(APP_VERSION.toUtf8() + "\n"));
        openPage(server->baseUrl());
        QVERIFY(status()->text().isEmpty());
        QVERIFY(updateButton()->isHidden());

        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QCOMPARE(status()->text(), QStringLiteral("Checking…"));
        QVERIFY(!checkButton()->isEnabled());
        QTRY_COMPARE(status()->text(), UpToDate);
        QVERIFY(checkButton()->isEnabled());
        QVERIFY(updateButton()->isHidden());

        // Any other text is offered, an older version too.
        server->route(QStringLiteral("/version.txt"), StubResponse::json(" 1.4.0 "));
        clickCheckAndWait();
        QCOMPARE(status()->text(), QStringLiteral("Version 1.4.0 is available."));
        QVERIFY(updateButton()->isVisible());
    }

    void check_failures_showTheMessage_andLeaveTheButtonsUsable()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.6.0"));
        openPage(server->baseUrl());
        clickCheckAndWait();
        QVERIFY(updateButton()->isVisible());

        // A blank file: the offer from the last check goes away.
        server->route(QStringLiteral("/version.txt"), StubResponse::json("  \n"));
        clickCheckAndWait();
        QCOMPARE(status()->text(), Unreachable);
        QVERIFY(updateButton()->isHidden());

        page->setUpdateBase(closedBase());
        clickCheckAndWait();
        QCOMPARE(status()->text(), Unreachable);

        page->setUpdateBase(server->baseUrl());
        server->route(QStringLiteral("/version.txt"), StubResponse::json(APP_VERSION.toUtf8()));
        clickCheckAndWait();
        QCOMPARE(status()->text(), UpToDate);
    }

    void updateNow_withoutAnInstaller_opensTheDownloadPage()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.6.0"));
        openPage(server->baseUrl());
        clickCheckAndWait();
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QCOMPARE(openedUrls, QList<QUrl>{QUrl(server->baseUrl())});
        QCOMPARE(status()->text(), Opened);
        QVERIFY(checkButton()->isEnabled());
        QVERIFY(updateButton()->isEnabled());
        QCOMPARE(playedNames(), QStringList{QStringLiteral("click")});
        QTest::qWait(100);
        QCOMPARE(server->count(QStringLiteral("/Tolvo-Setup.exe")), 0);
    }

    void updateNow_withAnInstaller_failuresGiveTheButtonsBack()
    {
        if (canRunInstaller())
            QSKIP("this platform would really start the downloaded installer");
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.6.0"));
        StubResponse failing = StubResponse::error(500);
        failing.delayMs = 300;
        server->route(QStringLiteral("/Tolvo-Setup.exe"), failing);
        openPage(server->baseUrl());
        page->setInstallerAvailable(true);
        clickCheckAndWait();

        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(status()->text().startsWith(QStringLiteral("Downloading update… Tolvo will quit")));
        QVERIFY(!checkButton()->isEnabled());
        QVERIFY(!updateButton()->isEnabled());
        QTRY_COMPARE(status()->text(),
                     QStringLiteral("Download failed — the update server may be unreachable."));
        QVERIFY(checkButton()->isEnabled());
        QVERIFY(updateButton()->isEnabled());
        QVERIFY(openedUrls.isEmpty());

        // Downloaded, but there is no installer to start here.
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json("MZ-installer"));
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QTRY_COMPARE(status()->text(), QStringLiteral("Couldn't start the downloaded installer."));
        QVERIFY(updateButton()->isEnabled());
        QCOMPARE(TestEnv::readFile(env->root() + QStringLiteral("/Tolvo-Setup.exe")),
                 QByteArray("MZ-installer"));
    }

    void history_showsTheInstallersLog_scrolledToTheEnd()
    {
        if (QFile::exists(UpdatePage::updateLogPath()))
            QSKIP("an update log already lies beside the test program");
        openPage(server->baseUrl());
        QCOMPARE(logView()->toPlainText(), QStringLiteral("No updates applied yet."));
        QVERIFY(logView()->isReadOnly());
        page.reset();

        QByteArray log;
        for (int i = 1; i <= 200; ++i)
            log += "2026-05-0" + QByteArray::number(i % 9 + 1) + " step " + QByteArray::number(i) + "\n";
        log += "Updated to 1.6.0 \xE2\x9C\x93";
        TestEnv::writeFile(UpdatePage::updateLogPath(), log);
        wroteLog = true;
        openPage(server->baseUrl());
        QCOMPARE(logView()->toPlainText(), QString::fromUtf8(log));
        QScrollBar *bar = logView()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());

        TestEnv::writeFile(UpdatePage::updateLogPath(), "one line");
        page->reloadLog();
        QCOMPARE(logView()->toPlainText(), QStringLiteral("one line"));
    }

    void prompt_keepsItsDarkLookOnALightWindow_andFitsItsText()
    {
        QWidget lightWindow;
        lightWindow.setStyleSheet(
            buildStylesheet(QStringLiteral("light"), QStringLiteral("green"), QStringLiteral("standard")));
        UpdatePrompt prompt(&lightWindow, QStringLiteral("1.6.0"));
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        QCOMPARE(prompt.width(), 360);
        // The version comes from the server and is shown as it is, never as markup.
        QCOMPARE(prompt.findChild<QLabel *>(QStringLiteral("PromptHeading"))->textFormat(), Qt::PlainText);
        QVERIFY(prompt.findChild<QLabel *>(QStringLiteral("Muted"))
                    ->text()
                    .startsWith(QStringLiteral("You're on %1.").arg(APP_VERSION)));
        QPushButton *later = buttonWithText(&prompt, QStringLiteral("Not now"));
        QPushButton *update = buttonWithText(&prompt, QStringLiteral("Update now"));
        // One above the other, "Not now" first, and nothing cut off below.
        QVERIFY(later->geometry().bottom() < update->geometry().top());
        QVERIFY(prompt.height() >= prompt.minimumSizeHint().height());

        const QImage look = prompt.grab().toImage();
        QCOMPARE(look.pixelColor(prompt.width() / 2, later->mapTo(&prompt, QPoint(0, 0)).y() - 6),
                 QColor(QStringLiteral("#14171C")));
        QCOMPARE(look.pixelColor(0, prompt.height() / 2), QColor(QStringLiteral("#2C323E")));
    }

    void prompt_answers()
    {
        for (const QString &answer : {QStringLiteral("Not now"), QStringLiteral("Update now")}) {
            answerPrompts(answer);
            const bool accepted = UpdatePrompt::ask(nullptr, QStringLiteral("2.0.0"));
            QCOMPARE(accepted, answer == QLatin1String("Update now"));
            qDeleteAll(findChildren<QTimer *>());
        }
        QCOMPARE(promptsSeen, QStringList(2, QStringLiteral("Tolvo 2.0.0 is ready")));

        // The prompt comes up by itself: a stray Enter declines, and so does
        // the title bar's close button.
        QTimer::singleShot(50, this,
                           []() { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
        // Should Enter do nothing at all, fail rather than hang.
        QTimer::singleShot(3000, this, []() {
            if (auto *prompt = qobject_cast<UpdatePrompt *>(QApplication::activeModalWidget()))
                prompt->accept();
        });
        QVERIFY(!UpdatePrompt::ask(nullptr, QStringLiteral("2.0.0")));
        QTimer::singleShot(50, this, []() {
            QWidget *prompt = QApplication::activeModalWidget();
            QTest::mouseClick(prompt->findChild<QPushButton *>(QStringLiteral("TitleBarCloseButton")),
                              Qt::LeftButton);
        });
        QVERIFY(!UpdatePrompt::ask(nullptr, QStringLiteral("2.0.0")));
    }

    void startup_newVersionDeclined_downloadsNothing()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.6.0\n"));
        server->route(QStringLiteral("/Tolvo-Setup.exe"), StubResponse::json("MZ"));
        answerPrompts(QStringLiteral("Not now"));
        // The real start-up timer, 2.5 s after the window is built.
        openWindow(server->baseUrl());
        QTest::qWait(1500);
        QVERIFY(promptsSeen.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(promptsSeen, QStringList{QStringLiteral("Tolvo 1.6.0 is ready")}, 5000);
        QTest::qWait(300);
        QCOMPARE(server->count(QStringLiteral("/version.txt")), 1);
        QCOMPARE(server->count(QStringLiteral("/Tolvo-Setup.exe")), 0);
        QVERIFY(openedUrls.isEmpty());
        QVERIFY(toastMessages().isEmpty());
        QVERIFY(window->isVisible());
    }

    void startup_upToDate_showsNothing()
    {
        server->route(QStringLiteral("/version.txt"), StubResponse::json(APP_VERSION.toUtf8() + "\r\n"));
        answerPrompts(QStringLiteral("Not now"));
        openWindow(server->baseUrl());
        QTRY_COMPARE_WITH_TIMEOUT(server->count(QStringLiteral("/version.txt")), 1, 5000);
        QTest::qWait(300);
        QVERIFY(promptsSeen.isEmpty());
        QVERIFY(toastMessages().isEmpty());
    }

    void startup_serverDown_showsNothing_whileTheUpdatePageTells()
    {
        answerPrompts(QStringLiteral("Not now"));
        openWindow(closedBase());
        QTRY_VERIFY_WITH_TIMEOUT(TestEnv::readFile(logFilePath())
                                     .contains("[EXC] runAsync caught: Couldn't reach the update server."),
                                 5000);
        QTest::qWait(200);
        QVERIFY(promptsSeen.isEmpty());
        QVERIFY(toastMessages().isEmpty());
        QCOMPARE(window->statusBar()->currentMessage(), QString());

        QTest::mouseClick(window->findChild<Sidebar *>()->buttonFor(QStringLiteral("update")),
                          Qt::LeftButton);
        QWidget *updatePage = window->page(QStringLiteral("update"));
        QCOMPARE(window->currentPage(), updatePage);
        QTest::mouseClick(buttonWithText(updatePage, QStringLiteral("  Check for updates")), Qt::LeftButton);
        QTRY_COMPARE(statusOf(updatePage)->text(), Unreachable);
    }

    void startup_accepted_opensTheDownloadPageAndKeepsRunning()
    {
        if (canRunInstaller())
            QSKIP("this platform runs the installer instead");
        server->route(QStringLiteral("/version.txt"), StubResponse::json("1.6.0"));
        answerPrompts(QStringLiteral("Update now"));
        openWindow(server->baseUrl());
        QTRY_COMPARE_WITH_TIMEOUT(openedUrls, QList<QUrl>{QUrl(server->baseUrl())}, 5000);
        QCOMPARE(promptsSeen.size(), 1);
        QCOMPARE(toastMessages(), QStringList{Opened});
        QCOMPARE(window->statusBar()->currentMessage(), Opened);
        QCOMPARE(server->count(QStringLiteral("/Tolvo-Setup.exe")), 0);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TestUpdatePage)
#include "tst_updatepage.moc"
