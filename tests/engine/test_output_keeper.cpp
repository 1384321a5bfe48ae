// The output keeper on devices of the test's own: the first opening in the background, a lost
// device replaced by itself with never two threads in the mixer, and an opening that hangs left
// behind without holding anything up. (A device that keeps no time is not opened again: the
// clockless-output test would see its songs race ahead if it were.)
#include "EngineTestUtil.h"
#include "engine/PlayerChannel.h"
#include "engine/output/OutputKeeper.h"
#include "engine/realtime/Mixer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace spinx;
using namespace spinx::engine;
using spinx::test::Within;

namespace {

constexpr int kRate = 44100;

// What the devices saw, shared by all of them.
struct Probe {
    std::atomic<int> opened{0}, started{0}, destroyed{0};
    std::atomic<int> inMixer{0}, mostInMixer{0};
    std::atomic<class FakeDevice*> latest{nullptr};
};

// A device that mixes 256 frames every 5 ms on a thread of its own, until it is told it died.
class FakeDevice : public AudioOutput {
  public:
    explicit FakeDevice(Probe& probe) : probe_(probe) {}
    ~FakeDevice() override {
        quit_ = true;
        if (thread_.joinable()) thread_.join();
        ++probe_.destroyed;
    }
    OutputKind Kind() const override { return dead_ ? OutputKind::Null : OutputKind::Default; }
    int SampleRate() const override { return kRate; }
    void Start(Mixer& mixer, std::function<bool()>) override {
        ++probe_.started;
        thread_ = std::thread([this, &mixer] {
            std::vector<float> buffer(512);
            while (!quit_) {
                const int now = ++probe_.inMixer;
                probe_.mostInMixer = std::max(probe_.mostInMixer.load(), now);
                mixer.Render(buffer.data(), 256, false);
                --probe_.inMixer;
                stats_.Record(1, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void Die() { dead_ = true; }

  private:
    Probe& probe_;
    std::atomic<bool> dead_{false}, quit_{false};
    std::thread thread_;
};

class OutputKeeperTest : public testing::Test {
  protected:
    std::array<PlayerChannel, Aspinx::kPlayers> channels;
    Mixer mixer{channels, kRate};
    Probe probe;
    // An opener that fails its first `failures` calls.
    OutputKeeper::Opener Opener(int failures) {
        return [this, failures](std::string* reason) -> std::unique_ptr<AudioOutput> {
            if (++probe.opened <= failures) {
                *reason = "not there";
                return nullptr;
            }
            auto device = std::make_unique<FakeDevice>(probe);
            probe.latest = device.get();
            return device;
        };
    }
};

TEST_F(OutputKeeperTest, FindsTheDeviceLateAndReplacesALostOne) {
    OutputKeeper keeper(mixer, 256, nullptr, Opener(2), "the test device");
    EXPECT_FALSE(keeper.WaitFirst(2000)) << "the first opening fails";
    EXPECT_EQ(keeper.Kind(), OutputKind::Null);
    ASSERT_TRUE(Within(3000, [&] { return keeper.Kind() == OutputKind::Default; }));
    EXPECT_EQ(probe.opened, 3);
    const uint64_t before = keeper.Snapshot().buffers;
    ASSERT_TRUE(Within(1000, [&] { return keeper.Snapshot().buffers > before + 10; }));

    // The device dies: a new one takes over.
    probe.latest.load()->Die();
    ASSERT_TRUE(Within(2000, [&] { return probe.started == 2; }));
    EXPECT_TRUE(Within(1000, [&] { return keeper.Kind() == OutputKind::Default; }));
    EXPECT_EQ(probe.destroyed, 1);
    EXPECT_EQ(probe.mostInMixer, 1) << "two outputs were in the mixer at once";
}

TEST_F(OutputKeeperTest, AnOpeningThatHangsHoldsNothingUp) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // Shared with the opening, which outlives the keeper.
    auto late = std::make_shared<Probe>();
    QElapsedTimer clock;
    clock.start();
    auto keeper = std::make_unique<OutputKeeper>(
        mixer, 256, nullptr,
        [released, late](std::string*) -> std::unique_ptr<AudioOutput> {
            ++late->opened;
            released.wait();
            return std::make_unique<FakeDevice>(*late);
        },
        "the test device");
    EXPECT_LT(clock.elapsed(), 200) << "the window would wait for the device";
    ASSERT_TRUE(Within(1000, [&] { return late->opened == 1; }));
    EXPECT_FALSE(keeper->WaitFirst(50));
    EXPECT_EQ(keeper->Kind(), OutputKind::Default) << "while it opens, the device is hoped for";
    clock.restart();
    keeper.reset();
    EXPECT_LT(clock.elapsed(), 200) << "going away waited for the opening";
    release.set_value();
    // The late device is dropped unstarted by the thread left behind.
    EXPECT_TRUE(Within(2000, [&] { return late->destroyed == 1; }));
    EXPECT_EQ(late->started, 0);
    QThread::msleep(50); // the thread ends after dropping it
}

} // namespace
