#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

// The message of the error `work` throws, empty when it returns. The
// program's errors (ApiError, PredictorError) keep their message as what().
inline QString thrownMessage(const std::function<void()> &work)
{
    try {
        work();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
