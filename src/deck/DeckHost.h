#pragma once
// What a deck needs from the window that hosts it, so that the deck knows no window above it.
// The mixer implements it. UI thread.
#include <cstdint>
#include <QString>

#include <string>

namespace spinx {

class DeckHost {
  public:
    // The song a playlist row stands for, or null when the row stands for none.
    virtual const std::string* PlaylistRowPath(int row) const = 0;
    // How a song is named in rows and captions: from its tags once they are read (off the UI
    // thread), the file's name until then.
    virtual QString SongName(const std::string& path) const = 0;
    // The deck's Sync button: match the other deck of the pair.
    virtual void SyncDeck(int16_t player) = 0;
    // The user asked for the marker menu over the deck's progress bar.
    virtual void RequestMarkerMenu() = 0;

  protected:
    ~DeckHost() = default;
};

} // namespace spinx
