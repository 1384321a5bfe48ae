#include "desktest/DeskTest.h"

#include "engine/Aspinx.h"

#include <cstdlib>

namespace spinx::test {

std::string MakeMp3(const std::string& folder, const std::string& name, double seconds,
                    const std::string& effects) {
    const std::string wav = folder + "/" + name + ".wav";
    const std::string mp3 = folder + "/" + name;
    const std::string command = "sox -R -n -r 44100 -c 2 -b 16 '" + wav + "' synth " +
                                std::to_string(seconds) + " sine 440 vol 0.5 " + effects +
                                " && lame --quiet -b 128 '" + wav + "' '" + mp3 + "' && rm -f '" +
                                wav + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return mp3;
}

void DeskTest::SetUp() {
    main = std::make_unique<Frm_Main>(output);
    main->MDIForm_Load();
    main->LoadAfterShow({}, {});
    main->FinishLoading();
    master = main->MasterForm();
    ASSERT_NE(master, nullptr);
}

void DeskTest::TearDown() {
    main->close();
    main.reset();
}

void DeskTest::Render(int ms) {
    const int rate = Engine().SampleRate();
    std::vector<float> buffer(2 * 512);
    for (long frames = static_cast<long>(rate) * ms / 1000; frames > 0; frames -= 512) {
        const int now = static_cast<int>(std::min<long>(frames, 512));
        Engine().RenderOffline(buffer.data(), now);
    }
}

void DeskTest::Settle() {
    ASSERT_TRUE(Engine().WaitIdle(5000));
}

} // namespace spinx::test
