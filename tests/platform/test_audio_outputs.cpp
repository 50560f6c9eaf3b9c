// Which outputs are tried, as the environment asks (a table), and the keeper with
// outputs of the test's own: it takes the first that opens, plays on through the next
// when that one is lost, and goes back to the better one once it opens again.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/AudioChoice.h"
#include "platform/audio/OutputKeeper.h"

namespace clavora::test {
namespace {

using namespace std::chrono_literals;

TEST(AudioOutputs, TheEnvironmentChoosesWhichAreTried) {
    const std::vector<std::string> all = {"pipewire", "pulse", "sdl"};
    const struct {
        std::map<std::string, std::string> env;
        std::vector<std::string> names;
        std::vector<int> order;
        bool complaint = false;
    } cases[] = {
        {{}, all, {0, 1, 2}},
        {{{"SDL_AUDIODRIVER", "pulseaudio"}}, all, {0, 1, 2}},
        {{{"SDL_AUDIODRIVER", "disk"}}, all, {2}},
        {{{"PULSE_SERVER", "unix:/x"}}, all, {1, 2}},
        {{{"PULSE_LATENCY_MSEC", "20"}}, all, {1, 2}},
        {{{"CLAVORA_AUDIO", "PipeWire"}, {"PULSE_SERVER", "unix:/x"}}, all, {0}},
        {{{"CLAVORA_AUDIO", "pulseaudio"}, {"SDL_AUDIODRIVER", "dummy"}}, all, {1}},
        {{{"CLAVORA_AUDIO", "oss"}}, all, {0, 1, 2}, true},
        // A build without PulseAudio and PipeWire.
        {{}, {"sdl"}, {0}},
        {{{"CLAVORA_AUDIO", "pulse"}}, {"sdl"}, {0}, true},
    };
    for (const auto& c : cases) {
        const AudioChoice choice = ChooseAudioOutputs(c.names, [&](const char* name) {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(choice.order, c.order) << c.env.size() << " variables, " << c.names.size();
        EXPECT_EQ(!choice.complaint.empty(), c.complaint);
    }
}

// An output whose server the test switches on and off; its "thread" is the test's.
class FakeOutput final : public AudioBackend {
public:
    explicit FakeOutput(const char* name) : m_name(name) {}
    const char* Name() const override { return m_name; }
    bool Open(int, AudioSource& source) override {
        if (!there.load()) return false;
        m_source.store(&source);
        return true;
    }
    void Close() override { m_source.store(nullptr); }
    int RestAfterMs() const override { return restMs; }
    // The server goes away while it plays.
    void Vanish() {
        there.store(false);
        if (AudioSource* s = m_source.load()) s->Lost();
    }
    // One request of the output's thread, or false while closed.
    bool Ask(uint8_t* buffer) {
        AudioSource* s = m_source.load();
        return s && (s->Fill(buffer, 4, true), true);
    }
    std::atomic<bool> there{false};
    int restMs = kRestAfterMs;

private:
    const char* m_name;
    std::atomic<AudioSource*> m_source{nullptr};
};

class OnesSound final : public KeptSound {
public:
    bool Fill(uint8_t* stream, int length, bool) override {
        std::fill(stream, stream + length, uint8_t{1});
        return false;
    }
    bool MayPause() override { return false; }
    void EndRest() override {}
};

bool Within(std::chrono::milliseconds limit, const std::function<bool()>& cond) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(AudioOutputs, TheKeeperPlaysOnThroughTheNextAndGoesBack) {
    OnesSound sound;
    OutputKeeper keeper(sound, 44100);
    auto server = std::make_unique<FakeOutput>("server");
    auto card = std::make_unique<FakeOutput>("card");
    FakeOutput& s = *server;
    FakeOutput& c = *card;
    s.restMs = 100;  // the server's fill rests after a short silence, the card's after 2 s
    std::vector<std::unique_ptr<AudioBackend>> outputs;
    outputs.push_back(std::move(server));
    outputs.push_back(std::move(card));
    // Nothing there at first: nothing plays, and the keeper keeps asking.
    keeper.Start(std::move(outputs));
    std::this_thread::sleep_for(300ms);
    EXPECT_STREQ(keeper.Playing(), "");
    EXPECT_EQ(keeper.RestAfterMs(), AudioBackend::kRestAfterMs);
    // A card appears: taken without a word to the keeper.
    c.there.store(true);
    ASSERT_TRUE(Within(3s, [&] { return std::string(keeper.Playing()) == "card"; }));
    // The server comes: the keeper goes over to it within a second, and only the live
    // output is fed; the other is handed silence until it is closed.
    s.there.store(true);
    ASSERT_TRUE(Within(1s, [&] { return std::string(keeper.Playing()) == "server"; }));
    EXPECT_EQ(keeper.RestAfterMs(), 100);
    uint8_t buffer[4] = {};
    ASSERT_TRUE(s.Ask(buffer));
    EXPECT_EQ(buffer[0], 1);
    EXPECT_TRUE(Within(1s, [&] { return !c.Ask(buffer); })) << "the card was never closed";
    // The server goes away: the card plays on.
    s.Vanish();
    ASSERT_TRUE(Within(1s, [&] { return std::string(keeper.Playing()) == "card"; }));
    EXPECT_EQ(keeper.Losses(), 1u);
    EXPECT_EQ(keeper.RestAfterMs(), AudioBackend::kRestAfterMs);
    EXPECT_FALSE(s.Ask(buffer));
    ASSERT_TRUE(c.Ask(buffer));
    EXPECT_EQ(buffer[0], 1);
    keeper.Stop();
    EXPECT_FALSE(c.Ask(buffer));
}

}  // namespace
}  // namespace clavora::test
