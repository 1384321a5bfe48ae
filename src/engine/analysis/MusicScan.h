#pragma once
// Analyses songs' music (tempo and grid, first bar, key, mix points) in the background, one at a
// time at the lowest priority (see BackgroundScan). Construct, Request, WaitIdle and destroy it
// on the context object's thread (the UI thread); the reports arrive there.
#include "engine/analysis/BackgroundScan.h"
#include "engine/analysis/MusicAnalysis.h"

#include <functional>
#include <optional>
#include <string>

namespace spinx::engine {

class MusicScan {
  public:
    // Each song's path and what was measured, or nothing and the reason (a sentence for the
    // user) when the file cannot be analysed.
    using Report =
        std::function<void(const std::string& path, const std::optional<MusicAnalysis>& music,
                           const std::string& reason)>;
    MusicScan(QObject& context, Report analysed);
    // The destructor abandons the song being analysed within milliseconds, not the song's time,
    // and no report arrives after it.

    // Queues the song unless it is queued or being analysed already.
    void Request(const std::string& path) { scan_.Request(path); }
    // Blocks until nothing is queued or analysed (at most `timeoutMs`); for tests.
    bool WaitIdle(int timeoutMs) { return scan_.WaitIdle(timeoutMs); }

  private:
    BackgroundScan scan_;
};

} // namespace spinx::engine
