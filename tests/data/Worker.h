#pragma once

#include <QThread>

#include <exception>
#include <functional>
#include <optional>
#include <vector>

// The data clients are called on worker threads in the program; the tests
// call them the same way. Runs `work` on a fresh thread, waits for it and
// hands back its result or rethrows its exception on the test thread.
template <typename Work> auto onWorker(Work work) -> decltype(work())
{
    std::optional<decltype(work())> result;
    std::exception_ptr error;
    QThread *thread = QThread::create([&] {
        try {
            result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
    });
    thread->start();
    thread->wait();
    delete thread;
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

// Runs every piece of work on its own thread at the same time and waits for all of them.
inline void onWorkersAtOnce(const std::vector<std::function<void()>> &works)
{
    std::vector<QThread *> threads;
    for (const auto &work : works)
        threads.push_back(QThread::create(work));
    for (QThread *thread : threads)
        thread->start();
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }
}
