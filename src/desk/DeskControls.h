#pragma once
// The desk's controls by stable names: a group ("Deck1".."Deck4", "Mixer") and a key ("play",
// "volume", "crossfader"), so that a keyboard map or a controller mapping can reach every
// deck and mixer control without knowing a window. Buttons are pressed; valued controls are
// read, set and nudged in their own scales, and stop at their ends. UI thread.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spinx {

class MixerController;

struct ControlName {
    std::string group;
    std::string key;
};

class DeskControls {
  public:
    explicit DeskControls(MixerController& mixer) : mixer_(mixer) {}

    // Every control, deck groups first.
    static std::vector<ControlName> Names();

    // Presses a button ("play", "stop", "sync"; "centre_a", "centre_b"; "auto_play" and "auto_fade"
    // switch on or off). False for a name that is no button.
    bool Press(std::string_view group, std::string_view key);
    // A valued control ("volume", "pitch", "balance"; "crossfader", "master", "overlap").
    std::optional<int> Value(std::string_view group, std::string_view key) const;
    bool SetValue(std::string_view group, std::string_view key, int value);
    bool Nudge(std::string_view group, std::string_view key, int delta);

  private:
    MixerController& mixer_;
};

} // namespace spinx
