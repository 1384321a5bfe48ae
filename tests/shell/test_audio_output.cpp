// The sound device as the DJ sees it: a red line while the desk plays into nothing, File >
// Audio Output switching devices and keeping the choice, a vanished device falling back quietly.
// ctest points ALSA at a default PCM without a clock and a clocked device on a PulseAudio sink.
#include "desktest/DeskTest.h"
#include "support/Mod_INI.h"
#include "support/SettingsKeys.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

namespace spinx::test {
namespace {

class AudioOutputTest : public DeskTest {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("ALSA_CONFIG_PATH"), nullptr) << "run through ctest";
        output = OutputKind::Default;
        DeskTest::SetUp();
        main->show();
    }
    bool Warning() {
        return main->statusBar()->isVisible() &&
               Ctl<QLabel>(*main, "Lbl_Output").text().startsWith("No sound output");
    }
};

// The red line comes when the default device proves useless and goes when a chosen device
// plays; the choices of device and headphones are stored and offered as current next time.
TEST_F(AudioOutputTest, SilenceIsShownAndChoosingADeviceEndsIt) {
    QTRY_VERIFY_WITH_TIMEOUT(Warning(), 5000);
    EXPECT_EQ(Engine().ActiveOutput(), OutputKind::Null);

    scripted.pick = "spinx_clocked";
    Ctl<QAction>(*main, "Mnu_File_AudioOutput").trigger();
    EXPECT_EQ(Engine().ActiveOutput(), OutputKind::Default);
    EXPECT_EQ(Engine().OutputDevice(), "spinx_clocked");
    EXPECT_FALSE(Warning());
    EXPECT_EQ(ReadINI("", kAudioDeviceKey, "", kSettingsSection), "spinx_clocked");
    EXPECT_TRUE(scripted.messages.empty());

    // The headphones are asked next: the same device will do for a test, and it is kept.
    ASSERT_EQ(scripted.lists.size(), 2u);
    EXPECT_EQ(scripted.lists[1].title, "Headphones");
    EXPECT_EQ(Engine().HeadphoneOutput(), "spinx_clocked");
    EXPECT_EQ(ReadINI("", kHeadphoneDeviceKey, "", kSettingsSection), "spinx_clocked");

    Ctl<QAction>(*main, "Mnu_File_AudioOutput").trigger();
    for (const ListChoice& asked : {scripted.lists[2], scripted.lists[3]})
        EXPECT_EQ(asked.items.at(asked.current), "spinx_clocked") << asked.title;
}

// A stored device that is gone leaves the default playing, with no message box and the
// stored choice kept for when the device returns.
TEST_F(AudioOutputTest, VanishedDeviceFallsBackQuietly) {
    main->close();
    ASSERT_TRUE(WriteINI("", kAudioDeviceKey, "unplugged card", kSettingsSection));
    main = std::make_unique<Frm_Main>(OutputKind::Default);
    main->MDIForm_Load();
    main->LoadAfterShow({}, {});
    main->FinishLoading();
    master = main->MasterForm();
    EXPECT_EQ(Engine().OutputDevice(), "");
    EXPECT_TRUE(scripted.messages.empty());
    EXPECT_EQ(ReadINI("", kAudioDeviceKey, "", kSettingsSection), "unplugged card");
}

} // namespace
} // namespace spinx::test
