#include "app/Log.h"
#include "app/Paths.h"
#include "data/CachedJsonClient.h"
#include "support/TestEnv.h"
#include "ui/app/AppContext.h"
#include "ui/common/SoundManager.h"

#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

QStringList exceptionLines()
{
    QStringList lines;
    const QStringList all = QString::fromUtf8(TestEnv::readFile(logFilePath())).split(QLatin1Char('\n'));
    for (const QString &line : all) {
        if (line.contains(QStringLiteral("[EXC]")))
            lines.append(line);
    }
    return lines;
}

RelayConfig relay()
{
    return {QStringLiteral("http://127.0.0.1:9"), QStringLiteral("token_0123456789abcdef0123456789ab")};
}

} // namespace

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

    void construction_loadsSettingsAndSizesThePools()
    {
        TestEnv::writeFile(settingsFilePath(), R"({"openai_model": "gpt-test", "sound_enabled": false})");
        AppContext fresh(relay());
        QCOMPARE(fresh.settings.openai_model, QStringLiteral("gpt-test"));
        QVERIFY(!fresh.sound->isEnabled());
        QVERIFY(fresh.pool->maxThreadCount() >= 16);
        QCOMPARE(fresh.backgroundPool->maxThreadCount(), 12);
        QCOMPARE(fresh.relay.token, relay().token);
    }

    void runAsync_deliversTheResultOnTheGuiThread()
    {
        QThread *gui = QThread::currentThread();
        QThread *worker = nullptr;
        QThread *callback = nullptr;
        QString result;
        context->runAsync<QString>(
            [&worker]() {
                worker = QThread::currentThread();
                return QStringLiteral("fixtures");
            },
            [&](QString value) {
                callback = QThread::currentThread();
                result = value;
            });
        QTRY_COMPARE(result, QStringLiteral("fixtures"));
        QVERIFY(worker && worker != gui);
        QCOMPARE(callback, gui);
        QVERIFY(exceptionLines().isEmpty());
    }

    void runAsync_workError_reachesOnErrorAfterOneLogLine()
    {
        QString error;
        QThread *callback = nullptr;
        bool done = false;
        context->runAsync<int>(
            []() -> int { throw ApiError(QStringLiteral("Network error contacting ESPN")); },
            [&](int) { done = true; },
            [&](const QString &message) {
                error = message;
                callback = QThread::currentThread();
            });
        QTRY_VERIFY(!error.isEmpty());
        QCOMPARE(error, QStringLiteral("Network error contacting ESPN"));
        QCOMPARE(callback, QThread::currentThread());
        QVERIFY(!done);
        const QStringList lines = exceptionLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            lines.first().endsWith(QStringLiteral(" [EXC] runAsync caught: Network error contacting ESPN")),
            qPrintable(lines.first()));
    }

    void runAsync_withoutOnError_logsAndCarriesOn()
    {
        std::atomic<bool> ran{false};
        context->runAsync<int>([&]() -> int {
            ran = true;
            throw ApiError(QStringLiteral("ESPN returned 500"));
        });
        QTRY_COMPARE(exceptionLines().size(), 1);
        QVERIFY(ran);
        // The context still works afterwards.
        int value = 0;
        context->runAsync<int>([]() { return 7; }, [&](int v) { value = v; });
        QTRY_COMPARE(value, 7);
        QCOMPARE(exceptionLines().size(), 1);
    }

    void runAsync_foreignExceptions_becomeMessagesToo()
    {
        QStringList errors;
        auto collect = [&](const QString &message) { errors.append(message); };
        // Not a QException: QtConcurrent wraps it on the way to this thread.
        context->runAsync<int>([]() -> int { throw std::logic_error("bad state"); }, {}, collect);
        QTRY_COMPARE(errors.size(), 1);
        context->runAsync<int>([]() -> int { throw 42; }, {}, collect);
        QTRY_COMPARE(errors.size(), 2);
        QCOMPARE(errors.at(0), QStringLiteral("bad state"));
        QCOMPARE(errors.at(1), QStringLiteral("Unknown error"));
        // UTF-8 messages arrive intact.
        context->runAsync<int>([]() -> int { throw ApiError(QStringLiteral("Kein Netz – später")); }, {},
                               collect);
        QTRY_COMPARE(errors.size(), 3);
        QCOMPARE(errors.at(2), QStringLiteral("Kein Netz – später"));
    }

    void runAsync_throwingOnDone_isReportedLikeAWorkError()
    {
        QString error;
        context->runAsync<int>([]() { return 1; }, [](int) { throw std::runtime_error("card is gone"); },
                               [&](const QString &message) { error = message; });
        QTRY_COMPARE(error, QStringLiteral("card is gone"));
        QCOMPARE(exceptionLines().size(), 1);
    }

    void runBackground_reportsDoneAndErrors()
    {
        bool done = false;
        QString error;
        context->runBackground([]() {}, [&]() { done = true; });
        context->runBackground([]() { throw ApiError(QStringLiteral("Upload failed")); },
                               [&]() { QFAIL("no"); }, [&](const QString &message) { error = message; });
        QTRY_VERIFY(done);
        QTRY_COMPARE(error, QStringLiteral("Upload failed"));
        const QStringList lines = exceptionLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(QStringLiteral(" [EXC] runBackground caught: Upload failed")));
        // Nothing to call back: still one line per failure, no crash.
        context->runBackground([]() { throw ApiError(QStringLiteral("again")); });
        QTRY_COMPARE(exceptionLines().size(), 2);
    }

    void twoTasks_runInParallel_callbacksOnTheGuiThread()
    {
        // Each work function waits until both have started: run one after
        // the other, the first would give up waiting.
        QSemaphore started;
        auto work = [&started]() {
            started.release();
            return started.tryAcquire(2, 5000) ? (started.release(2), true) : false;
        };
        QList<bool> results;
        QList<QThread *> callbackThreads;
        auto onDone = [&](bool together) {
            results.append(together);
            callbackThreads.append(QThread::currentThread());
        };
        context->runAsync<bool>(work, onDone);
        context->runAsync<bool>(work, onDone);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), 2, 10000);
        QCOMPARE(results, (QList<bool>{true, true}));
        QCOMPARE(callbackThreads, (QList<QThread *>{QThread::currentThread(), QThread::currentThread()}));
    }

    void workSeesTheSettingsOfItsStart()
    {
        context->settings.openai_model = QStringLiteral("model-at-start");
        QSemaphore changed;
        QString seen;
        context->runAsync<QString>(
            [&]() {
                changed.tryAcquire(1, 5000);
                return context->currentSettings().openai_model;
            },
            [&](QString model) { seen = model; });
        // The settings page changes the model while the task runs.
        context->settings.openai_model = QStringLiteral("model-changed");
        changed.release();
        QTRY_COMPARE(seen, QStringLiteral("model-at-start"));

        // The next task starts with the change.
        context->runBackground([&]() { seen = context->currentSettings().openai_model; });
        QTRY_COMPARE(seen, QStringLiteral("model-changed"));
        QCOMPARE(context->currentSettings().openai_model, QStringLiteral("model-changed"));
    }

    void getPredictor_usesTheRelayWithoutAKey()
    {
        context->settings.openai_model = QStringLiteral("gpt-4o-mini");
        const auto predictor = context->getPredictor();
        QCOMPARE(predictor->model(), QStringLiteral("gpt-4o-mini"));
        QVERIFY(predictor->endpoint().startsWith(relay().baseUrl));

        context->settings.openai_api_key = QStringLiteral("sk-test");
        QVERIFY(!context->getPredictor()->endpoint().startsWith(relay().baseUrl));
    }

    void getPredictor_withoutKeyOrCompleteRelay_failsInTheTask()
    {
        AppContext noRelay(RelayConfig{QStringLiteral("http://127.0.0.1:9"), QString()});
        QString error;
        noRelay.runAsync<QString>([&]() { return noRelay.getPredictor()->model(); }, {},
                                  [&](const QString &message) { error = message; });
        QTRY_COMPARE(error, QStringLiteral("No OpenAI API key configured. Add one in Settings."));
        QCOMPARE(exceptionLines().size(), 1);
        QVERIFY(exceptionLines().first().endsWith(
            QStringLiteral("[EXC] runAsync caught: No OpenAI API key configured. Add one in Settings.")));
    }

    void getPredictor_inATask_takesTheModelOfItsStart()
    {
        context->settings.openai_model = QStringLiteral("gpt-4o");
        QSemaphore changed;
        QString model;
        context->runAsync<QString>(
            [&]() {
                changed.tryAcquire(1, 5000);
                return context->getPredictor()->model();
            },
            [&](QString value) { model = value; });
        context->settings.openai_model = QStringLiteral("gpt-4.1");
        changed.release();
        QTRY_COMPARE(model, QStringLiteral("gpt-4o"));
    }

    void toastAndPlay_withoutWindowOrSound_doNothing()
    {
        context->toast(QStringLiteral("nobody sees this"), QStringLiteral("info"));
        context->sound.reset();
        context->play(QStringLiteral("click"));
    }
};

QTEST_MAIN(TestAppContext)
#include "tst_appcontext.moc"
