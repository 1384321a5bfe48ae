#pragma once
// The headphones as a second stream on the desktop's sound server, played to one sink by name.
// The stream may not be moved: when its sink goes away the server ends it instead of moving it
// to the default sink, where the audience would hear the cue. The client library's thread
// drains the headphone ring in the server's requests.
#include "engine/output/HeadphoneOutput.h"

#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace spinx::engine {

class PulseHeadphones : public HeadphoneOutput {
  public:
    // UI thread. Null with `reason` when no server answers (`noServer` set) or the sink will not
    // take the stream.
    static std::unique_ptr<PulseHeadphones> Open(const std::string& sink, int rate, int latencyMs,
                                                 HeadphoneRing& feed, int wakeFd,
                                                 std::string* reason, bool* noServer);
    ~PulseHeadphones() override;

  private:
    PulseHeadphones(HeadphoneRing& feed, int rate, int bufferFrames, int period, int wakeFd);
    // The client library's thread (its lock held).
    static void OnRequest(pa_stream* stream, size_t bytes, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnContextState(pa_context* context, void* self);
    // UI thread: connects and starts the stream; false with `reason`.
    bool Connect(const std::string& sink, std::string* reason, bool* noServer);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    const int bufferFrames_;
    const int period_;
    std::vector<float> buffer_;
};

} // namespace spinx::engine
