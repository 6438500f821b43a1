#include "base/run_control.h"

void RunControl::setProgressHandler(ProgressHandler handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

bool RunControl::report(const RunProgress& progress)
{
    ProgressHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = progress;
        handler = handler_;
    }
    if (handler && !handler(progress))
        requestCancel();
    return !cancelRequested();
}

RunProgress RunControl::lastProgress() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}
