// One way of getting sound out: a stream on a sound server or a device of a sound
// card, behind one face, so that the outputs can be tried in turn from a table and
// swapped while the program runs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace clavora {

// What an output plays, asked for from the output's own thread.
class AudioSource {
public:
    // Fills length bytes of 16-bit stereo at the rate the output was opened with. An
    // output whose thread may wait passes mayRest: while nothing sounds, the call then
    // rests until something is asked for. One whose thread runs a whole graph (PipeWire)
    // never waits there. True when there was nothing to play.
    virtual bool Fill(uint8_t* stream, int length, bool mayRest) = 0;
    // An output that pauses its stream rather than rest asks this from its main loop,
    // just before it pauses: true when nothing was asked for since Fill found nothing to
    // play; the next request then comes through Resume.
    virtual bool MayPause() = 0;
    // The output's server or device has gone: from any of the output's own threads.
    virtual void Lost() = 0;

protected:
    ~AudioSource() = default;
};

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // Short and lower case: "pipewire", "pulse", "sdl".
    virtual const char* Name() const = 0;
    // Starts playing source at rate; false when the server or device cannot be had. An
    // output may be opened again after Close.
    virtual bool Open(int rate, AudioSource& source) = 0;
    // Stops; after it source is not called again. May wait for the output's thread, so
    // it is never called from the window's thread.
    virtual void Close() = 0;
    // Any thread, without waiting: a stream paused after a rest plays again.
    virtual void Resume() {}
    // The queue asked of a sound server now, in frames; 0 where there is none.
    virtual int LatencyFrames() const { return 0; }
    // How long the sound must have been silent before the fill rests or the stream
    // pauses (ms). The first key after it plays with nothing queued ahead of it.
    static constexpr int kRestAfterMs = 2000;
    virtual int RestAfterMs() const { return kRestAfterMs; }
    // An output whose own loop runs the fill, and cannot see its server go while the fill
    // rests there, asks to have a rest let out this often (ms); 0: never.
    virtual int LookEveryMs() const { return 0; }
    // The window system's word that the output device with this id has gone (SDL's
    // device ids); outputs that know no such ids pay no heed.
    virtual void DeviceRemoved(uint32_t /*id*/) {}
};

struct AudioBackendEntry {
    const char* name;
    std::unique_ptr<AudioBackend> (*make)();
};

// The outputs built into this program, in order of preference: PipeWire, PulseAudio,
// SDL (each only where its library was found when it was built).
std::span<const AudioBackendEntry> AudioBackendTable();

}  // namespace clavora
