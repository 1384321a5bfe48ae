#pragma once
// A tiny registry of benchmark figures. Each figure is a function that measures and reports one
// or more `<name> <value>` lines through Report(); main() runs them in registration order.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace spinx::bench {

struct Figure {
    std::string area;
    std::function<void()> run;
};

std::vector<Figure>& Registry();

struct Registrar {
    Registrar(const char* area, std::function<void()> run) {
        Registry().push_back({area, std::move(run)});
    }
};

// Prints `<name> <value>` and remembers whether the figure met its target. `lowerIsBetter`
// says which side of the target passes.
void Report(const std::string& name, double value, double target, bool lowerIsBetter);
// A figure that has no target (a baseline).
void Report(const std::string& name, double value);

// A scratch folder, removed at exit.
std::string TempFolder();

template <class F> double MedianOf(int runs, F&& once) {
    std::vector<double> v;
    for (int i = 0; i < runs; ++i)
        v.push_back(once());
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median over `rounds` of seconds(true) / seconds(false), the two measured back to back in
// alternating order, so that a drift in the machine's speed favours neither side.
template <class F> double MedianOnOffRatio(int rounds, F&& seconds) {
    int round = 0;
    return MedianOf(rounds, [&] {
        const bool onFirst = round++ % 2 == 0;
        const double first = seconds(onFirst), second = seconds(!onFirst);
        return onFirst ? first / second : second / first;
    });
}

inline double NowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread: what a render on it costs, whatever else the machine runs.
inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace spinx::bench

#define SPINX_BENCH_CAT2(a, b) a##b
#define SPINX_BENCH_CAT(a, b) SPINX_BENCH_CAT2(a, b)
#define SPINX_BENCH(area)                                                                          \
    static void SPINX_BENCH_CAT(spinxBench_, __LINE__)();                                          \
    static ::spinx::bench::Registrar SPINX_BENCH_CAT(spinxBenchReg_, __LINE__)(                    \
        area, &SPINX_BENCH_CAT(spinxBench_, __LINE__));                                            \
    static void SPINX_BENCH_CAT(spinxBench_, __LINE__)()
