#pragma once

#include <functional>
#include <vector>

class QThreadPool;

// The pool blocking work runs on: Qt's global pool, raised to at least 16
// threads. Most of that work waits on the network rather than on a core, so
// the machine's core count would make a fan-out over eleven leagues go in
// rounds. The desktop program and tolvo-cli both size it here.
QThreadPool *workerPool();

// Runs every task on the worker pool at the same time and returns when all
// have finished; the first failure in list order is then rethrown. Safe to
// call from a pool thread: a task still waiting for a thread runs on the
// calling one instead, so a full pool cannot starve its own callers.
void runConcurrently(const std::vector<std::function<void()>> &tasks);
