#pragma once

#include "ai/Predictor.h"
#include "app/RelayConfig.h"
#include "app/Settings.h"
#include "data/EspnApi.h"
#include "model/FavoritesStore.h"
#include "model/HistoryStore.h"

#include <QFutureWatcher>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class SoundManager;

// The one object every window, page and card is given: it owns the settings,
// the stores, the clients and the sound manager, and it is the only way the
// program runs blocking work off the GUI thread.
//
// Tasks are started on the GUI thread. Work functions run on a worker; onDone
// and onError always run on the GUI thread, one after the other. A failure in the work (or in onDone) becomes
// one log line and the onError text; the GUI thread never sees an exception.
class AppContext : public QObject
{
    Q_OBJECT

public:
    using ErrorCallback = std::function<void(const QString &)>;

    explicit AppContext(RelayConfig relay, QObject *parent = nullptr);
    ~AppContext() override;

    // A new model client for each call, from the settings the calling task
    // started with. Throws PredictorError when there is neither an API key
    // nor a complete relay configuration. Meant for work functions.
    std::unique_ptr<Predictor> getPredictor() const;

    void runBackground(std::function<void()> work, std::function<void()> onDone = {},
                       ErrorCallback onError = {});

    template <typename T>
    void runAsync(std::function<T()> work, std::function<void(T)> onDone = {}, ErrorCallback onError = {});

    // The window holds tasks back while it builds and paints its first frame
    // (at most `maxWaitMs`), so that their network and TLS set-up does not
    // compete with it; releaseHeldTasks() starts what was asked for meanwhile.
    void holdTasksUntilFirstFrame(int maxWaitMs = 1000);
    void releaseHeldTasks();

    // Announced through toastRequested, which the main window shows; dropped
    // while there is none.
    void toast(const QString &message, const QString &kind = QStringLiteral("info"));
    void play(const QString &name);

    // Called once as the program quits, after its event loop has ended:
    // cancels every blocking request, gives the workers up to `graceMs` to
    // return, and delivers what finished meanwhile. From then on failures,
    // toasts and sounds are dropped.
    void shutdown(int graceMs = 1500);
    bool isShuttingDown() const { return m_shuttingDown; }

    // Takes the API key from the system's secret store (or moves a key found
    // in settings.json there), without waiting: the store may take a while to
    // answer, or ask for the keyring to be unlocked. The window calls this
    // once it has shown its first frame.
    void loadStoredApiKey();
    // Opens the history database on a worker (the window calls this after
    // its first frame) and says, once, that an unreadable one was set aside.
    void openHistory();

    // The settings as the current task sees them: inside a work function, the
    // copy taken on the GUI thread when the task was started (the GUI thread
    // may be changing `settings` meanwhile); on the GUI thread, `settings`.
    Settings currentSettings() const;

    // GUI thread only: pages read and change it directly and call save().
    Settings settings;
    // Thread-safe: work functions call it directly.
    EspnApi espn;
    FavoritesStore favorites;
    HistoryStore history;
    QThreadPool *pool = nullptr;
    QThreadPool *backgroundPool = nullptr;
    RelayConfig relay;
    std::unique_ptr<SoundManager> sound;

signals:
    void toastRequested(const QString &message, const QString &kind);

private:
    using SettingsSnapshot = std::shared_ptr<const Settings>;

    // Makes a task's settings copy visible to currentSettings() on the worker
    // for as long as the work function runs.
    class TaskScope
    {
    public:
        explicit TaskScope(SettingsSnapshot snapshot);
        ~TaskScope();
        TaskScope(const TaskScope &) = delete;
        TaskScope &operator=(const TaskScope &) = delete;

    private:
        SettingsSnapshot m_snapshot;
        const Settings *m_previous;
    };

    bool m_shuttingDown = false;
    bool m_holdingTasks = false;
    std::vector<std::function<void()>> m_heldTasks;
    mutable QMutex m_snapshotLock;
    mutable SettingsSnapshot m_latestSnapshot;

    // On the GUI thread: a fresh copy of `settings`, also kept as the latest
    // one. Elsewhere: the latest copy.
    SettingsSnapshot snapshotSettings() const;
    // Runs deliver; if it throws, logs "[EXC] <runner> caught: <message>" and
    // hands the message to onError.
    void finishTask(const char *runner, const std::function<void()> &deliver, const ErrorCallback &onError);
    // Calls launch now, or keeps it for releaseHeldTasks().
    void startTask(std::function<void()> launch);
};

template <typename T>
void AppContext::runAsync(std::function<T()> work, std::function<void(T)> onDone, ErrorCallback onError)
{
    auto *watcher = new QFutureWatcher<T>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, onDone = std::move(onDone), onError = std::move(onError)]() {
                watcher->deleteLater();
                finishTask(
                    "runAsync",
                    [&]() {
                        // result() rethrows what the work function threw.
                        T result = watcher->result();
                        if (onDone)
                            onDone(result);
                    },
                    onError);
            });
    startTask([watcher, target = pool, work = std::move(work), snapshot = snapshotSettings()]() mutable {
        watcher->setFuture(QtConcurrent::run(target, [work = std::move(work), snapshot]() -> T {
            TaskScope scope(snapshot);
            return work();
        }));
    });
}
