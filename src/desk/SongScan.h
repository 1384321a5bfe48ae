#pragma once
// Measures songs one after another on a worker thread of its own at a low priority, so
// that neither the windows nor the sound wait for a whole song to be decoded. Request and the
// destructor run on the UI thread, and so does each report: the measurement hands back what to
// run, and it is posted to the context object's thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

class QObject;

namespace spinx {

class SongScan {
  public:
    // Runs on the scan's thread with a song's path; gives what to run on the context's thread
    // with the result.
    using Measure = std::function<std::function<void()>(const std::string& path)>;
    SongScan(QObject& context, Measure measure);
    // Waits for the song being measured, drops the rest.
    ~SongScan();
    SongScan(const SongScan&) = delete;
    SongScan& operator=(const SongScan&) = delete;

    // Queues the song unless it is queued or being measured already.
    void Request(const std::string& path);
    // Whether the song is queued or being measured.
    bool Pending(const std::string& path);
    // Blocks until nothing is queued or measured (at most `timeoutMs`). The reports arrive
    // with the context thread's next events.
    bool WaitIdle(int timeoutMs);

  private:
    void Run();

    QObject& context_;
    Measure measure_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    std::unordered_set<std::string> queued_; // what queue_ holds, to find it at once
    std::string current_;                    // being measured; "" when none
    bool stop_ = false;
    std::thread thread_;
};

} // namespace spinx
