#include "desk/Playlist.h"

#include "mixer/M3u.h"
#include "support/FileIo.h"
#include "support/KeptPlaylist.h"
#include "support/Mod_Diskinfo.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace spinx {

namespace {
// A long list changes in several steps (chunks, a removal then a move): saved once they settle.
constexpr int kKeepDelayMs = 200;
} // namespace

Playlist::Playlist(QObject* parent) : QObject(parent) {}

Playlist::~Playlist() {
    // A change made just before the desk closes is kept too.
    if (keepTimer_ && keepTimer_->isActive()) SaveKept();
}

const std::string* Playlist::Song(int row) const {
    if (row < 0 || row >= Count()) return nullptr;
    return &songs_[static_cast<std::size_t>(row)];
}

bool Playlist::Contains(const std::string& song) const {
    return std::find(songs_.begin(), songs_.end(), song) != songs_.end();
}

void Playlist::Append(const std::vector<std::string>& songs) {
    if (songs.empty()) return;
    const int first = Count();
    songs_.insert(songs_.end(), songs.begin(), songs.end());
    emit appended(first, static_cast<int>(songs.size()));
    Changed();
}

bool Playlist::Add(const std::string& path, std::string* error) {
    switch (EntryKind(path)) {
    case PlaylistEntry::Playlist: {
        std::string text;
        if (!ReadWholeFile(path, text, error, kPlaylistMaxBytes)) return false;
        Append(M3uSongs(GetPath(path), text));
        return true;
    }
    case PlaylistEntry::Song:
        Append({path});
        return true;
    case PlaylistEntry::Other:
        return true;
    }
    return true;
}

void Playlist::Remove(const std::vector<bool>& gone) {
    std::vector<bool> flags = gone;
    flags.resize(songs_.size(), false);
    if (std::find(flags.begin(), flags.end(), true) == flags.end()) return;
    std::size_t kept = 0;
    for (std::size_t row = 0; row < songs_.size(); ++row) {
        if (flags[row]) continue;
        if (kept != row) songs_[kept] = std::move(songs_[row]);
        ++kept;
    }
    songs_.resize(kept);
    emit removed(flags);
    Changed();
}

void Playlist::RemoveSong(const std::string& song) {
    std::vector<bool> gone(songs_.size());
    for (std::size_t row = 0; row < songs_.size(); ++row)
        gone[row] = songs_[row] == song;
    Remove(gone);
}

int Playlist::Move(int row, bool up) {
    if (row < 0 || row >= Count()) return row;
    const int to = std::clamp(row + (up ? -1 : 1), 0, Count() - 1);
    if (to == row) return row;
    std::swap(songs_[static_cast<std::size_t>(row)], songs_[static_cast<std::size_t>(to)]);
    emit moved(row, to);
    Changed();
    return to;
}

void Playlist::Clear() {
    songs_.clear();
    emit cleared();
    Changed();
}

std::string Playlist::TakeTop() {
    if (songs_.empty()) return {};
    std::string top = songs_.front();
    std::vector<bool> gone(songs_.size(), false);
    gone[0] = true;
    Remove(gone);
    return top;
}

void Playlist::Keep(const std::string& file) {
    Append(LoadKeptPlaylist(file));
    keptFile_ = file;
    if (!keepTimer_) {
        keepTimer_ = new QTimer(this);
        keepTimer_->setSingleShot(true);
        keepTimer_->setInterval(kKeepDelayMs);
        connect(keepTimer_, &QTimer::timeout, this, [this] { SaveKept(); });
    }
    // The file is written at the first change, not before: a list the user has never changed
    // is left as they have it.
    keepTimer_->stop();
}

void Playlist::SaveKept() {
    std::string error;
    // A box on every change would bury the DJ; the next change tries again.
    if (!SaveKeptPlaylist(keptFile_, songs_, &error))
        std::fprintf(stderr, "spinx: the playlist could not be kept: %s\n", error.c_str());
}

void Playlist::Changed() {
    if (keepTimer_) keepTimer_->start();
}

} // namespace spinx
