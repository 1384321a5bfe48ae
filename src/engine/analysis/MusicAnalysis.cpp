#include "engine/analysis/MusicAnalysis.h"

#include "engine/loader/Mp3Decoder.h"

#include <dsp/keydetection/GetKeyMode.h>
#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/DownBeat.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

namespace spinx::engine {

namespace {

// An onset step's time is its window's centre; the complex difference peaks about this much
// after a drum hit's start (measured on synthesized kicks and snares at 70-175 BPM).
constexpr double kBeatLagMs = -12.5;
// The downbeat finder listens to the song at 1/16 of its rate, in blocks of one onset step.
constexpr int kDownbeatDecimation = 16;
constexpr int kBeatsPerBar = 4;
// Fewer beats than this cannot show a tempo, let alone a steady one.
constexpr size_t kMinBeats = 8;
// A beat this close to the grid (share of a beat) sits on it; the onset function's own step is
// about 2.5 % of a beat at 120 BPM.
constexpr double kOnGrid = 0.06;
// The grid must hold over every stretch of this many beats to within kMaxLocalDrift.
constexpr size_t kLocalBeats = 16;
constexpr double kMaxLocalDrift = 0.015;
// The share of the tracked beats that must sit on the grid for a steady tempo.
constexpr double kSteadyShare = 0.8;
// How far the beats' onsets must stand above the song's average onset strength for a pulse:
// chord loops reach about 1.5, a dense four-on-the-floor pattern (a kick on every beat, hats
// between and claps on 2 and 4) about 2.4.
constexpr double kMinPulse = 2.0;
// A tracked tempo is doubled or halved (see SettleOctave) within these.
constexpr double kSlowestBpm = 60;
constexpr double kFastestBpm = 190;
// Onsets below this share of the beats' are hats or nothing, in the low band nothing.
constexpr double kBetweenShare = 0.25;
// Onsets below this share of the beats' are off-beats (hats), above it drums.
constexpr double kOffBeatShare = 0.65;
// A grid position has a beat played on it when its onset is this strong against the typical: a
// kick alone reaches about half a kick and clap together, a pad's chord change a twentieth.
constexpr double kPlayedOnset = 0.2;
// A song quieter than this (RMS) is silence: no key, no beat.
constexpr double kSilentRms = 1e-4;
// The shortest phrase a DJ counts in; longer ones (16, 32 beats) are whole numbers of it.
constexpr int kPhraseBeats = 8;
constexpr const char* kCancelledReason = "The analysis was cancelled.";

// The tempo tracker's comb filters are tuned for an onset step of about 11.6 ms (512 frames at
// 44.1 kHz); the downbeat finder needs a multiple of its decimation.
int OnsetStep(int rate) {
    const long step = std::lround(rate * 0.01161 / kDownbeatDecimation) * kDownbeatDecimation;
    return static_cast<int>(std::max<long>(kDownbeatDecimation, step));
}

// Work loops look at the cancel flag this often (in onset steps, about 3 s of song).
constexpr size_t kCancelEvery = 256;

bool Cancelled(const std::atomic<bool>& cancel) {
    return cancel.load(std::memory_order_relaxed);
}

// Single precision, like the decoder's output: a long song's mono copy stays small. Its RMS in
// `rms`; cut short when cancelled.
std::vector<float> Mono(const float* samples, int64_t frames, int channels,
                        const std::atomic<bool>& cancel, double* rms) {
    std::vector<float> mono(static_cast<size_t>(frames));
    const float scale = 1.0f / static_cast<float>(channels);
    double power = 0;
    for (int64_t i = 0; i < frames; ++i) {
        if (i % (1 << 16) == 0 && Cancelled(cancel)) return {};
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += samples[i * channels + c];
        mono[static_cast<size_t>(i)] = sum * scale;
        power += static_cast<double>(sum * scale) * (sum * scale);
    }
    *rms = std::sqrt(power / static_cast<double>(frames));
    return mono;
}

// The complex spectral difference onset function, one value per step; value i describes a
// window centred on sample i * step. Cut short when cancelled.
std::vector<double> OnsetFunction(const std::vector<float>& mono, int step,
                                  const std::atomic<bool>& cancel) {
    DFConfig config{};
    config.stepSize = static_cast<unsigned>(step);
    config.frameLength = static_cast<unsigned>(2 * step);
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    DetectionFunction detector(config);
    const auto n = static_cast<int64_t>(mono.size());
    std::vector<double> frame(static_cast<size_t>(2 * step));
    std::vector<double> out;
    out.reserve(static_cast<size_t>(n / step + 1));
    for (int64_t centre = 0; centre < n; centre += step) {
        if (out.size() % kCancelEvery == 0 && Cancelled(cancel)) break;
        for (int j = 0; j < 2 * step; ++j) {
            const int64_t k = centre - step + j;
            frame[static_cast<size_t>(j)] = k >= 0 && k < n ? mono[static_cast<size_t>(k)] : 0.0;
        }
        out.push_back(detector.processTimeDomain(frame.data()));
    }
    return out;
}

// Beat positions in onset steps, as the tracker's dynamic programme places them.
std::vector<double> TrackBeats(const std::vector<double>& onsets, int rate, int step) {
    // The first values compare the song's start with the silence before it: not an onset.
    constexpr size_t kSkip = 2;
    size_t end = onsets.size();
    while (end > kSkip && onsets[end - 1] <= 0)
        --end;
    if (end < kSkip + 64) return {};
    const std::vector<double> df(onsets.begin() + kSkip, onsets.begin() + static_cast<long>(end));
    TempoTrackV2 tracker(static_cast<float>(rate), static_cast<size_t>(step));
    std::vector<double> periods(df.size()), tempi, beats;
    tracker.calculateBeatPeriod(df, periods, tempi);
    tracker.calculateBeats(df, periods, beats);
    for (double& b : beats)
        b += kSkip;
    return beats;
}

struct Line {
    double at = 0, slope = 0;
};

Line FitLine(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n;
    const double my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
    }
    const double slope = sxx > 0 ? sxy / sxx : 0;
    return {my - slope * mx, slope};
}

// The strongest onset within a step of `at` (in onset steps).
double OnsetNear(const std::vector<double>& onsets, double at) {
    const auto i = static_cast<long>(std::lround(at));
    double peak = 0;
    for (long j = std::max(0L, i - 1); j <= i + 1 && j < static_cast<long>(onsets.size()); ++j)
        peak = std::max(peak, onsets[static_cast<size_t>(j)]);
    return peak;
}

std::vector<double> OnsetsAt(const std::vector<double>& onsets, const std::vector<double>& at) {
    std::vector<double> near;
    near.reserve(at.size());
    for (const double a : at)
        near.push_back(OnsetNear(onsets, a));
    return near;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// How far the onset at a typical beat stands above the song's average onset strength. The
// median, so that a few strong onsets (a pad's chord changes) do not make a pulse of the beats
// the tracker placed between them.
double Pulse(const std::vector<double>& onsets, const std::vector<double>& beats) {
    const double mean =
        std::accumulate(onsets.begin(), onsets.end(), 0.0) / static_cast<double>(onsets.size());
    if (mean <= 0 || beats.empty()) return 0;
    return Median(OnsetsAt(onsets, beats)) / mean;
}

// The rise in low-band energy (below about 200 Hz) at each onset step: where kicks, snares and
// bass notes land, and hats and cymbals barely register. Cut short when cancelled.
std::vector<double> LowBandRise(const std::vector<float>& mono, int rate, int step,
                                const std::atomic<bool>& cancel) {
    const double k = 1 - std::exp(-2 * std::numbers::pi * 200.0 / rate);
    double lp1 = 0, lp2 = 0, previous = 0;
    std::vector<double> rise;
    rise.reserve(mono.size() / static_cast<size_t>(step) + 1);
    // Window i spans half a step either side of sample i * step, like the onset function's.
    size_t at = 0;
    for (size_t i = 0; at < mono.size() || i == 0; ++i) {
        if (i % kCancelEvery == 0 && Cancelled(cancel)) break;
        const size_t end = std::min(mono.size(), i * static_cast<size_t>(step) + step / 2);
        double energy = 0;
        for (; at < end; ++at) {
            lp1 += k * (mono[at] - lp1);
            lp2 += k * (lp1 - lp2);
            energy += lp2 * lp2;
        }
        rise.push_back(std::max(0.0, energy - previous));
        previous = energy;
        if (end == mono.size()) break;
    }
    return rise;
}

// The onset strengths around tracked beats: the typical one at the even and at the odd beats,
// and halfway between beats.
struct Meter {
    double even = 0, odd = 0, between = 0;
    double Strong() const { return std::max(even, odd); }
    double Weak() const { return std::min(even, odd); }
};

Meter MeterOf(const std::vector<double>& beats, const std::vector<double>& onsets) {
    std::vector<double> even, odd, between;
    for (size_t i = 0; i + 1 < beats.size(); ++i) {
        (i % 2 == 0 ? even : odd).push_back(OnsetNear(onsets, beats[i]));
        between.push_back(OnsetNear(onsets, (beats[i] + beats[i + 1]) / 2));
    }
    return {Median(even), Median(odd), Median(between)};
}

// The tracker's comb filters hear a pattern's eighths as well as its quarters, and lean to the
// reading nearest 120: a 70 pattern comes out at 140, the eighths of a fast one (174) at 87. The
// beat is the level the drums mark, one level above the fastest notes:
// - The drums land halfway between the tracked beats as well (a snare between kicks: all of
//   them loud, or the low drums there): the tempo is twice as fast. Hats between the beats,
//   which a slow pattern has, are weaker and hardly reach the low band.
// - Every other tracked beat is weak, without low drums, and nothing plays between the beats
//   (hats on the eighths of a slow pattern): the tempo is half as fast. Each of the three keeps
//   a pattern at its tempo: a kick and a snare taking turns without hats, kicks on every beat
//   with claps on 2 and 4, hats between the beats of a half-time pattern.
std::vector<double> SettleOctave(const std::vector<double>& beats,
                                 const std::vector<double>& onsets, const std::vector<double>& low,
                                 double beatsPerMinute) {
    if (beats.size() < kMinBeats) return beats;
    const Meter all = MeterOf(beats, onsets), lowDrums = MeterOf(beats, low);
    const double on = Median(OnsetsAt(onsets, beats));
    if (beatsPerMinute / 2 >= kSlowestBpm && all.Weak() < kOffBeatShare * all.Strong() &&
        lowDrums.Weak() < kBetweenShare * lowDrums.Strong() && all.between < kBetweenShare * on) {
        std::vector<double> halved;
        for (size_t i = all.even >= all.odd ? 0 : 1; i < beats.size(); i += 2)
            halved.push_back(beats[i]);
        return halved;
    }
    const bool drumsBetween =
        all.between > kOffBeatShare * on ||
        lowDrums.between > kBetweenShare * std::max(lowDrums.Strong(), lowDrums.between);
    if (beatsPerMinute * 2 > kFastestBpm || !drumsBetween) return beats;
    // Halfway into regular gaps only: where the tracker skipped or slipped, a midpoint would be
    // off the beat.
    const double gap = (beats.back() - beats.front()) / static_cast<double>(beats.size() - 1);
    std::vector<double> settled;
    for (size_t i = 0; i + 1 < beats.size(); ++i) {
        settled.push_back(beats[i]);
        if (std::fabs(beats[i + 1] - beats[i] - gap) < gap / 4)
            settled.push_back((beats[i] + beats[i + 1]) / 2);
    }
    settled.push_back(beats.back());
    return settled;
}

// A constant grid through the tracked beats (in ms): each beat gets its whole number of periods
// from the first, and a line fitted through them gives the period and the phase.
BeatGrid FitGrid(const std::vector<double>& beatsMs, double pulse) {
    BeatGrid grid;
    if (beatsMs.size() < kMinBeats || pulse < kMinPulse) return grid;
    std::vector<double> gaps;
    for (size_t i = 1; i < beatsMs.size(); ++i)
        gaps.push_back(beatsMs[i] - beatsMs[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    const double typical = gaps[gaps.size() / 2];
    if (typical <= 0) return grid;
    std::vector<double> index{0};
    for (size_t i = 1; i < beatsMs.size(); ++i)
        index.push_back(index.back() +
                        std::max(1.0, std::round((beatsMs[i] - beatsMs[i - 1]) / typical)));

    // Two rounds: the second without the beats the first put more than a quarter beat off.
    Line line = FitLine(index, beatsMs);
    for (int round = 0; round < 2; ++round) {
        std::vector<double> x, y;
        for (size_t i = 0; i < beatsMs.size(); ++i)
            if (std::fabs(beatsMs[i] - (line.at + line.slope * index[i])) < line.slope / 4) {
                x.push_back(index[i]);
                y.push_back(beatsMs[i]);
            }
        if (x.size() < kMinBeats) break;
        line = FitLine(x, y);
    }
    const double period = line.slope;
    if (period <= 0) return grid;

    std::vector<double> x, y; // the beats on the grid
    for (size_t i = 0; i < beatsMs.size(); ++i)
        if (std::fabs(beatsMs[i] - (line.at + period * index[i])) < kOnGrid * period) {
            x.push_back(index[i]);
            y.push_back(beatsMs[i]);
        }
    const double share = static_cast<double>(x.size()) / static_cast<double>(beatsMs.size());
    bool steady = share > kSteadyShare;
    // A slow drift can hide in a long fit's average; every stretch must keep the tempo too.
    for (size_t from = 0; steady && from + kLocalBeats <= x.size(); from += kLocalBeats / 2) {
        const auto a = static_cast<long>(from), b = static_cast<long>(from + kLocalBeats);
        const Line local = FitLine({x.begin() + a, x.begin() + b}, {y.begin() + a, y.begin() + b});
        steady = std::fabs(local.slope / period - 1) <= kMaxLocalDrift;
    }
    grid.tempo = steady ? Tempo::Steady : Tempo::Drifting;
    grid.bpm = std::round(6000000.0 / period) / 100.0;
    grid.firstBeatMs = line.at + period * (x.empty() ? 0.0 : x.front());
    grid.confidence = share * std::min(1.0, pulse / (2 * kMinPulse));
    return grid;
}

// The first grid position where the song plays a beat. The tracker keeps its beats going
// through a silent or beatless intro, and may start a beat late; the grid is extended back to
// the song's start and the first beat is the first with an onset on it.
double FirstPlayedBeat(const BeatGrid& grid, const std::vector<double>& onsets, int rate,
                       int step) {
    const double period = 60000.0 / grid.bpm;
    const auto stepOf = [&](double ms) { return (ms - kBeatLagMs) / 1000.0 * rate / step; };
    double first = grid.firstBeatMs - period * std::floor(grid.firstBeatMs / period + kOnGrid);
    std::vector<double> onBeats;
    for (double ms = first; stepOf(ms) < static_cast<double>(onsets.size()); ms += period)
        onBeats.push_back(OnsetNear(onsets, stepOf(ms)));
    const double typical = Median(onBeats);
    for (const double onset : onBeats) {
        if (onset > kPlayedOnset * typical) break;
        first += period;
    }
    return std::max(0.0, first); // a song that starts on the beat: not a hair before it
}

std::optional<double> FirstDownbeat(const std::vector<float>& mono, int rate, int step,
                                    const BeatGrid& grid, double durationMs,
                                    const std::atomic<bool>& cancel) {
    DownBeat finder(static_cast<float>(rate), kDownbeatDecimation, static_cast<size_t>(step));
    finder.setBeatsPerBar(kBeatsPerBar);
    for (size_t at = 0, block = 0; at + static_cast<size_t>(step) <= mono.size();
         at += static_cast<size_t>(step), ++block) {
        if (block % kCancelEvery == 0 && Cancelled(cancel)) return std::nullopt;
        finder.pushAudioBlock(mono.data() + at);
    }
    const double period = 60000.0 / grid.bpm;
    std::vector<double> beats; // the grid's beats, in onset steps
    for (double ms = grid.firstBeatMs; ms < durationMs; ms += period)
        beats.push_back(ms / 1000.0 * rate / step);
    if (beats.size() < 2 * kBeatsPerBar) return std::nullopt;
    size_t length = 0;
    const float* audio = finder.getBufferedAudio(length);
    std::vector<int> downbeats;
    finder.findDownBeats(audio, length, beats, downbeats);
    if (downbeats.empty()) return std::nullopt;
    return grid.firstBeatMs + period * (*std::min_element(downbeats.begin(), downbeats.end()));
}

// The key the chroma frames vote for most often over the whole song.
std::optional<MusicKey> FindKey(const std::vector<float>& mono, int rate,
                                const std::atomic<bool>& cancel) {
    GetKeyMode keys(rate, 440.0f, 10, 10);
    const size_t block = keys.getBlockSize(), hop = keys.getHopSize();
    std::array<int64_t, 25> votes{};
    std::vector<double> frame(block);
    for (size_t at = 0; at + block <= mono.size() && !Cancelled(cancel); at += hop) {
        std::copy(mono.begin() + static_cast<long>(at),
                  mono.begin() + static_cast<long>(at + block), frame.begin());
        const int key = keys.process(frame.data());
        if (key >= 1 && key <= 24) ++votes[static_cast<size_t>(key)];
    }
    const auto best = std::max_element(votes.begin() + 1, votes.end());
    if (*best == 0) return std::nullopt;
    // The detector numbers C major .. B major 1..12, then C minor .. B minor 13..24.
    const int key = static_cast<int>(best - votes.begin());
    return MusicKey{(key - 1) % 12, key > 12};
}

// The beat grid and the first downbeat of a song that is not silent.
void MeasureBeats(const std::vector<float>& mono, int rate, MusicAnalysis& result,
                  const std::atomic<bool>& cancel) {
    const int step = OnsetStep(rate);
    const std::vector<double> onsets = OnsetFunction(mono, step, cancel);
    if (Cancelled(cancel)) return;
    std::vector<double> beats = TrackBeats(onsets, rate, step);
    if (beats.size() >= 2) {
        const double tracked = 60.0 * rate / step * static_cast<double>(beats.size() - 1) /
                               (beats.back() - beats.front());
        beats = SettleOctave(beats, onsets, LowBandRise(mono, rate, step, cancel), tracked);
    }
    // The tracker keeps its beats going through an intro or a break where nothing plays: those
    // say nothing of the grid.
    const std::vector<double> strength = OnsetsAt(onsets, beats);
    const double typical = Median(strength);
    std::vector<double> beatsMs;
    for (size_t i = 0; i < beats.size(); ++i)
        if (strength[i] > kPlayedOnset * typical)
            beatsMs.push_back(beats[i] * step * 1000.0 / rate + kBeatLagMs);
    result.grid = FitGrid(beatsMs, Pulse(onsets, beats));
    if (result.grid.tempo != Tempo::Steady || Cancelled(cancel)) return;
    result.grid.firstBeatMs = FirstPlayedBeat(result.grid, onsets, rate, step);
    result.firstDownbeatMs =
        FirstDownbeat(mono, rate, step, result.grid, result.durationMs, cancel);
}

// The mix points on a steady grid (see MusicAnalysis); the audible range without one.
void PlaceMixPoints(MusicAnalysis& a) {
    a.mixInMs = a.audible.startMs;
    a.mixOutMs = a.audible.endMs;
    if (a.grid.tempo != Tempo::Steady || !a.audible.audible) return;
    const double period = 60000.0 / a.grid.bpm;
    // A sound that swells in crosses the threshold after its beat.
    const double from = a.audible.startMs - period / 4;
    const double origin = a.firstDownbeatMs.value_or(a.grid.firstBeatMs);
    const double step = a.firstDownbeatMs ? kBeatsPerBar * period : period;
    const double mixIn = origin + step * std::ceil((from - origin) / step);
    const double phrase = kPhraseBeats * period;
    const double mixOut =
        origin + phrase * std::floor((a.audible.endMs - period - origin) / phrase);
    if (mixIn >= a.audible.endMs) return;
    a.mixInMs = mixIn;
    if (mixOut > mixIn) a.mixOutMs = mixOut;
}

} // namespace

std::string KeyName(MusicKey key) {
    static constexpr std::array<const char*, 12> major = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                          "F#", "G",  "Ab", "A",  "Bb", "B"};
    static constexpr std::array<const char*, 12> minor = {"C",  "C#", "D",  "Eb", "E",  "F",
                                                          "F#", "G",  "G#", "A",  "Bb", "B"};
    const auto tonic = static_cast<size_t>(((key.tonic % 12) + 12) % 12);
    return std::string(key.minor ? minor[tonic] : major[tonic]) + (key.minor ? " minor" : " major");
}

std::string KeyWheelCode(MusicKey key) {
    // Each step round the wheel is a fifth up; C major is 8B and its relative A minor 8A.
    const int tonic = ((key.tonic % 12) + 12) % 12;
    const int number = (key.minor ? 7 * tonic + 5 : 7 * tonic + 8) % 12;
    return std::to_string(number == 0 ? 12 : number) + (key.minor ? "A" : "B");
}

MusicAnalysis AnalyseMusic(const float* samples, int64_t frames, int channels, int rate) {
    static const std::atomic<bool> never{false};
    return *AnalyseMusic(samples, frames, channels, rate, never);
}

std::optional<MusicAnalysis> AnalyseMusic(const float* samples, int64_t frames, int channels,
                                          int rate, const std::atomic<bool>& cancel) {
    MusicAnalysis result;
    if (rate <= 0 || channels <= 0 || frames <= 0) return result;
    result.durationMs = 1000.0 * static_cast<double>(frames) / rate;
    double rms = 0;
    const std::vector<float> mono = Mono(samples, frames, channels, cancel, &rms);
    if (!Cancelled(cancel) && rms >= kSilentRms) {
        MeasureBeats(mono, rate, result, cancel);
        result.key = FindKey(mono, rate, cancel);
    }
    if (Cancelled(cancel)) return std::nullopt;
    result.audible = FindAudibleRange(samples, frames, channels, rate);
    PlaceMixPoints(result);
    return result;
}

std::optional<DecodedSong> DecodeSong(const std::string& path, std::string* reason,
                                      const std::atomic<bool>* cancel) {
    Mp3Decoder decoder;
    if (!decoder.Open(path, reason)) return std::nullopt;
    DecodedSong song;
    song.rate = decoder.Rate();
    constexpr int kChunkFrames = 16384;
    song.stereo.reserve(static_cast<size_t>(std::max<int64_t>(0, decoder.Length()) * 2));
    std::vector<float> chunk(kChunkFrames * 2);
    for (bool end = false; !end;) {
        if (cancel && Cancelled(*cancel)) {
            if (reason) *reason = kCancelledReason;
            return std::nullopt;
        }
        const int got = decoder.Read(chunk.data(), kChunkFrames, &end);
        if (got == 0) break;
        song.stereo.insert(song.stereo.end(), chunk.begin(), chunk.begin() + 2L * got);
    }
    if (song.stereo.empty()) {
        if (reason) *reason = "The file holds no sound that can be decoded.";
        return std::nullopt;
    }
    return song;
}

std::optional<MusicAnalysis> AnalyseMusicFile(const std::string& path, std::string* reason,
                                              const std::atomic<bool>* cancel) {
    const std::optional<DecodedSong> song = DecodeSong(path, reason, cancel);
    if (!song) return std::nullopt;
    if (!cancel) return AnalyseMusic(song->stereo.data(), song->frames(), 2, song->rate);
    std::optional<MusicAnalysis> music =
        AnalyseMusic(song->stereo.data(), song->frames(), 2, song->rate, *cancel);
    if (!music && reason) *reason = kCancelledReason;
    return music;
}

} // namespace spinx::engine
