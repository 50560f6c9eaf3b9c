// The order in which SoundFonts are tried, from what a machine offers; and which files
// are taken for SoundFonts when dropped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <string>
#include <vector>

#include "piano/Keys.h"
#include "platform/audio/SoundFontChoice.h"

namespace clavora {
namespace {

const std::string kFluid = kDefaultSoundFont;
const std::string kTim = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const std::string kMuse = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
const std::string kMine = "/home/u/Steinway.sf2";

struct OrderCase {
    const char* what;
    SoundFontFacts facts;
    std::vector<std::string> order;
};

TEST(SoundFontChoice, OrderFromUserToSystemToOwnToAnyFound) {
    const OrderCase cases[] = {
        {"nothing installed: silence", {}, {}},
        {"the user's first, then the system's, then ours",
         {kMine, kMuse, true, {kTim}}, {kMine, kMuse, kFluid, kTim}},
        {"the system's alternative still on TimGM6mb is passed over",
         {"", kTim, true, {kTim, kMuse}}, {kFluid, kTim, kMuse}},
        {"the system's choice already ours is tried once",
         {"", kFluid, true, {kTim}}, {kFluid, kTim}},
        {"without ours, any found: uncompressed first",
         {"", "", false, {kMuse, kTim}}, {kTim, kMuse}},
        {"the user naming ours changes nothing but the order",
         {kFluid, kMuse, true, {}}, {kFluid, kMuse}},
    };
    for (const OrderCase& c : cases) EXPECT_EQ(SoundFontOrder(c.facts), c.order) << c.what;
}

TEST(SoundFontChoice, KnownByContentNotByName) {
    struct Case {
        const char* what;
        std::string bytes;
        bool soundFont;
    };
    const Case cases[] = {
        {"SoundFont 2", std::string("RIFF\x10\x00\x00\x00sfbkLIST", 16), true},
        {"a WAVE file is RIFF too", std::string("RIFF\x10\x00\x00\x00WAVEfmt ", 16), false},
        {"a MIDI file", std::string("MThd\x00\x00\x00\x06\x00\x01\x00\x02", 12), false},
        {"too short", "RIFF", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LooksLikeSoundFont(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                     c.bytes.size()),
                  c.soundFont)
            << c.what;
    }
    EXPECT_FALSE(FileLooksLikeSoundFont("/nonexistent/file.sf2"));
}

// A RIFF file of the given lists, each with four bytes of its own; size as it says.
std::string Riff(const std::vector<std::string>& lists, int extraSize = 0) {
    std::string body = "sfbk";
    for (const std::string& type : lists) body += std::string("LIST\x08\0\0\0", 8) + type + "data";
    const uint32_t size = static_cast<uint32_t>(body.size() + extraSize);
    std::string head = "RIFF";
    for (int i = 0; i < 4; ++i) head += static_cast<char>((size >> (8 * i)) & 0xFF);
    return head + body;
}

TEST(SoundFontChoice, OnlyAWholeOutlineIsHandedToTheSynthesizer) {
    struct Case {
        const char* what;
        std::string bytes;
        bool whole;
    };
    const Case cases[] = {
        {"information, samples and instruments", Riff({"INFO", "sdta", "pdta"}), true},
        {"no instruments", Riff({"INFO", "sdta"}), false},
        {"cut short", Riff({"INFO", "sdta", "pdta"}, 100), false},
        {"a MIDI file", "MThd\0\0\0\x06", false},
    };
    for (const Case& c : cases) {
        char path[] = "/tmp/clavora-outline-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
        close(fd);
        std::string why;
        EXPECT_EQ(FileHoldsSoundFont(path, why), c.whole) << c.what;
        EXPECT_EQ(why.empty(), c.whole) << c.what << ": " << why;
        unlink(path);
    }
}

TEST(SoundFontChoice, EveryPresetIsReadAsTheSoundFontLoads) {
    for (int16_t program : kPresetPrograms) {
        EXPECT_NE(std::find(std::begin(kPreloadPrograms), std::end(kPreloadPrograms), program),
                  std::end(kPreloadPrograms))
            << program;
    }
}

}  // namespace
}  // namespace clavora
