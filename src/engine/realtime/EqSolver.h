#pragma once
// Turns an equaliser curve (the gain wanted at each band centre) into the gains of the peaking
// filters that realise it. Neighbouring filters overlap, so filters set to the wanted gains
// stack (all bands at +12 dB would measure up to +27 dB). The solver fits the filter gains by
// weighted least squares to the curve at the centres and half-way between them, then refits
// with each filter's shape at the gain first found, since a peaking filter's shape in dB is
// not quite proportional to its gain. The first fit's matrix and the filters' shapes over their
// whole gain range are worked out at construction, so Solve, which the mixer's thread calls
// when a curve changes, takes no logarithms and allocates nothing (a few microseconds); any
// thread may use it.
#include <array>
#include <vector>

namespace spinx::engine {

struct BiquadCoeffs {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0; // a0 normalised to 1
};

class EqSolver {
  public:
    static constexpr int kBands = 10;
    using Gains = std::array<double, kBands>;
    static constexpr Gains kCentresHz = {600,  1000, 1700, 2400, 3000,
                                         3700, 4300, 5000, 8000, 13700};

    explicit EqSolver(int rate);

    // The peaking filter of `band` at `db` (RBJ cookbook; 0 dB is exactly the identity).
    BiquadCoeffs Design(int band, double db) const;
    // Filter gains whose cascade follows `curveDb`; an all-zero curve gives exactly zeros.
    Gains Solve(const Gains& curveDb) const;

  private:
    static constexpr int kPoints = 2 * kBands - 1; // the centres and the points between them
    using Curve = std::array<double, kPoints>;
    using Shape = std::array<Curve, kBands>; // per filter: dB at each point per dB of its gain

    double ResponseDb(const BiquadCoeffs& c, int point) const;
    Gains Fit(const Shape& shape, const Curve& target) const;
    // Band `band`'s shape at `db`, interpolated from shapes_.
    void ShapeAt(int band, double db, Curve& shape) const;

    Gains cosTerm_{}, alpha_{};
    Curve cosW_{}, cos2W_{}, weight_{};
    Shape prototype_{};
    Shape firstFit_{}; // firstFit_[b][p]: band b's gain per dB wanted at point p, prototype shapes
    // Per band, the shape at every kShapeStepDb from 0 to the largest filter gain. A cut's
    // shape is its boost's (a peaking filter's cut is the exact inverse of its boost).
    std::vector<Curve> shapes_;
};

} // namespace spinx::engine
