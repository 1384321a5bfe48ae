#include "desk/DeskControls.h"

#include "desk/MixerController.h"

#include <array>

namespace spinx {

namespace {
constexpr std::array<const char*, 5> kDeckButtons = {"play", "stop", "sync", "cue", "key_lock"};
constexpr std::array<const char*, 3> kDeckValues = {"volume", "pitch", "balance"};
constexpr std::array<const char*, 4> kMixerButtons = {"centre_a", "centre_b", "auto_play",
                                                      "auto_fade"};
constexpr std::array<const char*, 5> kMixerValues = {"crossfader", "master", "overlap", "cue_mix",
                                                     "headphone_volume"};

// The player of a deck group, "Deck1" -> 0; -1 for any other group.
PlayerId DeckOf(std::string_view group) {
    if (group.size() != 5 || group.substr(0, 4) != "Deck") return -1;
    const int number = group[4] - '1';
    return MixerController::ValidPlayer(static_cast<PlayerId>(number))
               ? static_cast<PlayerId>(number)
               : PlayerId{-1};
}
} // namespace

std::vector<ControlName> DeskControls::Names() {
    std::vector<ControlName> names;
    for (int p = 1; p <= Aspinx::kPlayers; ++p) {
        const std::string group = "Deck" + std::to_string(p);
        for (const char* key : kDeckButtons)
            names.push_back({group, key});
        for (const char* key : kDeckValues)
            names.push_back({group, key});
    }
    for (const char* key : kMixerButtons)
        names.push_back({"Mixer", key});
    for (const char* key : kMixerValues)
        names.push_back({"Mixer", key});
    return names;
}

bool DeskControls::Press(std::string_view group, std::string_view key) {
    if (const PlayerId player = DeckOf(group); player >= 0) {
        DeckController& deck = mixer_.Deck(player);
        if (key == "play")
            deck.PlayPause();
        else if (key == "stop")
            deck.Stop();
        else if (key == "sync")
            mixer_.Sync(player);
        else if (key == "cue")
            deck.SetCue(!deck.Cue());
        else if (key == "key_lock")
            deck.SetKeyLock(!deck.KeyLock());
        else
            return false;
        return true;
    }
    if (group != "Mixer") return false;
    if (key == "centre_a")
        mixer_.CentreTo(FadeTarget::DeckA);
    else if (key == "centre_b")
        mixer_.CentreTo(FadeTarget::DeckB);
    else if (key == "auto_play")
        mixer_.SetAutoPlay(!mixer_.AutoPlayOn());
    else if (key == "auto_fade")
        mixer_.SetAutoFade(!mixer_.AutoFade());
    else
        return false;
    return true;
}

std::optional<int> DeskControls::Value(std::string_view group, std::string_view key) const {
    if (const PlayerId player = DeckOf(group); player >= 0) {
        const DeckController& deck = mixer_.Deck(player);
        if (key == "volume") return deck.Volume().value;
        if (key == "pitch") return deck.Pitch().value;
        if (key == "balance") return deck.Balance().value;
        return std::nullopt;
    }
    if (group != "Mixer") return std::nullopt;
    if (key == "crossfader") return mixer_.Crossfader().value;
    if (key == "master") return mixer_.MasterVolume().value;
    if (key == "overlap") return mixer_.Overlap();
    if (key == "cue_mix") return mixer_.CueMix();
    if (key == "headphone_volume") return mixer_.HeadphoneVolume().value;
    return std::nullopt;
}

bool DeskControls::SetValue(std::string_view group, std::string_view key, int value) {
    if (!Value(group, key)) return false;
    if (const PlayerId player = DeckOf(group); player >= 0) {
        DeckController& deck = mixer_.Deck(player);
        if (key == "volume")
            deck.SetVolume({value});
        else if (key == "pitch")
            deck.SetPitch({value});
        else
            deck.SetBalance({value});
        return true;
    }
    if (key == "crossfader")
        mixer_.SetCrossfader({value});
    else if (key == "master")
        mixer_.SetMasterVolume({value});
    else if (key == "cue_mix")
        mixer_.SetCueMix(value);
    else if (key == "headphone_volume")
        mixer_.SetHeadphoneVolume({value});
    else
        mixer_.SetOverlap(value);
    return true;
}

bool DeskControls::Nudge(std::string_view group, std::string_view key, int delta) {
    const std::optional<int> now = Value(group, key);
    return now && SetValue(group, key, *now + delta);
}

} // namespace spinx
