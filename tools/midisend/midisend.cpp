// midisend: a MIDI output port that sends what it is told, for testing MIDI input.
//
//   midisend [--alsa] [--name NAME] [--stamp]
//
// Opens an output port NAME:out (default "midisend") on JACK (or the ALSA sequencer
// with --alsa), prints "ready" once it exists (with --stamp, then also "opened-at" and
// the wall-clock seconds at which the port had just been made, and at the end
// "closed-at" and the moment it began to close the port), then reads commands
// from standard input, one per line:
//   90 3c 40     the bytes of one message, in hex
//   sleep 20     waits this many milliseconds
//   sync         prints "synced" once everything before it has been sent
// It ends at the end of its input, after the last message has had time to leave.
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

void Quiet(RtMidiError::Type, const std::string& text, void*) {
    std::cerr << "midisend: " << text << "\n";
}

int Usage() {
    std::cerr << "usage: midisend [--alsa] [--name NAME] [--stamp] < commands\n";
    return 2;
}

// JACK takes a message at the next process cycle: give it a few cycles.
void Drain() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

}  // namespace

int main(int argc, char** argv) {
    RtMidi::Api api = RtMidi::UNIX_JACK;
    std::string name = "midisend";
    bool stamp = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--alsa") {
            api = RtMidi::LINUX_ALSA;
        } else if (arg == "--stamp") {
            stamp = true;
        } else if (arg == "--name" && i + 1 < argc) {
            name = argv[++i];
        } else {
            return Usage();
        }
    }
    try {
        RtMidiOut out(api, name);
        out.setErrorCallback(&Quiet, nullptr);
        out.openVirtualPort("out");
        const auto opened = std::chrono::system_clock::now().time_since_epoch();
        std::cout << "ready" << std::endl;
        if (stamp) {
            std::printf("opened-at %.6f\n",
                        std::chrono::duration<double>(opened).count());
            std::fflush(stdout);
        }
        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string first;
            if (!(words >> first)) continue;
            if (first == "sleep") {
                int ms = 0;
                words >> ms;
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            } else if (first == "sync") {
                Drain();
                std::cout << "synced" << std::endl;
            } else {
                std::vector<unsigned char> bytes;
                std::istringstream all(line);
                unsigned value = 0;
                while (all >> std::hex >> value) bytes.push_back(static_cast<unsigned char>(value));
                if (bytes.empty() || !all.eof()) {
                    std::cerr << "midisend: cannot read '" << line << "'\n";
                    return 1;
                }
                out.sendMessage(&bytes);
            }
        }
        Drain();
        if (stamp) {
            // The moment the port starts to go.
            const auto closing = std::chrono::system_clock::now().time_since_epoch();
            out.closePort();
            std::printf("closed-at %.6f\n", std::chrono::duration<double>(closing).count());
        }
    } catch (const RtMidiError& e) {
        std::cerr << "midisend: " << e.getMessage() << "\n";
        return 1;
    }
    return 0;
}
