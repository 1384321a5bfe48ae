#pragma once
// A desk without windows: Deck A and Deck B as engine players 0 and 1, a playlist of paths, a
// crossfader that walks like the mixer's, and the song memory recalled on every load. Auto play
// drives it exactly as it drives the mixer; the set renderer and tests use it. UI thread (the
// engine's).
#include "mixer/AudibleEdges.h"
#include "mixer/AutoPlay.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace spinx {

class Aspinx;

class EngineDesk : public AutoPlayDesk {
  public:
    // `overlap` is the end marker, in ms before the song's end, of songs without a stored one.
    EngineDesk(Aspinx& engine, int32_t overlap);

    void Append(const std::string& path) { playlist_.push_back(path); }
    // With levelling each song plays at a trim that brings it to `targetLufs` (its loudness as
    // stored, or measured on loading).
    void SetLevelling(bool on, double targetLufs);
    // Told about each song that could not be played: its path and why.
    void OnSkipped(std::function<void(const std::string&, const std::string&)> report) {
        onSkipped_ = std::move(report);
    }

    // The 100 ms step: the crossfader's walk, then auto play's.
    void Tick();
    // Whether the set is over: nothing left to play and no deck playing.
    bool Finished() const;
    // Whether a load was asked for since the last call (the caller may wait for it).
    bool TakeLoadRequested();
    // Whether a playing deck's overview (where its song's sound begins and ends) is still being
    // made; a waiting deck's is made while the other plays.
    bool OverviewPending() const;

    AutoPlay& Auto() { return auto_; }
    int Crossfader() const { return crossfader_; }

    int16_t PlayerA() const override { return 0; }
    int16_t PlayerB() const override { return 1; }
    bool HasDeck(int16_t player) const override { return player == 0 || player == 1; }
    std::string Song(int16_t player) const override;
    DeckReading Read(int16_t player) const override;
    bool FadePending() const override { return fadeTarget_ >= 0; }
    bool PlaylistEmpty() const override { return playlist_.empty(); }
    std::string TakeTopRow() override;
    void Load(int16_t player, const std::string& path) override;
    void Start(int16_t player) override;
    void Seek(int16_t player, int32_t positionMs) override;
    void ApplyCrossfader() override;
    void FadeTo(int16_t end) override;

  private:
    struct Deck {
        std::string path;
        int32_t volumeSlider = 0; // the song's stored volume, -100..100
        int32_t start = 0;        // ms
        int32_t end = 0;          // ms before the song's end
        bool ended = false;       // played to its end: a set plays each song once
    };

    void Loaded(int16_t player);
    double LevellingTrim(const std::string& path) const;
    void LoadFailed(int16_t player, const QString& path, const QString& reason);

    Aspinx& engine_;
    const int32_t overlap_;
    std::deque<std::string> playlist_;
    std::array<Deck, 2> decks_;
    mutable AudibleEdges edges_; // a cache, filled as auto play reads the decks
    int crossfader_ = 0;         // 0 all Deck A .. 100 all Deck B
    int fadeTarget_ = -1;        // where the crossfader walks to; -1 when it rests
    bool loadRequested_ = false;
    bool levelling_ = false;
    double targetLufs_ = 0;
    std::function<void(const std::string&, const std::string&)> onSkipped_;
    AutoPlay auto_{*this};
};

} // namespace spinx
