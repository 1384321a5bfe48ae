#pragma once
// Small file-system primitives on POSIX descriptors: an owning descriptor, whole-file reads and
// the write-beside-then-rename replacement of a file. Any thread.
#include <cstdint>
#include <string>

namespace spinx {

// Owns one open descriptor and closes it when it goes away, whatever path the caller leaves by.
// Used by one thread at a time, like the descriptor it holds.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Opens a regular file for reading. Folders, devices and pipes are refused (a pipe would block)
// and give an invalid descriptor with errno set; `size` receives the file's length.
UniqueFd OpenRegularFile(const std::string& path, std::int64_t& size);

// What `path` names when that is not a regular file ("a named pipe", "a device", "a folder"),
// or null when it is one or names nothing yet. Looks without opening anything.
const char* NonRegularKind(const std::string& path);

// Opens `path` for writing: creates it, or empties the regular file it names. Anything else
// (a named pipe, a device, a folder) is refused before it is opened for writing, and the open
// itself cannot block, so a pipe made meanwhile is refused too rather than hang the caller. The
// descriptor is blocking again on return. On refusal, an invalid descriptor and `why` (when
// given) the reason, a clause for a sentence without the file's name or a final full stop.
UniqueFd CreateRegularFile(const std::string& path, std::string* why = nullptr);

// Reads up to `count` bytes at `offset` (fewer at the end of the file); false on a read error.
bool ReadAt(int fd, std::int64_t offset, std::size_t count, std::string& out);

// Reads a whole regular file of at most `maxBytes`. On failure (a larger file fails with
// EFBIG, before anything is read) returns false and, when `error` is given, a sentence naming
// the file and the reason.
bool ReadWholeFile(const std::string& path, std::string& contents, std::string* error = nullptr,
                   std::int64_t maxBytes = INT64_MAX);

// Why nothing can be created in `folder` (an errno value), or 0 when it can. A missing folder
// answers for the nearest folder above it that exists, where it would have to be made.
int FolderWriteError(const std::string& folder);

// Replaces `path` with `contents` so that readers see either the old file or the new one, never
// a part: the text goes to a temporary file in the same folder, is flushed to the disk and is
// then renamed over the old file; a symbolic link is followed and its target replaced. An
// existing file that we may not write is left alone and reported. On failure nothing changes, the
// temporary file is removed and `error` says why.
bool WriteFileAtomically(const std::string& path, const std::string& contents,
                         std::string* error = nullptr);

} // namespace spinx
