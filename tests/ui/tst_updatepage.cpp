#include "UiHarness.h"
#include "app/Constants.h"
#include "services/Updater.h"
#include "ui/pages/UpdatePage.h"
#include "ui/shell/UpdatePrompt.h"

#include <QDesktopServices>
#include <QTcpServer>

namespace {

const QString Version = u"/version.txt"_s;
const QString Installer = u"/Tolvo-Setup.exe"_s;
const QString UpToDate = u"You're up to date."_s;
const QString Unreachable = u"Couldn't reach the update server."_s;
const QString Opened = u"Opened the download page in your browser."_s;

// The address of a port that nothing listens on.
QString closedBase()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return u"http://127.0.0.1:%1"_s.arg(probe.serverPort());
}

} // namespace

class TestUpdatePage : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void openUrl(const QUrl &url) { openedUrls.append(url); }

private:
    std::unique_ptr<UiHarness> ui;
    std::unique_ptr<UpdatePage> page;
    QList<QUrl> openedUrls;
    QStringList promptsSeen;

    void openPage()
    {
        ui->start();
        page = std::make_unique<UpdatePage>(ui->context.get());
        page->setUpdateBase(ui->server.baseUrl());
        page->setInstallerAvailable(false);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    }
    QString status() const { return labelNamed(page.get(), u"Update status"_s)->text(); }
    QPushButton *checkButton() const { return buttonWithText(page.get(), u"  Check for updates"_s); }
    QPushButton *updateButton() const { return buttonWithText(page.get(), u"  Update now"_s); }
    void check()
    {
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QTRY_VERIFY(checkButton()->isEnabled());
    }
    // Answers every update prompt with the button named `answer`, noting its heading.
    void answerPrompts(const QString &answer)
    {
        auto *timer = new QTimer(this);
        timer->setInterval(20);
        connect(timer, &QTimer::timeout, this, [this, answer]() {
            auto *prompt = qobject_cast<UpdatePrompt *>(QApplication::activeModalWidget());
            if (!prompt || !prompt->isVisible())
                return;
            promptsSeen.append(prompt->findChild<QLabel *>(u"PromptHeading"_s)->text());
            QTest::mouseClick(buttonWithText(prompt, answer), Qt::LeftButton);
        });
        timer->start();
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(u"http"_s, this, "openUrl");
        QDesktopServices::setUrlHandler(u"https"_s, this, "openUrl");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(u"http"_s);
        QDesktopServices::unsetUrlHandler(u"https"_s);
    }
    void init()
    {
        ui = std::make_unique<UiHarness>();
        // The installer is downloaded to the temporary folder.
        qputenv("TMPDIR", ui->env.root().toUtf8());
        openedUrls.clear();
        promptsSeen.clear();
    }
    void cleanup()
    {
        qDeleteAll(findChildren<QTimer *>());
        page.reset();
        ui.reset();
    }

    void check_showsWhatTheServerSays_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("offered");
        QTest::newRow("same version") << APP_VERSION.toUtf8() + "\n" << UpToDate << false;
        // Only a newer x.y.z is offered; an older one or garbage never replaces what runs.
        QTest::newRow("newer") << QByteArray(" 9.4.0 ") << u"Version 9.4.0 is available."_s << true;
        QTest::newRow("no server") << QByteArray() << Unreachable << false;
    }

    void check_showsWhatTheServerSays()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, status);
        QFETCH(bool, offered);
        ui->server.route(Version, StubResponse::json("1.6.0"));
        openPage();
        QVERIFY(this->status().isEmpty() && updateButton()->isHidden());
        check();
        QVERIFY(updateButton()->isVisible());

        // A second check replaces the offer of the first.
        ui->server.route(Version, StubResponse::json(reply));
        if (reply.isNull())
            page->setUpdateBase(closedBase());
        QTest::mouseClick(checkButton(), Qt::LeftButton);
        QCOMPARE(this->status(), u"Checking…"_s);
        QVERIFY(!checkButton()->isEnabled());
        QTRY_COMPARE(this->status(), status);
        QVERIFY(checkButton()->isEnabled());
        QCOMPARE(updateButton()->isVisible(), offered);
    }

    void updateNow_withAnInstaller_failuresGiveTheButtonsBack()
    {
        if (canRunInstaller())
            QSKIP("this platform would really start the downloaded installer");
        ui->server.route(Version, StubResponse::json("1.6.0"));
        ui->server.route(Installer, delayed(StubResponse::error(500), 300));
        openPage();
        page->setInstallerAvailable(true);
        check();
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QVERIFY(status().startsWith(u"Downloading update… Tolvo will quit"_s));
        QVERIFY(!checkButton()->isEnabled() && !updateButton()->isEnabled());
        QTRY_COMPARE(status(), u"Download failed — the update server may be unreachable."_s);
        QVERIFY(checkButton()->isEnabled() && updateButton()->isEnabled());
        QVERIFY(openedUrls.isEmpty());

        // Downloaded, but not signed by the project's key: never kept, never started.
        ui->server.route(Installer, StubResponse::json("MZ-installer"));
        ui->server.route(Installer + u".minisig"_s, StubResponse::json("untrusted comment: no\nRWQ=\n"));
        QTest::mouseClick(updateButton(), Qt::LeftButton);
        QTRY_COMPARE(status(), u"The downloaded update failed its signature check and was deleted."_s);
        QVERIFY(updateButton()->isEnabled());
        QVERIFY(QDir(ui->env.root()).entryList({u"Tolvo-Setup*"_s}, QDir::Files).isEmpty());
    }

    void startup_offersOnlyANewVersion_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<QStringList>("toasts");
        QTest::newRow("declined") << QByteArray("1.6.0\n") << "Not now" << QStringList{"Tolvo 1.6.0 is ready"}
                                  << QStringList{};
        // A failed check says nothing: the user did not ask for it.
        QTest::newRow("server down") << QByteArray() << "Not now" << QStringList{} << QStringList{};
        QTest::newRow("accepted") << QByteArray("1.6.0") << "Update now"
                                  << QStringList{"Tolvo 1.6.0 is ready"} << QStringList{Opened};
    }

    void startup_offersOnlyANewVersion()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, answer);
        QFETCH(QStringList, prompts);
        QFETCH(QStringList, toasts);
        if (answer == "Update now"_L1 && canRunInstaller())
            QSKIP("this platform runs the installer instead");
        ui->server.route(Version, StubResponse::json(reply));
        answerPrompts(answer);
        ui->start();
        ui->window->setUpdateBase(reply.isNull() ? closedBase() : ui->server.baseUrl());
        ui->show();
        // The check runs a moment after start; it has finished once the log
        // says so or its reply was handled.
        if (reply.isNull())
            QTRY_VERIFY_WITH_TIMEOUT(
                TestEnv::readFile(logFilePath()).contains("Couldn't reach the update server."), WAIT_MS);
        else
            QTRY_COMPARE_WITH_TIMEOUT(ui->server.count(Version), 1, WAIT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(ui->tasksDone(), WAIT_MS);
        QCOMPARE(promptsSeen, prompts);
        QCOMPARE(ui->toasts(), toasts);
        QCOMPARE(openedUrls.size(), toasts.size());
        QCOMPARE(ui->server.count(Installer), 0);
        QVERIFY(ui->window->isVisible());
    }
};

QTEST_MAIN(TestUpdatePage)
#include "tst_updatepage.moc"
