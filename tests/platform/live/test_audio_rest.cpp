// The audio device on SDL's dummy driver, in real time: after a while of silence its
// callback rests instead of returning silence hundreds of times a second, and the next
// key or game sound wakes it and is heard; a device SDL gives up is opened again.
#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "piano/Keys.h"
#include "platform/resources/Resources.h"
#include "platform/audio/fluidsynth/AudioOut.h"

namespace clavora {
namespace {

using namespace std::chrono_literals;

constexpr int kWrongSound = 172;  // the game's "wrong" sound

// Polls until cond holds or the deadline passes.
bool Within(std::chrono::milliseconds limit, const std::function<bool()>& cond) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class AudioRest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("SDL_AUDIODRIVER", "dummy", 1); }
    void SetUp() override {
        audio.Start();
        if (!Within(10s, [&] { return audio.SynthReady(); }))
            GTEST_SKIP() << "no audio device or no General MIDI SoundFont";
        audio.OpenMidi();
        ASSERT_TRUE(Within(20s, [&] { return audio.Resting(); })) << "never rested";
    }

    AudioOut audio;
};

TEST_F(AudioRest, ARestingCallbackStaysQuietUntilAKeyWakesIt) {
    // Resting: no callback runs for a while (the dummy device otherwise asks 172 times
    // a second).
    const uint64_t before = audio.Callbacks();
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(audio.Callbacks(), before + 1);
    EXPECT_TRUE(audio.Resting());

    const uint64_t audible = audio.AudibleCallbacks();
    audio.ShortMessage(PackShortMsg(0x90, 60, kNoteVelocity));
    EXPECT_TRUE(Within(2s, [&] { return audio.AudibleCallbacks() > audible; }))
        << "the key was not heard";
    audio.ShortMessage(PackShortMsg(0x90, 60, 0));
    // Silence again: it rests again.
    EXPECT_TRUE(Within(20s, [&] { return audio.Resting(); }));
}

TEST_F(AudioRest, AGameSoundWakesIt) {
    const uint64_t audible = audio.AudibleCallbacks();
    const ResourceBytes bytes = FindEmbeddedResource(kWrongSound);
    audio.Play(audio.SoundSlot(kWrongSound, bytes.data, bytes.size));
    EXPECT_TRUE(Within(2s, [&] { return audio.AudibleCallbacks() > audible; }))
        << "the sound was not heard";
    EXPECT_TRUE(Within(20s, [&] { return audio.Resting(); }));
}

TEST_F(AudioRest, ADeviceGivenUpIsOpenedAgainAndPlays) {
    // The device SDL would give up after an unrecoverable write: the one playing.
    uint32_t id = 0;
    for (uint32_t i = 2; i < 32 && id == 0; ++i)
        if (SDL_GetAudioDeviceStatus(i) == SDL_AUDIO_PLAYING) id = i;
    ASSERT_NE(id, 0u);
    audio.DeviceRemoved(id + 100);  // another device's loss is not ours
    EXPECT_EQ(audio.LostDevices(), 0u);
    audio.DeviceRemoved(id);
    // The keeper closes it and opens the next output on its own thread.
    EXPECT_TRUE(Within(5s, [&] { return audio.LostDevices() == 1u; }));
    EXPECT_TRUE(Within(5s, [&] { return std::string(audio.OutputName()) == "sdl"; }));
    const uint64_t audible = audio.AudibleCallbacks();
    audio.ShortMessage(PackShortMsg(0x90, 60, kNoteVelocity));
    EXPECT_TRUE(Within(2s, [&] { return audio.AudibleCallbacks() > audible; }))
        << "no sound after the device was opened again";
    audio.ShortMessage(PackShortMsg(0x90, 60, 0));
}

}  // namespace
}  // namespace clavora
