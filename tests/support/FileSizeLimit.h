#pragma once
// A disk that fills, for tests of what a program does when its writes fail, without root's
// tricks: files of this process may grow to a set size and no further.
#include <sys/resource.h>

#include <csignal>

namespace spinx::test {

// Writes past `bytes` fail with EFBIG (SIGXFSZ ignored, so the process lives on), as on a disk
// that fills there. The limit is the process's: make the files other programs need (sox,
// lame) before. Undone when it goes.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace spinx::test
