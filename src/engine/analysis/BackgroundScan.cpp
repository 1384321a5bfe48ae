#include "engine/analysis/BackgroundScan.h"

#include <QMetaObject>
#include <QObject>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace spinx::engine {

namespace {

// The playing, the windows and a build beside the desk all come first. (Not SCHED_IDLE: on a
// machine that is never idle a scan would then never finish, and a rendered set waits for it.)
void LowestPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
}

} // namespace

BackgroundScan::BackgroundScan(QObject& context, Measure measure)
    : context_(context), measure_(std::move(measure)) {}

BackgroundScan::~BackgroundScan() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
        queued_.clear();
    }
    cancel_ = true;
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    *alive_ = false;
}

void BackgroundScan::Request(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (path.empty() || path == current_ || !queued_.insert(path).second) return;
        queue_.push_back(path);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

bool BackgroundScan::Pending(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return path == current_ || queued_.count(path) > 0;
}

bool BackgroundScan::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return queue_.empty() && current_.empty(); });
}

void BackgroundScan::Run() {
    LowestPriority();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        current_ = std::move(queue_.front());
        queue_.pop_front();
        queued_.erase(current_);
        const std::string path = current_;
        lock.unlock();
        if (std::function<void()> report = measure_(path, cancel_))
            QMetaObject::invokeMethod(
                &context_,
                [alive = alive_, report = std::move(report)] {
                    if (*alive) report();
                },
                Qt::QueuedConnection);
        lock.lock();
        current_.clear();
        if (queue_.empty()) idle_.notify_all();
    }
}

} // namespace spinx::engine
