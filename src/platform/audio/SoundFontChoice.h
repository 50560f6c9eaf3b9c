// Which SoundFont the synthesizer plays: the user's (CLAVORA_SOUNDFONT), the system's
// (Debian's default-GM.sf2 alternative, unless it still names the small TimGM6mb), the
// program's own sampled grand (FluidR3_GM), then any General MIDI SoundFont installed;
// with none of them the program runs silently. Deciding is a plain function of what was
// found on the machine, so that the order can be tested without one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace clavora {

// The program's own choice, from Debian's fluid-soundfont-gm: a sampled Yamaha grand.
inline constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
// The system's choice, as Debian's alternatives (update-alternatives) make it.
inline constexpr const char* kSystemSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";

// Programs whose samples are read as the SoundFont loads, before it sounds: the default
// program and the ten instrument presets of the window (kPresetPrograms). Any other
// program's samples are read when it is first chosen, by the thread that chooses it.
inline constexpr int kPreloadPrograms[] = {0, 4, 6, 7, 16, 19, 20, 53, 61, 49};

// What the machine offers, gathered by FindSoundFonts.
struct SoundFontFacts {
    std::string fromUser;       // CLAVORA_SOUNDFONT as given; empty when unset
    std::string systemChoice;   // the file default-GM.sf2 leads to; empty without one
    bool defaultPresent = false;  // kDefaultSoundFont is there to be read
    std::vector<std::string> found;  // other General MIDI SoundFonts installed, resolved
};

// The SoundFonts to try, best first, each once; the first that loads plays.
std::vector<std::string> SoundFontOrder(const SoundFontFacts& facts);

// Looks at the environment and the usual folders.
SoundFontFacts FindSoundFonts();

// True when bytes begin as a SoundFont does (RIFF, a size, then "sfbk"): .sf2 and .sf3
// alike, whatever the file is called.
bool LooksLikeSoundFont(const uint8_t* bytes, size_t size);
// The same test on a file's first bytes; false when it cannot be read.
bool FileLooksLikeSoundFont(const char* path);
// True when the file holds a whole SoundFont's outline: its RIFF chunk as long as it
// says, with the lists of information, samples and instruments inside. Otherwise false,
// with what is wrong in why.
bool FileHoldsSoundFont(const char* path, std::string& why);

}  // namespace clavora
