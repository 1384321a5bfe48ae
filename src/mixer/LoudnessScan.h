#pragma once
// Measures songs' loudness one after another on a worker thread of its own, so that neither the
// windows nor the sound wait for a whole song to be decoded. Request and the destructor run on
// the UI thread, and so does the report: it is posted to the context object's thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QObject;

namespace spinx {

// The song's loudness in LUFS as the song table keeps it; nothing when it has not been measured,
// the song has no row, or there is no song database to ask. UI thread.
std::optional<double> RememberedLoudness(const std::string& path);

class LoudnessScan {
  public:
    // `measured` gets each song's path and loudness (nothing when it cannot be measured).
    using Report = std::function<void(const std::string& path, std::optional<double> lufs)>;
    LoudnessScan(QObject& context, Report measured);
    // Waits for the song being measured, drops the rest.
    ~LoudnessScan();
    LoudnessScan(const LoudnessScan&) = delete;
    LoudnessScan& operator=(const LoudnessScan&) = delete;

    // Queues the song unless it is queued or being measured already.
    void Request(const std::string& path);
    // Blocks until nothing is queued or measured (at most `timeoutMs`); for tests. The reports
    // arrive with the context thread's next events.
    bool WaitIdle(int timeoutMs);

  private:
    void Run();

    QObject& context_;
    Report measured_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::string> queue_;
    std::string current_; // being measured; "" when none
    bool stop_ = false;
    std::thread thread_;
};

} // namespace spinx
