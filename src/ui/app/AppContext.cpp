#include "AppContext.h"

#include "app/KeyStore.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "app/WorkerPool.h"
#include "data/BlockingRequest.h"
#include "ui/common/SoundManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QException>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QUnhandledException>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

namespace {

// The settings copy of the task running on this thread, if any.
thread_local const Settings *t_taskSettings = nullptr;

QString describeCurrentException()
{
    try {
        throw;
    } catch (const QUnhandledException &e) {
        // QtConcurrent wraps exceptions that are not QExceptions.
        if (e.exception()) {
            try {
                std::rethrow_exception(e.exception());
            } catch (...) {
                return describeCurrentException();
            }
        }
    } catch (const std::runtime_error &e) {
        // Caught before QException: the program's errors derive from both,
        // and through std::exception they would be ambiguous.
        return QString::fromUtf8(e.what());
    } catch (const QException &e) {
        return QString::fromUtf8(e.what());
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return QStringLiteral("Unknown error");
}

} // namespace

AppContext::AppContext(RelayConfig relayConfig, QObject *parent)
    : QObject(parent)
    , settings(Settings::load())
    , favorites(favoritesFilePath())
    , history(historyDatabasePath())
    , relay(std::move(relayConfig))
{
    pool = workerPool();
    backgroundPool = new QThreadPool(this);
    backgroundPool->setMaxThreadCount(12);
    sound = std::make_unique<SoundManager>(settings.sound_enabled, settings.sound_volume);
    snapshotSettings();
}

void AppContext::loadStoredApiKey()
{
    resolveApiKey(settings, this, [this]() { snapshotSettings(); });
}

void AppContext::openHistory()
{
    runAsync<QString>(
        [this]() { return history.setAsideCopy(); },
        [this](const QString &copy) {
            if (!copy.isEmpty())
                toast(QStringLiteral("Your prediction history could not be read. It was kept as %1 "
                                     "and a new one started.")
                          .arg(QFileInfo(copy).fileName()),
                      QStringLiteral("error"));
        });
}

AppContext::~AppContext()
{
    // Work still running may use the clients owned here. (The program never
    // destroys its context; this matters to tests.)
    backgroundPool->waitForDone();
    pool->waitForDone();
}

void AppContext::shutdown(int graceMs)
{
    m_shuttingDown = true;
    cancelBlockingRequests();
    const QDeadlineTimer deadline(graceMs);
    pool->waitForDone(int(deadline.remainingTime()));
    backgroundPool->waitForDone(int(deadline.remainingTime()));
    // Hands over what finished meanwhile: a prediction that came back is
    // stored even though its card will never be seen again.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

std::unique_ptr<Predictor> AppContext::getPredictor() const
{
    // A copy taken on the GUI thread: the settings page may be changing the
    // key or the model while this runs on a worker.
    const Settings current = currentSettings();
    return std::make_unique<Predictor>(current.openai_api_key, current.openai_model, relay.baseUrl,
                                       relay.token, current.openai_base_url);
}

void AppContext::runBackground(std::function<void()> work, std::function<void()> onDone,
                               ErrorCallback onError)
{
    auto *watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, onDone = std::move(onDone), onError = std::move(onError)]() {
                watcher->deleteLater();
                finishTask(
                    "runBackground",
                    [&]() {
                        // Rethrows what the work function threw.
                        watcher->waitForFinished();
                        if (onDone)
                            onDone();
                    },
                    onError);
            });
    startTask(
        [watcher, target = backgroundPool, work = std::move(work), snapshot = snapshotSettings()]() mutable {
            watcher->setFuture(QtConcurrent::run(target, [work = std::move(work), snapshot]() {
                TaskScope scope(snapshot);
                work();
            }));
        });
}

void AppContext::startTask(std::function<void()> launch)
{
    if (m_holdingTasks)
        m_heldTasks.push_back(std::move(launch));
    else
        launch();
}

void AppContext::holdTasksUntilFirstFrame(int maxWaitMs)
{
    m_holdingTasks = true;
    // A window that starts hidden or minimised paints nothing for a while.
    QTimer::singleShot(maxWaitMs, this, &AppContext::releaseHeldTasks);
}

void AppContext::releaseHeldTasks()
{
    m_holdingTasks = false;
    const std::vector<std::function<void()>> held = std::exchange(m_heldTasks, {});
    for (const auto &launch : held)
        launch();
}

void AppContext::toast(const QString &message, const QString &kind)
{
    if (!m_shuttingDown)
        emit toastRequested(message, kind);
}

void AppContext::play(const QString &name)
{
    if (sound && !m_shuttingDown)
        sound->play(name);
}

Settings AppContext::currentSettings() const
{
    if (t_taskSettings)
        return *t_taskSettings;
    if (QThread::currentThread() == thread())
        return settings;
    // A worker that was not started through runAsync/runBackground gets the
    // copy of the latest task start rather than racing the GUI thread.
    return *snapshotSettings();
}

AppContext::SettingsSnapshot AppContext::snapshotSettings() const
{
    QMutexLocker locker(&m_snapshotLock);
    if (QThread::currentThread() == thread())
        m_latestSnapshot = std::make_shared<const Settings>(settings);
    return m_latestSnapshot;
}

AppContext::TaskScope::TaskScope(SettingsSnapshot snapshot)
    : m_snapshot(std::move(snapshot))
    , m_previous(t_taskSettings)
{
    t_taskSettings = m_snapshot.get();
}

AppContext::TaskScope::~TaskScope()
{
    t_taskSettings = m_previous;
}

void AppContext::finishTask(const char *runner, const std::function<void()> &deliver,
                            const ErrorCallback &onError)
{
    QString message;
    try {
        deliver();
        return;
    } catch (...) {
        message = describeCurrentException();
    }
    appLog(QStringLiteral("[EXC] %1 caught: %2").arg(QLatin1String(runner), message));
    // At quit the failures are mostly the cancelled requests: nobody is
    // left to read about them.
    if (!onError || m_shuttingDown)
        return;
    try {
        onError(message);
    } catch (...) {
        appLog(QStringLiteral("[EXC] %1 caught: %2").arg(QLatin1String(runner), describeCurrentException()));
    }
}
