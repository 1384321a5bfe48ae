#include "engine/realtime/Equalizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace spinx::engine {

namespace {
using Pair = float __attribute__((vector_size(8))); // a stereo frame
inline Pair Splat(float v) {
    return Pair{v, v};
}
// Frames between coefficient designs: each costs a few trigonometric calls per band, and the
// coefficients move sample by sample in between, so longer steps stay as clean (the change
// tests measure the same residue at 32 and 128).
constexpr int kStep = 128;
constexpr double kGlideSeconds = 0.01; // time constant of the gain glide
constexpr float kSnapDb = 0.005f;      // close enough to the target to stop gliding
constexpr float kQuiet = 1e-7f;        // filter memory this small has rung out
// A dragged slider sends a new curve with every mouse move; solving the band interaction for
// each would cost more than filtering. A new curve is solved at most this often, the latest one
// winning: the 10 ms glide hides the wait.
constexpr int kSolveEvery = 1024; // frames

// One frame through a biquad in direct form I. The previous output's term comes last: it alone
// waits on the frame before, so the chain from one frame to the next is one multiply and one
// subtraction.
inline Pair BiquadStep(Pair in, Pair b0, Pair b1, Pair b2, Pair a1, Pair a2, Pair& x1, Pair& x2,
                       Pair& y1, Pair& y2) {
    const Pair out = (b0 * in + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
    x2 = x1, x1 = in, y2 = y1, y1 = out;
    return out;
}

// Runs one band's biquad over `n` frames; with `step`, its coefficients move by `step` per
// frame (so a ramp ends exactly on the new design).
template <bool kRamp>
void Run(float* x, int n, float c[5], const float* step, Pair& x1, Pair& x2, Pair& y1, Pair& y2) {
    Pair b0 = Splat(c[0]), b1 = Splat(c[1]), b2 = Splat(c[2]), a1 = Splat(c[3]), a2 = Splat(c[4]);
    Pair d0{}, d1{}, d2{}, d3{}, d4{};
    if constexpr (kRamp) {
        d0 = Splat(step[0]), d1 = Splat(step[1]), d2 = Splat(step[2]), d3 = Splat(step[3]),
        d4 = Splat(step[4]);
    }
    for (int k = 0; k < n; ++k) {
        if constexpr (kRamp) {
            b0 += d0, b1 += d1, b2 += d2, a1 += d3, a2 += d4;
        }
        Pair in;
        std::memcpy(&in, x + 2 * k, sizeof in);
        const Pair out = BiquadStep(in, b0, b1, b2, a1, a2, x1, x2, y1, y2);
        std::memcpy(x + 2 * k, &out, sizeof out);
    }
}

// One held biquad, one frame: its filter state and coefficients.
struct Held {
    Pair b0, b1, b2, a1, a2;
    Pair x1, x2, y1, y2;
    Pair Step(Pair in) { return BiquadStep(in, b0, b1, b2, a1, a2, x1, x2, y1, y2); }
};

// Two consecutive bands with held coefficients in one loop, the second a frame behind the
// first, so that their chains from frame to frame run side by side; each computes exactly
// what Run would.
[[gnu::always_inline]] inline void RunTwo(float* x, int n, Held& bandA, Held& bandB) {
    // Locals: stores to `x` could alias bands held by reference, which would keep the filters'
    // state in memory instead of registers.
    Held a = bandA, b = bandB;
    Pair in;
    std::memcpy(&in, x, sizeof in);
    Pair fromA = a.Step(in);
    for (int k = 1; k < n; ++k) {
        std::memcpy(&in, x + 2 * k, sizeof in);
        const Pair nextA = a.Step(in);
        const Pair out = b.Step(fromA);
        std::memcpy(x + 2 * (k - 1), &out, sizeof out);
        fromA = nextA;
    }
    const Pair out = b.Step(fromA);
    std::memcpy(x + 2 * (n - 1), &out, sizeof out);
    bandA = a, bandB = b;
}

// A band's coefficients and filter state in vector registers, and the state back.
template <class Band> Held LoadHeld(const Band& b) {
    return Held{Splat(b.c[0]),          Splat(b.c[1]),          Splat(b.c[2]),
                Splat(b.c[3]),          Splat(b.c[4]),          Pair{b.x1[0], b.x1[1]},
                Pair{b.x2[0], b.x2[1]}, Pair{b.y1[0], b.y1[1]}, Pair{b.y2[0], b.y2[1]}};
}

template <class Band> void KeepState(const Held& h, Band& b) {
    b.x1[0] = h.x1[0], b.x1[1] = h.x1[1], b.x2[0] = h.x2[0], b.x2[1] = h.x2[1];
    b.y1[0] = h.y1[0], b.y1[1] = h.y1[1], b.y2[0] = h.y2[0], b.y2[1] = h.y2[1];
}
} // namespace

Equalizer::Equalizer(int rate)
    : solver_(rate),
      smoothing_(static_cast<float>(1.0 - std::exp(-kStep / (kGlideSeconds * rate)))) {}

void Equalizer::Design(int band, float c[5]) const {
    const BiquadCoeffs d = solver_.Design(band, bands_[band].db);
    c[0] = static_cast<float>(d.b0), c[1] = static_cast<float>(d.b1);
    c[2] = static_cast<float>(d.b2), c[3] = static_cast<float>(d.a1);
    c[4] = static_cast<float>(d.a2);
}

void Equalizer::Retarget(const Curve& curve) {
    curve_ = curve;
    sinceSolve_ = 0;
    EqSolver::Gains wanted;
    std::copy(curve.begin(), curve.end(), wanted.begin());
    const EqSolver::Gains gains = solver_.Solve(wanted);
    for (int i = 0; i < kBands; ++i)
        bands_[i].goal = static_cast<float>(gains[i]);
}

void Equalizer::Restart(const Curve& curve) {
    if (curve != curve_) Retarget(curve);
    for (int i = 0; i < kBands; ++i) {
        Band& b = bands_[i];
        b = Band{b.goal, b.goal, b.goal != 0.0f};
        Design(i, b.c);
    }
}

bool Equalizer::Settled() const {
    for (const Band& b : bands_)
        if (b.db != b.goal || (b.active && b.db == 0.0f)) return false;
    return true;
}

void Equalizer::RunPair(float* x, int frames, Band& a, Band& b) {
    Held ha = LoadHeld(a), hb = LoadHeld(b);
    RunTwo(x, frames, ha, hb);
    KeepState(ha, a);
    KeepState(hb, b);
}

void Equalizer::RunAlone(float* x, int frames, Band& b, const float* step) {
    Held h = LoadHeld(b);
    if (step)
        Run<true>(x, frames, b.c, step, h.x1, h.x2, h.y1, h.y2);
    else
        Run<false>(x, frames, b.c, nullptr, h.x1, h.x2, h.y1, h.y2);
    KeepState(h, b);
}

void Equalizer::RunSettled(float* x, int frames) {
    Held held[kBands];
    Band* band[kBands];
    int used = 0;
    for (Band& b : bands_) {
        if (!b.active) continue;
        held[used] = LoadHeld(b);
        band[used++] = &b;
    }
    for (int j = 0; j < used; j += 2) {
        if (j + 1 < used) {
            RunTwo(x, frames, held[j], held[j + 1]);
        } else {
            Held& h = held[j];
            Run<false>(x, frames, band[j]->c, nullptr, h.x1, h.x2, h.y1, h.y2);
        }
    }
    for (int j = 0; j < used; ++j)
        KeepState(held[j], *band[j]);
}

void Equalizer::Process(float* buf, int frames, const Curve& curve) {
    if (curve != curve_ && sinceSolve_ >= kSolveEvery) Retarget(curve);
    sinceSolve_ = std::min(sinceSolve_ + frames, kSolveEvery);
    if (std::none_of(bands_.begin(), bands_.end(),
                     [](const Band& b) { return b.active || b.db != b.goal; }))
        return; // flat and rung out: nothing to do
    for (int at = 0; at < frames; at += kStep) {
        const int n = std::min(kStep, frames - at);
        float* x = buf + 2 * at;
        if (Settled()) {
            // Nothing glides or rings out: the rest of the buffer at once, bands in pairs.
            RunSettled(x, frames - at);
            return;
        }
        // Each band's step first; then the bands in order, two held ones side by side.
        bool ramp[kBands] = {};
        float to[kBands][5], step[kBands][5];
        for (int i = 0; i < kBands; ++i) {
            Band& b = bands_[i];
            if (b.db != b.goal) {
                b.db += (b.goal - b.db) * smoothing_;
                if (std::fabs(b.goal - b.db) < kSnapDb) b.db = b.goal;
                ramp[i] = b.active = true;
                Design(i, to[i]);
                for (int k = 0; k < 5; ++k)
                    step[i][k] = (to[i][k] - b.c[k]) / static_cast<float>(n);
            } else if (b.active && b.db == 0.0f &&
                       std::max({std::fabs(b.x1[0] - b.y1[0]), std::fabs(b.x1[1] - b.y1[1]),
                                 std::fabs(b.x2[0] - b.y2[0]), std::fabs(b.x2[1] - b.y2[1])}) <
                           kQuiet) {
                // Flat, and output equals input: skip it from now on. Empty memory is
                // consistent with a flat filter, so it can start again from there.
                b = Band{};
            }
        }
        int held = -1; // an active band without a ramp, waiting to be paired
        for (int i = 0; i < kBands; ++i) {
            Band& b = bands_[i];
            if (!b.active) continue;
            if (ramp[i]) {
                if (held >= 0) RunAlone(x, n, bands_[held], nullptr);
                held = -1;
                RunAlone(x, n, b, step[i]);
                std::copy(to[i], to[i] + 5, b.c);
            } else if (held >= 0) {
                RunPair(x, n, bands_[held], b);
                held = -1;
            } else {
                held = i;
            }
        }
        if (held >= 0) RunAlone(x, n, bands_[held], nullptr);
    }
}

} // namespace spinx::engine
