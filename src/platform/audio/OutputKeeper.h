// Keeps the sound going out: opens the first output of its list that opens, and when
// that one's server or device goes away, plays on through the next that opens; while
// it plays through an output below one it has lost, it asks the lost ones again (four
// times a second for a while, then once a second), and goes back to the first that
// answers. A better output that never opened is asked only for a while after the start
// or a loss (a server that starts just after the program), not for ever. With none at all (no server, no
// card) it keeps asking, so that a card plugged in later is taken.
//
// Every output is fed through a gate of its own, so that while one takes over from
// another only one of them renders: the other is handed silence until it is closed.
// All the waiting (opening, closing) happens on the keeper's own thread; what the
// window and MIDI input call here returns at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

#include "platform/audio/AudioBackend.h"

namespace clavora {

// The sound the keeper keeps playing.
class KeptSound {
public:
    virtual bool Fill(uint8_t* stream, int length, bool mayRest) = 0;
    virtual bool MayPause() = 0;
    // A Fill resting now returns at once (one about to rest may miss it).
    virtual void EndRest() = 0;

protected:
    ~KeptSound() = default;
};

class OutputKeeper {
public:
    // How often outputs better than the one playing (or any, with none) are asked again:
    // often for a while after a start or a loss (a server restarting is back within a
    // second or so), then at a slower pace (a card plugged in some day).
    static constexpr int kRetryMs = 250;
    static constexpr int kSlowRetryMs = 1000;
    static constexpr int kQuickRetriesMs = 20'000;

    OutputKeeper(KeptSound& sound, int rate);
    ~OutputKeeper();
    OutputKeeper(const OutputKeeper&) = delete;
    OutputKeeper& operator=(const OutputKeeper&) = delete;

    // Takes the outputs to try, best first, and starts keeping them on a thread of its own.
    void Start(std::vector<std::unique_ptr<AudioBackend>> outputs);
    // Closes whatever plays; the sound is not asked for again.
    void Stop();

    // Any thread, at once: look again now (a device has appeared).
    void Poke() { m_pokes.release(); }
    // Any thread, at once: the output playing resumes its paused stream.
    void Resume();
    // The window system's word that an output device has gone.
    void DeviceRemoved(uint32_t id);

    // The name of the output playing, or "" with none.
    const char* Playing() const;
    int LatencyFrames() const;
    // The live output's silence before a rest (AudioBackend::RestAfterMs).
    int RestAfterMs() const;
    // Outputs lost while they played, and outputs opened, so far.
    uint64_t Losses() const { return m_losses.load(std::memory_order_relaxed); }
    uint64_t Opens() const { return m_opens.load(std::memory_order_relaxed); }

private:
    // The gate between one output and the sound.
    class Feed final : public AudioSource {
    public:
        Feed(OutputKeeper& keeper, int index) : m_keeper(keeper), m_index(index) {}
        bool Fill(uint8_t* stream, int length, bool mayRest) override;
        bool MayPause() override;
        void Lost() override;
        std::atomic<bool> inFill{false};
        std::atomic<bool> lost{false};

    private:
        OutputKeeper& m_keeper;
        int m_index;
    };

    void Run();
    // Opens the best output better than the one playing (with untried ones too when
    // quick); true when one opened.
    bool OpenBetter(bool quick);
    // Whether an output better than the one playing is to be asked again.
    bool Better(bool quick) const;
    // Hands the sound to output index (or to none, -1) and closes the one before.
    void SwitchTo(int index);
    // Waits until the feed of output index is out of the sound, ending its rest.
    void Drain(int index);

    KeptSound& m_sound;
    int m_rate;
    std::vector<std::unique_ptr<AudioBackend>> m_outputs;
    std::vector<std::unique_ptr<Feed>> m_feeds;
    // The output whose feed renders, or -1; the others get silence.
    std::atomic<int> m_live{-1};
    // Taken by a feed while it renders: never two at once.
    std::atomic_flag m_rendering = ATOMIC_FLAG_INIT;
    int m_open = -1;  // keeper's thread: the output open, or -1
    std::vector<bool> m_opened;  // keeper's thread: which outputs have ever opened
    std::counting_semaphore<1 << 30> m_pokes{0};
    std::atomic<bool> m_quit{false};
    std::atomic<uint64_t> m_losses{0};
    std::atomic<uint64_t> m_opens{0};
    std::thread m_thread;
};

}  // namespace clavora
