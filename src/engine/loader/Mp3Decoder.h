#pragma once
// One libmpg123 stream decoding an MP3 file to stereo float frames at the file's own rate.
// Owned and used by one thread at a time (a player's loader/decoder worker).
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

struct mpg123_handle_struct;

namespace spinx::engine {

class Mp3Decoder {
  public:
    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Opens `path` and finds its format and length. The length comes from the LAME/Xing Info
    // frame when there is one; a small file is scanned at once; a big one without an Info frame
    // gets an estimate from its first frame and size until Scan() makes it exact. `forOverview`
    // decodes at half the sample rate, skips the scan and the checks, and decodes no more frames
    // ahead of a seek than the file's bit reservoir needs (the waveform overview's cheap pass
    // over a file already opened for playing). On failure returns false and sets
    // `reason` to a sentence a person understands.
    bool Open(const std::string& path, std::string* reason, bool forOverview = false);
    void Close();

    int Rate() const { return rate_; }
    int64_t Length() const { return length_; } // frames
    // True once the whole file has been scanned, which makes every seek cheap.
    bool Scanned() const { return scanned_; }
    // Scans the whole file (exact length, full seek index), keeping the read position.
    void Scan();

    // Decodes up to `frames` stereo frames into `dst`; returns the frames written. Sets `*end`
    // when the stream has ended (the returned frames are the last). Corrupt frames are skipped.
    int Read(float* dst, int frames, bool* end);
    // Continues decoding at `frame`; returns the frame actually reached (sample-exact after a
    // scan or with an Info frame), or -1 on failure.
    int64_t Seek(int64_t frame);
    // Continues decoding at the start of the MPEG frame at or just before `frame`, so that a
    // read of FrameSamples() decodes one MPEG frame, not parts of two; returns the frame
    // reached, or -1 on failure.
    int64_t SeekToFrameStart(int64_t frame);
    // Frames of output per MPEG frame (1152 or 576, halved in the overview's half rate).
    int FrameSamples() const { return frameSamples_; }
    // Takes `other`'s seek index (same file): seeks then jump instead of reading their way.
    void BorrowSeekIndex(const Mp3Decoder& other);

  private:
    bool OpenWith(const std::string& path, std::string* reason, bool forOverview, bool halfRate);
    // libmpg123 reads a frame's header and body with a system call each; these serve its reads
    // from a buffer filled in large pieces instead.
    static ssize_t ReadCallback(void* self, void* dst, size_t bytes);
    static off_t SeekCallback(void* self, off_t offset, int whence);

    mpg123_handle_struct* handle_ = nullptr;
    int fd_ = -1;
    static constexpr size_t kReadBytes = 64 * 1024;
    std::unique_ptr<unsigned char[]> readBuf_;
    off_t bufStart_ = 0;        // file offset of readBuf_[0]
    size_t bufLen_ = 0;         // bytes held
    size_t bufPos_ = 0;         // next byte libmpg123 reads
    bool fdAtBufferEnd_ = true; // the descriptor's offset is bufStart_ + bufLen_
    int rate_ = 0;
    int frameSamples_ = 1152;
    int64_t length_ = 0;
    bool scanned_ = false;
    bool hasInfoLength_ = false; // length_ came from an Info frame
};

// What the first frame's LAME/Xing "Info" header announces, read straight from the file.
struct InfoFrame {
    bool present = false;
    int64_t frames = -1;      // MPEG frames announced, -1 when absent
    int64_t bytes = -1;       // stream bytes announced (from the Info frame on), -1 when absent
    int64_t streamStart = -1; // file offset of the first MPEG frame
};
InfoFrame ReadInfoFrame(int fd, int64_t fileSize);

} // namespace spinx::engine
