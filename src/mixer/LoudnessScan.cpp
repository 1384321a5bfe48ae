#include "mixer/LoudnessScan.h"

#include "deck/SongSettings.h"
#include "engine/analysis/Loudness.h"
#include "library/Database.h"
#include "library/SongTable.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <chrono>

namespace spinx {

std::optional<double> RememberedLoudness(const std::string& path) {
    if (!SongDbIsOpen()) return std::nullopt;
    try {
        return StoredLoudness(path);
    } catch (const DbError&) {
        return std::nullopt; // measured again, which costs only time
    }
}

LoudnessScan::LoudnessScan(QObject& context, Report measured)
    : context_(context), measured_(std::move(measured)) {}

LoudnessScan::~LoudnessScan() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void LoudnessScan::Request(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (path.empty() || path == current_ ||
            std::find(queue_.begin(), queue_.end(), path) != queue_.end())
            return;
        queue_.push_back(path);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

bool LoudnessScan::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return queue_.empty() && current_.empty(); });
}

void LoudnessScan::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        current_ = std::move(queue_.front());
        queue_.pop_front();
        const std::string path = current_;
        lock.unlock();
        const std::optional<double> lufs = engine::MeasureLoudness(path);
        QMetaObject::invokeMethod(
            &context_, [this, path, lufs] { measured_(path, lufs); }, Qt::QueuedConnection);
        lock.lock();
        current_.clear();
        if (queue_.empty()) idle_.notify_all();
    }
}

} // namespace spinx
