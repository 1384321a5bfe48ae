#include "engine/realtime/EqSolver.h"

#include <algorithm>
#include <cmath>

namespace spinx::engine {

namespace {
// Bandwidths in octaves (between the half-gain points), tuned together with the centres: wide
// enough that equal bands sum to a flat curve between the centres, narrow enough that the
// closely spaced middle bands can still differ by 24 dB from their neighbours.
constexpr EqSolver::Gains kWidthOctaves = {0.70, 1.50, 0.85, 0.70, 0.45,
                                           0.30, 0.18, 0.70, 1.15, 1.40};
constexpr double kPrototypeDb = 12.0;   // gain at which the filters' shapes are first taken
constexpr double kBetweenWeight = 0.05; // weight of the points between centres in the fit
constexpr double kMaxFilterDb = 30.0;   // a filter never goes beyond this, whatever the fit says
// Spacing of the tabled shapes: a shape changes so slowly with gain that straight lines between
// them are within a few millionths of it.
constexpr double kShapeStepDb = 0.5;
constexpr int kShapeSteps = static_cast<int>(kMaxFilterDb / kShapeStepDb) + 1;
constexpr double kLeastShapeDb = 0.01; // smaller gains cannot tell a shape from the prototype's
} // namespace

EqSolver::EqSolver(int rate) {
    const double nyquistGuard = 0.45 * rate;
    for (int i = 0; i < kBands; ++i) {
        const double w0 = 2.0 * M_PI * std::min(kCentresHz[i], nyquistGuard) / rate;
        cosTerm_[i] = -2.0 * std::cos(w0);
        alpha_[i] =
            std::sin(w0) * std::sinh(std::log(2.0) / 2.0 * kWidthOctaves[i] * w0 / std::sin(w0));
    }
    for (int p = 0; p < kPoints; ++p) {
        const int i = p / 2;
        const double hz = p % 2 ? std::sqrt(kCentresHz[i] * kCentresHz[i + 1]) : kCentresHz[i];
        const double w = 2.0 * M_PI * std::min(hz, nyquistGuard) / rate;
        cosW_[p] = std::cos(w);
        cos2W_[p] = std::cos(2.0 * w);
        weight_[p] = p % 2 ? kBetweenWeight : 1.0;
        for (int b = 0; b < kBands; ++b)
            prototype_[b][p] = ResponseDb(Design(b, kPrototypeDb), p) / kPrototypeDb;
    }
    // The first fit is linear in the curve: its matrix, column by column.
    for (int p = 0; p < kPoints; ++p) {
        Curve unit{};
        unit[p] = 1.0;
        const Gains g = Fit(prototype_, unit);
        for (int b = 0; b < kBands; ++b)
            firstFit_[b][p] = g[b];
    }
    shapes_.resize(static_cast<size_t>(kBands) * (kShapeSteps + 1));
    for (int b = 0; b < kBands; ++b) {
        for (int k = 0; k <= kShapeSteps; ++k) {
            const double db = std::max(kLeastShapeDb, k * kShapeStepDb);
            const BiquadCoeffs c = Design(b, db);
            Curve& shape = shapes_[static_cast<size_t>(b) * (kShapeSteps + 1) + k];
            for (int p = 0; p < kPoints; ++p)
                shape[p] = ResponseDb(c, p) / db;
        }
    }
}

void EqSolver::ShapeAt(int band, double db, Curve& shape) const {
    const double at = std::min(std::fabs(db) / kShapeStepDb, kShapeSteps - 1e-9);
    const int k = static_cast<int>(at);
    const double w = at - k;
    const Curve* row = &shapes_[static_cast<size_t>(band) * (kShapeSteps + 1)];
    const Curve &lo = row[k], &hi = row[k + 1];
    for (int p = 0; p < kPoints; ++p)
        shape[p] = lo[p] + (hi[p] - lo[p]) * w;
}

BiquadCoeffs EqSolver::Design(int band, double db) const {
    if (db == 0.0) return {};
    const double a = std::pow(10.0, db / 40.0);
    const double a0 = 1.0 + alpha_[band] / a;
    return {(1.0 + alpha_[band] * a) / a0, cosTerm_[band] / a0, (1.0 - alpha_[band] * a) / a0,
            cosTerm_[band] / a0, (1.0 - alpha_[band] / a) / a0};
}

double EqSolver::ResponseDb(const BiquadCoeffs& c, int p) const {
    const double num = c.b0 * c.b0 + c.b1 * c.b1 + c.b2 * c.b2 +
                       2.0 * (c.b0 * c.b1 + c.b1 * c.b2) * cosW_[p] + 2.0 * c.b0 * c.b2 * cos2W_[p];
    const double den = 1.0 + c.a1 * c.a1 + c.a2 * c.a2 + 2.0 * (c.a1 + c.a1 * c.a2) * cosW_[p] +
                       2.0 * c.a2 * cos2W_[p];
    // Single precision is ample for a fit to 0.01 dB, and several times faster.
    return 10.0f * std::log10(static_cast<float>(num / den));
}

EqSolver::Gains EqSolver::Fit(const Shape& shape, const Curve& target) const {
    // Normal equations (S^T W S) g = S^T W t, solved by Gaussian elimination with pivoting.
    Shape weighted;
    for (int r = 0; r < kBands; ++r)
        for (int p = 0; p < kPoints; ++p)
            weighted[r][p] = shape[r][p] * weight_[p];
    // Two sums per entry, so that each addition need not wait for the one before.
    static_assert(kPoints % 2 == 1);
    auto dot = [](const Curve& a, const Curve& b) {
        double even = 0, odd = 0;
        int p = 0;
        for (; p + 1 < kPoints; p += 2) {
            even += a[p] * b[p];
            odd += a[p + 1] * b[p + 1];
        }
        return even + odd + a[p] * b[p];
    };
    std::array<std::array<double, kBands + 1>, kBands> m{};
    for (int r = 0; r < kBands; ++r) {
        for (int c = r; c < kBands; ++c)
            m[r][c] = m[c][r] = dot(weighted[r], shape[c]);
        m[r][kBands] = dot(weighted[r], target);
    }
    for (int col = 0; col < kBands; ++col) {
        int pivot = col;
        for (int r = col + 1; r < kBands; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        std::swap(m[col], m[pivot]);
        for (int r = col + 1; r < kBands; ++r) {
            const double f = m[r][col] / m[col][col];
            for (int c = col; c <= kBands; ++c)
                m[r][c] -= f * m[col][c];
        }
    }
    Gains g{};
    for (int r = kBands - 1; r >= 0; --r) {
        double s = m[r][kBands];
        for (int c = r + 1; c < kBands; ++c)
            s -= m[r][c] * g[c];
        g[r] = std::clamp(s / m[r][r], -kMaxFilterDb, kMaxFilterDb);
    }
    return g;
}

EqSolver::Gains EqSolver::Solve(const Gains& curveDb) const {
    Curve target{};
    for (int p = 0; p < kPoints; ++p)
        target[p] = p % 2 ? (curveDb[p / 2] + curveDb[p / 2 + 1]) / 2 : curveDb[p / 2];
    Gains g{};
    for (int b = 0; b < kBands; ++b) {
        double sum = 0;
        for (int p = 0; p < kPoints; ++p)
            sum += firstFit_[b][p] * target[p];
        g[b] = std::clamp(sum, -kMaxFilterDb, kMaxFilterDb);
    }
    for (int pass = 0; pass < 2; ++pass) {
        Shape shape = prototype_;
        for (int b = 0; b < kBands; ++b)
            if (std::fabs(g[b]) >= kLeastShapeDb) ShapeAt(b, g[b], shape[b]);
        g = Fit(shape, target);
    }
    return g;
}

} // namespace spinx::engine
