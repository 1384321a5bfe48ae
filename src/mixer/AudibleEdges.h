#pragma once
// Where each player's song sounds, as auto play reads it: the audible range of the song's
// overview, worked out once per overview, and hidden at an end where the song keeps a marker of
// its own (those win). The desk and the windowless desk both read their decks through it. UI
// thread.
#include "mixer/AutoPlay.h"

#include <array>
#include <cstdint>
#include <memory>

namespace spinx {

class Aspinx;
struct Waveform;

// The markers a deck holds for its song: a start after 0, or an end other than the default
// overlap, is the song's own.
struct DeckMarkers {
    int32_t start = 0;      // ms
    int32_t end = 0;        // ms before the song's end
    int32_t defaultEnd = 0; // the overlap a song without its own end marker gets
};

class AudibleEdges {
  public:
    // Puts the player's audible start and end into `reading` (0 while the overview is not
    // there, or where `markers` are the song's own).
    void Fill(const Aspinx& engine, int16_t player, const DeckMarkers& markers,
              DeckReading& reading);

  private:
    struct Known {
        std::shared_ptr<const Waveform> overview;
        int32_t start = 0;
        int32_t end = 0;
    };
    std::array<Known, 4> known_;
};

} // namespace spinx
