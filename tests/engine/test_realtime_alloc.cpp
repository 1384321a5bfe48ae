// The mixing code allocates nothing: every path the audio callback takes (start and pause
// fades, seeks, pitch glides and the resampler hand-over, key lock, EQ changes, level events,
// the end of a song, a new load, the headphones' cue in every route) runs with malloc counting
// on the mixing thread.
#include "EngineTestUtil.h"
#include "engine/AspinxImpl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {
thread_local bool tCounting = false;
std::atomic<int> gAllocations{0};
// A place for a debugger's breakpoint when this test fails.
__attribute__((noinline)) void CountedAllocation() {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
}
void Count() {
    if (tCounting) CountedAllocation();
}
} // namespace

// Replaces the C library's allocators for this test program, counting calls made on a thread
// that has tCounting set. (C++ new ends in malloc.)
extern "C" {
void* malloc(size_t n) {
    Count();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    Count();
    return __libc_realloc(p, n);
}
void* memalign(size_t alignment, size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    Count();
    *out = __libc_memalign(alignment, n);
    return *out ? 0 : ENOMEM;
}
}

using namespace spinx;
using namespace spinx::test;

namespace {
bool WaitLoaded(AspinxImpl& impl) {
    std::vector<engine::Event> events;
    for (int i = 0; i < 5000; ++i) {
        impl.CollectEvents(events);
        if (!impl.LoadsPending()) return true;
        usleep(1000);
    }
    return false;
}
} // namespace

TEST(RealtimeAllocations, MixingNeverAllocates) {
    AspinxImpl impl(OutputKind::Offline);
    std::vector<float> out(2 * 44100 * 2), phones(out.size()); // two seconds
    bool withPhones = false;
    auto render = [&](int frames) {
        tCounting = true;
        impl.RenderOffline(out.data(), frames, withPhones ? phones.data() : nullptr);
        tCounting = false;
    };
    const std::string song = ToneMp3("alloc_tone", 3.0, 440.0);
    const std::string song48 = ToneMp3("alloc_tone48", 3.0, 440.0, 48000);
    for (int p = 0; p < 4; ++p) {
        impl.Load(p, p == 3 ? song48 : song);
        impl.SetMeter(p, true);
    }
    ASSERT_TRUE(WaitLoaded(impl));
    impl.RenderOffline(out.data(), 512); // first touch of everything, uncounted

    for (int p = 0; p < 4; ++p)
        impl.Play(p);
    render(4096);
    impl.SetPitch(0, 1300); // into the resampler, crossfaded
    impl.SetPitch(1, 1);
    render(2048);
    impl.SetPitch(0, 1000); // and back out
    EqGains curve{-100, 50, 0, 20, -30, 100, 0, 0, -70, 10};
    impl.SetEqualizer(2, true, curve);
    impl.SetVolume(2, 30);
    impl.SetBalance(2, 10);
    impl.SetMasterVolume(80);
    render(4096);
    impl.Seek(0, 1500);
    impl.Seek(3, 2000);
    render(8192);
    impl.Pause(1);
    impl.SetEqualizer(2, true, EqGains{});
    render(4096);
    impl.SetCue(1, true);
    impl.SetCue(2, true);
    impl.SetCueMix(40);
    withPhones = true;
    render(4096);
    std::string reason;
    ASSERT_TRUE(impl.UseHeadphones(Aspinx::kSplitHeadphones, &reason));
    impl.SetHeadphoneVolume(70);
    render(4096);
    impl.Play(1);
    impl.SetKeyLock(3, true); // switched while playing: a dip, then through the stretcher
    impl.SetPitch(3, 1080);
    render(8192);
    impl.SetPitch(3, 920); // the stretcher follows the glide
    impl.Seek(3, 500);     // and starts again after a seek
    render(8192);
    impl.SetKeyLock(3, false);
    render(44100 * 2); // through the end of player 0's song
    impl.Load(2, song);
    render(4096);
    EXPECT_EQ(gAllocations.load(), 0) << "allocations on the mixing thread";
    EXPECT_EQ(impl.Status(0), engine::kStatusStopped) << "the test did reach the end of a song";
}
