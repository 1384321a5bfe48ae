#include "desk/SongScan.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>

#include <sys/resource.h>
#include <unistd.h>

namespace spinx {

SongScan::SongScan(QObject& context, Measure measure)
    : context_(context), measure_(std::move(measure)) {}

SongScan::~SongScan() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
        queued_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void SongScan::Request(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (path.empty() || path == current_ || !queued_.insert(path).second) return;
        queue_.push_back(path);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

bool SongScan::Pending(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return path == current_ || queued_.count(path) > 0;
}

bool SongScan::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return queue_.empty() && current_.empty(); });
}

void SongScan::Run() {
    // Below every other thread of the desk: a scan yields to the windows and to the sound.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        current_ = std::move(queue_.front());
        queue_.pop_front();
        queued_.erase(current_);
        const std::string path = current_;
        lock.unlock();
        QMetaObject::invokeMethod(&context_, measure_(path), Qt::QueuedConnection);
        lock.lock();
        current_.clear();
        if (queue_.empty()) idle_.notify_all();
    }
}

} // namespace spinx
