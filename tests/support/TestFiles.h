#pragma once
// Scratch files for tests: a temporary folder that the program folder can point at, song tags,
// and a way to run a piece of a test without root's power to write anywhere.
#include "support/ProgramFolder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace spinx::test {

// A folder under /tmp, also made the program folder, removed with its contents at the end.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/spinx-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
        SetProgramFolder(path_);
    }
    ~TempFolder() {
        SetProgramFolder("");
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::string WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

// An ID3v1 tag with every text field padded to its width with `pad`.
inline std::string Id3v1Tag(const std::string& title, char pad = '\0', char track = '\0',
                            char genre = 12, const std::string& head = "TAG",
                            const std::string& artist = "Artist") {
    auto field = [pad](std::string s, std::size_t n) { return s.append(n - s.size(), pad); };
    return head + field(title, 30) + field(artist, 30) + field("Album", 30) + "1999" +
           field("Comment", 29) + track + genre;
}

// Runs `body` in a child process as user "nobody" when we are root (permissions do not stop
// root), else directly; returns whether `body` returned true.
inline bool AsUnprivileged(const std::function<bool()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace spinx::test
