#include "WorkerPool.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>

#include <exception>
#include <memory>

namespace {

constexpr int WORKER_THREADS = 16;

// One task that keeps its outcome for the caller.
class Task : public QRunnable
{
public:
    explicit Task(const std::function<void()> &work)
        : m_work(work)
    {
        setAutoDelete(false);
    }

    void run() override
    {
        try {
            m_work();
        } catch (...) {
            m_error = std::current_exception();
        }
        m_done.release();
    }

    std::exception_ptr wait(QThreadPool *pool)
    {
        if (pool->tryTake(this))
            run();
        m_done.acquire();
        return m_error;
    }

private:
    const std::function<void()> &m_work;
    std::exception_ptr m_error;
    QSemaphore m_done;
};

} // namespace

QThreadPool *workerPool()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    if (pool->maxThreadCount() < WORKER_THREADS)
        pool->setMaxThreadCount(WORKER_THREADS);
    return pool;
}

void runConcurrently(const std::vector<std::function<void()>> &tasks)
{
    if (tasks.size() == 1) {
        tasks.front()();
        return;
    }
    QThreadPool *pool = workerPool();
    std::vector<std::unique_ptr<Task>> started;
    for (const auto &work : tasks) {
        started.push_back(std::make_unique<Task>(work));
        pool->start(started.back().get());
    }
    // Every task must have finished before the tasks are destroyed, even
    // when an earlier one failed.
    std::exception_ptr firstError;
    for (const auto &task : started) {
        if (std::exception_ptr error = task->wait(pool); error && !firstError)
            firstError = error;
    }
    if (firstError)
        std::rethrow_exception(firstError);
}
