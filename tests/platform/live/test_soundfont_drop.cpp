// The SoundFont the synthesizer plays, on the real synthesizer without a sound card: the
// one CLAVORA_SOUNDFONT names, and one dropped later, which takes over; a file that is
// not a usable SoundFont is refused with one line and the sound stays as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "piano/Keys.h"
#include "platform/audio/fluidsynth/AudioOut.h"

namespace clavora {
namespace {

const std::string kTim = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// True when middle C, played now, is heard within its first 100 ms.
bool KeySounds(AudioOut& audio) {
    audio.ShortMessage(PackShortMsg(0x90, 60, kNoteVelocity));
    int16_t buf[2 * AudioOut::kBufferFrames];
    bool heard = false;
    for (int i = 0; i < 20 && !heard; ++i) {
        audio.RenderByHand(buf, AudioOut::kBufferFrames);
        for (int16_t v : buf) heard = heard || v != 0;
    }
    audio.ShortMessage(PackShortMsg(0x90, 60, 0));
    for (int i = 0; i < 400; ++i) audio.RenderByHand(buf, AudioOut::kBufferFrames);
    return heard;
}

TEST(SoundFontDrop, TheUsersSoundFontThenADroppedOneAndNeverABrokenOne) {
    if (access(kTim.c_str(), R_OK) != 0) GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    setenv("CLAVORA_SOUNDFONT", kTim.c_str(), 1);
    AudioOut audio;
    const bool loaded = audio.LoadWithoutDevice();
    unsetenv("CLAVORA_SOUNDFONT");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(audio.SoundFontPlaying(), kTim);
    audio.OpenMidi();

    // Looks like a SoundFont by its first bytes, but is none.
    char broken[] = "/tmp/clavora-broken-XXXXXX";
    const int fd = mkstemp(broken);
    ASSERT_GE(fd, 0);
    const char bytes[] = "RIFF\x20\x00\x00\x00sfbkLIST\x04\x00\x00\x00INFOgarbage";
    ASSERT_EQ(write(fd, bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
    close(fd);
    for (const std::string& refused : {std::string(broken), std::string("/nonexistent.sf2")}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(audio.ReplaceSoundFont(refused));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(refused), std::string::npos) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
        EXPECT_EQ(audio.SoundFontPlaying(), kTim);
        EXPECT_TRUE(KeySounds(audio)) << "the sound was lost with " << refused;
    }
    unlink(broken);

    // Dropped: loaded on a thread of its own, then it plays.
    const std::string other = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    if (access(other.c_str(), R_OK) != 0) GTEST_SKIP() << "fluid-soundfont-gm is not installed";
    audio.LoadSoundFont(other.c_str());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (audio.SoundFontPlaying() != other && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(audio.SoundFontPlaying(), other);
    EXPECT_TRUE(KeySounds(audio));
    audio.CloseMidi();
}

}  // namespace
}  // namespace clavora
