#include "UiHarness.h"
#include "app/Log.h"
#include "data/CachedJsonClient.h"

#include <QFileInfo>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <stdexcept>

namespace {

QStringList exceptionLines()
{
    QStringList lines;
    for (const QString &line : QString::fromUtf8(TestEnv::readFile(logFilePath())).split(u'\n')) {
        if (line.contains(u"[EXC]"_s))
            lines.append(line);
    }
    return lines;
}

RelayConfig relay()
{
    return {u"http://127.0.0.1:9"_s, u"token_0123456789abcdef0123456789ab"_s};
}

using Thrower = std::function<void()>;

} // namespace

Q_DECLARE_METATYPE(Thrower)

class TestAppContext : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<AppContext> context;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        // A developer's own key would override every settings file here.
        qunsetenv("OPENAI_API_KEY");
        context = std::make_unique<AppContext>(relay());
    }
    void cleanup()
    {
        context.reset();
        env.reset();
    }

    void runAsync_failure_reachesOnError_afterOneLogLine_data()
    {
        QTest::addColumn<Thrower>("work");
        QTest::addColumn<bool>("inOnDone");
        QTest::addColumn<QString>("message");
        QTest::newRow("api error") << Thrower([] { throw ApiError(u"Network error contacting ESPN"_s); })
                                   << false << u"Network error contacting ESPN"_s;
        // Not a QException: QtConcurrent wraps it on the way to this thread.
        QTest::newRow("standard") << Thrower([] { throw std::logic_error("bad state"); }) << false
                                  << u"bad state"_s;
        QTest::newRow("in onDone") << Thrower([] { throw std::runtime_error("card is gone"); }) << true
                                   << u"card is gone"_s;
    }

    void runAsync_failure_reachesOnError_afterOneLogLine()
    {
        QFETCH(Thrower, work);
        QFETCH(bool, inOnDone);
        QFETCH(QString, message);
        QString error;
        QThread *callback = nullptr;
        context->runAsync<int>(
            [work, inOnDone]() {
                if (!inOnDone)
                    work();
                return 1;
            },
            [work, inOnDone](int) {
                if (inOnDone)
                    work();
            },
            [&](const QString &text) {
                error = text;
                callback = QThread::currentThread();
            });
        QTRY_COMPARE(error, message);
        QCOMPARE(callback, QThread::currentThread());
        QCOMPARE(exceptionLines().size(), 1);
        QVERIFY2(exceptionLines().first().endsWith(u" [EXC] runAsync caught: "_s + message),
                 qPrintable(exceptionLines().first()));

        // Without an error callback: logged, and the context carries on.
        context->runAsync<int>([work]() -> int {
            work();
            return 0;
        });
        QTRY_COMPARE(exceptionLines().size(), 2);
        int value = 0;
        context->runAsync<int>([]() { return 7; }, [&](int v) { value = v; });
        QTRY_COMPARE(value, 7);
    }

    void work_seesTheSettingsOfItsStart()
    {
        context->settings.openai_api_key = u"sk-test"_s;
        context->settings.openai_model = u"gpt-4o"_s;
        QSemaphore changed;
        QStringList seen;
        context->runAsync<QStringList>(
            [&]() {
                changed.tryAcquire(1, 5000);
                return QStringList{context->currentSettings().openai_model, context->getPredictor()->model()};
            },
            [&](QStringList models) { seen = models; });
        // The settings page changes the model while the task runs.
        context->settings.openai_model = u"gpt-4.1"_s;
        changed.release();
        QTRY_COMPARE(seen, (QStringList{"gpt-4o", "gpt-4o"}));
        // The next task starts with the change.
        context->runBackground([&]() { seen = QStringList{context->currentSettings().openai_model}; });
        QTRY_COMPARE(seen, QStringList{"gpt-4.1"});
    }

    void heldTasks_startWhenReleased()
    {
        context->holdTasksUntilFirstFrame(60000);
        std::atomic<int> ran{0};
        context->runAsync<int>([&]() { return ++ran; });
        context->runBackground([&]() { ++ran; });
        // Nothing was handed to the pools: they are idle with neither task run.
        QVERIFY(context->pool->waitForDone(5000) && context->backgroundPool->waitForDone(5000));
        QCOMPARE(ran.load(), 0);
        context->releaseHeldTasks();
        QTRY_COMPARE(ran.load(), 2);
    }

    void openHistory_saysAnUnreadableDatabaseWasSetAside()
    {
        context.reset();
        TestEnv::writeFile(historyDatabasePath(), "not a database at all");
        context = std::make_unique<AppContext>(relay());
        QSignalSpy toasts(context.get(), &AppContext::toastRequested);
        context->openHistory();
        QTRY_COMPARE(toasts.size(), 1);
        QVERIFY(toasts.at(0).at(0).toString().contains(QFileInfo(historyDatabasePath()).fileName() +
                                                       u".corrupt-"_s));
        QCOMPARE(toasts.at(0).at(1).toString(), u"error"_s);
    }
};

QTEST_MAIN(TestAppContext)
#include "tst_appcontext.moc"
