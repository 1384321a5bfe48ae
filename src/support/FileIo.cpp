#include "support/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace spinx {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int UniqueFd::release() {
    return std::exchange(fd_, -1);
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

bool WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Follows `path` through its chain of symbolic links to the name that holds the data (which
// need not exist yet). Relative links count from the folder of the link.
bool ResolveLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) return false;
        std::string next(target, static_cast<std::size_t>(n));
        if (next.empty()) {
            errno = ENOENT;
            return false;
        }
        if (next.front() != '/') {
            const auto slash = path.find_last_of('/');
            if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        }
        path = std::move(next);
    }
    errno = ELOOP;
    return false;
}

// What a name that is not a regular file names, for the sentence that refuses it.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

UniqueFd Refuse(std::string* why, const std::string& reason, int err) {
    if (why) *why = reason;
    errno = err;
    return UniqueFd();
}

} // namespace

int FolderWriteError(const std::string& folder) {
    std::string at = folder.empty() ? std::string(".") : folder;
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (errno != ENOENT) return errno;
        const auto slash = at.find_last_of('/');
        at = slash == std::string::npos ? std::string(".") : at.substr(0, slash == 0 ? 1 : slash);
    }
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    return ::access(at.c_str(), W_OK) == 0 ? 0 : errno;
}

UniqueFd OpenRegularFile(const std::string& path, std::int64_t& size) {
    size = 0;
    // O_NONBLOCK so that a named pipe cannot hang us before fstat has told us what it is.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return fd;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return UniqueFd();
    }
    size = static_cast<std::int64_t>(st.st_size);
    return fd;
}

const char* NonRegularKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return nullptr;
    return KindOf(st.st_mode);
}

UniqueFd CreateRegularFile(const std::string& path, std::string* why) {
    const auto notRegular = [&](mode_t mode) {
        return Refuse(why, std::string("It is ") + KindOf(mode) + ", not a regular file",
                      S_ISDIR(mode) ? EISDIR : EINVAL);
    };
    // Opening a device can act on it (a tape rewinds), so look before opening anything.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    // No O_TRUNC yet: only a file known to be regular is emptied.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd) {
        const int err = errno;
        // A pipe without a reader, made since the stat, fails with ENXIO instead of blocking.
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return notRegular(st.st_mode);
        return Refuse(why, std::strerror(err), err);
    }
    if (::fstat(fd.get(), &st) != 0) return Refuse(why, std::strerror(errno), errno);
    if (!S_ISREG(st.st_mode)) return notRegular(st.st_mode);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (::ftruncate(fd.get(), 0) != 0 || flags < 0 ||
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Refuse(why, std::strerror(errno), errno);
    return fd;
}

bool ReadAt(int fd, std::int64_t offset, std::size_t count, std::string& out) {
    out.resize(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, out.data() + got, count - got, offset + got);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.resize(got);
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents, std::string* error,
                   std::int64_t maxBytes) {
    contents.clear();
    std::int64_t size = 0;
    UniqueFd fd = OpenRegularFile(path, size);
    // Callers tell a missing file from other failures by errno, so it survives the message.
    auto fail = [&](const char* what) {
        const int err = errno;
        if (error) *error = Reason(what, path, err);
        errno = err;
        return false;
    };
    if (!fd) return fail("Cannot open");
    const auto tooLarge = [&] {
        contents.clear();
        errno = EFBIG;
        return fail("Cannot read");
    };
    if (size > maxBytes) return tooLarge();
    std::string chunk;
    std::int64_t offset = 0;
    // Read until the end rather than trusting the size, which may change under us.
    for (;;) {
        if (!ReadAt(fd.get(), offset, 1 << 16, chunk)) return fail("Cannot read");
        if (chunk.empty()) break;
        contents += chunk;
        offset += static_cast<std::int64_t>(chunk.size());
        if (offset > maxBytes) return tooLarge();
    }
    return true;
}

bool WriteFileAtomically(const std::string& named, const std::string& contents,
                         std::string* error) {
    auto fail = [&](const std::string& what, int err) {
        if (error) *error = Reason(what, named, err);
        return false;
    };
    // A link stays a link: the new text replaces the file it points at.
    std::string path = named;
    if (!ResolveLinks(path)) return fail("Cannot follow the link", errno);

    mode_t mode = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return fail("Cannot write", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        // Renaming would replace a write-protected file; honour the protection instead.
        if (::access(path.c_str(), W_OK) != 0) return fail("Cannot write", errno);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd) {
        int err = errno;
        // A folder that is missing because it could not be made: say what stopped it.
        if (err == ENOENT) {
            const auto slash = path.find_last_of('/');
            const int why =
                FolderWriteError(slash == std::string::npos ? "." : path.substr(0, slash));
            if (why != 0) err = why;
        }
        return fail("Cannot create a temporary file beside", err);
    }
    auto discard = [&](const std::string& what) {
        const int err = errno;
        fd.reset();
        ::unlink(temp.c_str());
        return fail(what, err);
    };
    if (::fchmod(fd.get(), mode) != 0) return discard("Cannot set the permissions of");
    if (!WriteAll(fd.get(), contents)) return discard("Cannot write");
    if (::fsync(fd.get()) != 0) return discard("Cannot flush");
    if (::close(fd.release()) != 0) return discard("Cannot close");
    // The data is on the disk before the rename, so a crash leaves the old file or the new one,
    // both whole. The folder is not synced as well: that would only make the newest value
    // survive a power cut, at the price of a second disk flush on every write.
    if (::rename(temp.c_str(), path.c_str()) != 0) return discard("Cannot replace");
    return true;
}

} // namespace spinx
