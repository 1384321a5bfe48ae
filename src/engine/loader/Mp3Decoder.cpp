#include "engine/loader/Mp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace spinx::engine {

namespace {

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

std::string OpenErrorText(int err) {
    switch (err) {
    case ENOENT:
        return "The file does not exist.";
    case EACCES:
    case EPERM:
        return "The file cannot be read (permission denied).";
    case EISDIR:
        return "This is a folder, not a file.";
    default:
        return std::string("The file cannot be opened: ") + std::strerror(err) + ".";
    }
}

constexpr const char* kNotAFileText =
    "This is not a file but a pipe, device or socket; only MP3 files can be played.";

constexpr int64_t kScanAtOpenBytes = 4 << 20; // about 4 ms of scanning

uint32_t BigEndian32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

} // namespace

InfoFrame ReadInfoFrame(int fd, int64_t fileSize) {
    InfoFrame info;
    unsigned char buf[4096];
    ssize_t got = ::pread(fd, buf, 10, 0);
    int64_t offset = 0;
    if (got == 10 && std::memcmp(buf, "ID3", 3) == 0) {
        const int64_t size = (int64_t(buf[6] & 0x7f) << 21) | (int64_t(buf[7] & 0x7f) << 14) |
                             (int64_t(buf[8] & 0x7f) << 7) | int64_t(buf[9] & 0x7f);
        offset = 10 + size + ((buf[5] & 0x10) ? 10 : 0);
    }
    if (offset >= fileSize) return info;
    got = ::pread(fd, buf, sizeof buf, offset);
    if (got < 64) return info;
    // The first plausible MPEG audio frame header near the start of the audio.
    for (ssize_t i = 0; i + 4 <= got - 48; ++i) {
        const unsigned char* h = buf + i;
        if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0) continue;
        const int version = (h[1] >> 3) & 3; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
        const int layer = (h[1] >> 1) & 3;   // 1 = Layer III
        if (version == 1 || layer == 0 || (h[2] >> 4) == 15 || ((h[2] >> 2) & 3) == 3) continue;
        info.streamStart = offset + i;
        if (layer != 1) return info; // Info frames are a Layer III convention
        const bool mono = (h[3] >> 6) == 3;
        const int sideInfo = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        for (int extra : {0, 2}) { // some encoders count a CRC, some do not
            const ssize_t at = i + 4 + sideInfo + extra;
            if (at + 16 > got) break;
            const unsigned char* x = buf + at;
            if (std::memcmp(x, "Xing", 4) != 0 && std::memcmp(x, "Info", 4) != 0) continue;
            info.present = true;
            const uint32_t flags = BigEndian32(x + 4);
            int field = 8;
            if (flags & 1) info.frames = BigEndian32(x + field), field += 4;
            if (flags & 2) info.bytes = BigEndian32(x + field);
            return info;
        }
        return info;
    }
    return info;
}

Mp3Decoder::Mp3Decoder() {
    InitLibraryOnce();
}

Mp3Decoder::~Mp3Decoder() {
    Close();
}

void Mp3Decoder::Close() {
    if (handle_) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
        handle_ = nullptr;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    rate_ = 0;
    frameSamples_ = 1152;
    length_ = 0;
    scanned_ = false;
    hasInfoLength_ = false;
}

bool Mp3Decoder::Open(const std::string& path, std::string* reason, bool forOverview) {
    if (!OpenWith(path, reason, forOverview, false)) return false;
    // Decode the overview at half rate, unless that rate would be one libmpg123 cannot output.
    if (forOverview && rate_ >= 32000) return OpenWith(path, reason, true, true);
    return true;
}

bool Mp3Decoder::OpenWith(const std::string& path, std::string* reason, bool forOverview,
                          bool halfRate) {
    Close();
    auto fail = [&](std::string text) {
        Close();
        if (reason) *reason = std::move(text);
        return false;
    };
    // Only a regular file is opened: open() on a named pipe waits for a writer for good, and a
    // device or socket is no song either. O_NONBLOCK covers a file swapped for a pipe between
    // the check and the open; it means nothing for a regular file.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(OpenErrorText(errno));
    if (S_ISDIR(st.st_mode)) return fail(OpenErrorText(EISDIR));
    if (!S_ISREG(st.st_mode)) return fail(kNotAFileText);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return fail(OpenErrorText(errno));
    if (::fstat(fd_, &st) != 0) return fail(OpenErrorText(errno));
    if (!S_ISREG(st.st_mode)) return fail(kNotAFileText);
    if (st.st_size == 0) return fail("The file is empty.");

    int err = MPG123_OK;
    handle_ = mpg123_new(nullptr, &err);
    if (!handle_)
        return fail(std::string("The MP3 decoder cannot start: ") + mpg123_plain_strerror(err));
    // MPG123_ADD_FLAGS, not MPG123_FLAGS: the latter replaces every flag and turns gapless off.
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_FORCE_STEREO | MPG123_QUIET, 0);
    if (halfRate) mpg123_param(handle_, MPG123_DOWN_SAMPLE, 1, 0);
    // Float stereo only, at any rate (the overview's half rates are not standard ones).
    mpg123_format_none(handle_);
    mpg123_format2(handle_, 0, MPG123_STEREO, MPG123_ENC_FLOAT_32);

    if (!readBuf_) readBuf_ = std::make_unique<unsigned char[]>(kReadBytes);
    bufStart_ = 0;
    bufLen_ = bufPos_ = 0;
    fdAtBufferEnd_ = true;
    mpg123_replace_reader_handle(handle_, &Mp3Decoder::ReadCallback, &Mp3Decoder::SeekCallback,
                                 nullptr);
    if (mpg123_open_handle(handle_, this) != MPG123_OK)
        return fail(std::string("The file cannot be opened as MP3: ") + mpg123_strerror(handle_) +
                    ".");
    long rate = 0;
    int channels = 0, encoding = 0;
    // Without this call the first read would return MPG123_NEW_FORMAT and no audio.
    if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return fail("This is not an MPEG audio (MP3) file, or it holds no complete audio frame.");
    rate_ = static_cast<int>(rate);
    mpg123_frameinfo first{};
    const bool haveInfo = mpg123_info(handle_, &first) == MPG123_OK && first.rate > 0;
    if (const int spf = mpg123_spf(handle_); spf > 0 && haveInfo)
        frameSamples_ = static_cast<int>(int64_t{spf} * rate_ / first.rate);

    if (forOverview) {
        // After a seek libmpg123 decodes a few frames ahead (four by default) so that the bit
        // reservoir, which a frame may borrow from the frames before it, is full again. A
        // constant-rate MPEG-1 stream whose frames hold more than a whole reservoir (511 bytes of
        // audio data, from 192 kbps on at 44.1 kHz) needs one of them for that and one for the
        // filters' overlap: two are enough, and each sampled stretch costs about half as much.
        constexpr int kSideInfoBytes = 4 + 32 + 2; // header, stereo side information, CRC
        if (haveInfo && first.layer == 3 && first.version == MPG123_1_0 &&
            first.vbr == MPG123_CBR && first.framesize - kSideInfoBytes >= 511)
            mpg123_param(handle_, MPG123_PREFRAMES, 2, 0);
        length_ = mpg123_length(handle_);
        return length_ > 0 ? true : fail("The file holds no audio.");
    }
    const InfoFrame info = ReadInfoFrame(fd_, st.st_size);
    if (info.present && info.bytes > 0 && info.streamStart >= 0) {
        const int64_t actual = st.st_size - info.streamStart;
        if (actual < info.bytes * 9 / 10) {
            const int percent = static_cast<int>(actual * 100 / info.bytes);
            return fail("The file is truncated: it holds only " + std::to_string(percent) +
                        "% of the audio its header announces.");
        }
    }
    // Without an Info frame only a scan gives the exact length. A small file is scanned at once
    // (a few ms), which also catches an Info frame that undercounts; a big one is scanned by the
    // worker after SoundLoaded, meanwhile libmpg123's estimate from the first frame and the
    // file size stands in.
    hasInfoLength_ = info.present && info.frames > 0;
    length_ = mpg123_length(handle_);
    if (st.st_size <= kScanAtOpenBytes) Scan();
    if (length_ <= 0) return fail("The file holds no audio.");
    return true;
}

ssize_t Mp3Decoder::ReadCallback(void* self, void* dst, size_t bytes) {
    auto* d = static_cast<Mp3Decoder*>(self);
    auto* out = static_cast<unsigned char*>(dst);
    size_t done = 0;
    while (done < bytes) {
        if (d->bufPos_ == d->bufLen_) {
            if (!d->fdAtBufferEnd_ &&
                ::lseek(d->fd_, d->bufStart_ + static_cast<off_t>(d->bufLen_), SEEK_SET) < 0)
                return done > 0 ? static_cast<ssize_t>(done) : -1;
            d->bufStart_ += static_cast<off_t>(d->bufLen_);
            d->bufLen_ = d->bufPos_ = 0;
            d->fdAtBufferEnd_ = true;
            const ssize_t got = ::read(d->fd_, d->readBuf_.get(), kReadBytes);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return done > 0 ? static_cast<ssize_t>(done) : got;
            d->bufLen_ = static_cast<size_t>(got);
        }
        const size_t n = std::min(bytes - done, d->bufLen_ - d->bufPos_);
        std::memcpy(out + done, d->readBuf_.get() + d->bufPos_, n);
        d->bufPos_ += n;
        done += n;
    }
    return static_cast<ssize_t>(done);
}

off_t Mp3Decoder::SeekCallback(void* self, off_t offset, int whence) {
    auto* d = static_cast<Mp3Decoder*>(self);
    off_t target = offset;
    if (whence == SEEK_CUR) {
        target += d->bufStart_ + static_cast<off_t>(d->bufPos_);
    } else if (whence == SEEK_END) {
        struct stat st {};
        if (::fstat(d->fd_, &st) != 0) return -1;
        target += st.st_size;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    if (target < 0) return -1;
    // Within what the buffer holds (libmpg123 often steps back a little): no system call.
    if (target >= d->bufStart_ && target <= d->bufStart_ + static_cast<off_t>(d->bufLen_)) {
        d->bufPos_ = static_cast<size_t>(target - d->bufStart_);
        return target;
    }
    // Elsewhere: the next read starts a fresh buffer there.
    d->bufStart_ = target;
    d->bufLen_ = d->bufPos_ = 0;
    d->fdAtBufferEnd_ = false;
    return target;
}

void Mp3Decoder::Scan() {
    if (!handle_ || scanned_) return;
    if (mpg123_scan(handle_) == MPG123_OK) {
        scanned_ = true;
        // A scan stops counting at damage that decoding resyncs past, so it may only lengthen
        // what an Info frame said; without one it is all there is. (The worker corrects the
        // length once more at the real end.)
        const off_t len = mpg123_length(handle_);
        if (len > 0 && (!hasInfoLength_ || len > length_)) length_ = len;
    }
}

int Mp3Decoder::Read(float* dst, int frames, bool* end) {
    *end = false;
    if (!handle_) {
        *end = true;
        return 0;
    }
    int got = 0;
    int errors = 0;
    while (got < frames) {
        size_t bytes = 0;
        const int r = mpg123_read(handle_, reinterpret_cast<unsigned char*>(dst + 2 * got),
                                  static_cast<size_t>(frames - got) * 2 * sizeof(float), &bytes);
        got += static_cast<int>(bytes / (2 * sizeof(float)));
        if (r == MPG123_OK || r == MPG123_NEW_FORMAT) continue;
        if (r == MPG123_DONE) {
            *end = true;
            break;
        }
        // A damaged frame: libmpg123 resyncs on the next read; give up only if it keeps failing.
        if (++errors > 32) {
            *end = true;
            break;
        }
    }
    return got;
}

int64_t Mp3Decoder::Seek(int64_t frame) {
    if (!handle_) return -1;
    const off_t at = mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET);
    return at < 0 ? -1 : static_cast<int64_t>(at);
}

int64_t Mp3Decoder::SeekToFrameStart(int64_t frame) {
    if (!handle_ || frameSamples_ <= 0) return -1;
    if (mpg123_seek_frame(handle_, static_cast<off_t>(frame / frameSamples_), SEEK_SET) < 0)
        return -1;
    const off_t at = mpg123_tell(handle_);
    return at < 0 ? -1 : static_cast<int64_t>(at);
}

void Mp3Decoder::BorrowSeekIndex(const Mp3Decoder& other) {
    if (!handle_ || !other.handle_) return;
    off_t* offsets = nullptr;
    off_t step = 0;
    size_t fill = 0;
    // libmpg123 copies the table into this handle's own index.
    if (mpg123_index(other.handle_, &offsets, &step, &fill) == MPG123_OK && offsets && fill > 0)
        mpg123_set_index(handle_, offsets, step, fill);
}

} // namespace spinx::engine
