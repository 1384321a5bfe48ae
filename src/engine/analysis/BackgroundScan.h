#pragma once
// Measures songs one after another on a worker thread of its own at a low priority, so that
// neither the windows nor the sound wait for a whole song to be decoded and examined, and the
// playing never competes with it. Request, WaitIdle and the destructor run on the context
// object's thread (the UI thread), and so does each report. What is measured is the owner's:
// MusicScan measures the music; the loudness scan follows the same pattern.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

class QObject;

namespace spinx::engine {

class BackgroundScan {
  public:
    // Runs on the worker for one song; returns the report to run on the context's thread, or
    // nothing when `cancel` was set and the song abandoned.
    using Measure = std::function<std::function<void()>(const std::string& path,
                                                        const std::atomic<bool>& cancel)>;
    BackgroundScan(QObject& context, Measure measure);
    // Abandons the song being measured (as soon as the measure looks at `cancel`) and drops the
    // queue; no report runs after it, not even one already posted.
    ~BackgroundScan();
    BackgroundScan(const BackgroundScan&) = delete;
    BackgroundScan& operator=(const BackgroundScan&) = delete;

    // Queues the song unless it is queued or being measured already.
    void Request(const std::string& path);
    // Whether the song is queued or being measured.
    bool Pending(const std::string& path);
    // Blocks until nothing is queued or measured (at most `timeoutMs`). The reports
    // run with the context thread's next events.
    bool WaitIdle(int timeoutMs);

  private:
    void Run();

    QObject& context_;
    Measure measure_;
    // Shared with the reports in flight; cleared by the destructor on the thread they run on.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    std::unordered_set<std::string> queued_; // what queue_ holds, to find it at once
    std::string current_;                    // being measured; "" when none
    bool stop_ = false;
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

} // namespace spinx::engine
