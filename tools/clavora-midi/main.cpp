// clavora-midi: the songs of Clavora's slots as Standard MIDI Files and back, acting on
// the song files of the current directory as the program does. Argument parsing and
// messages only; the files are read and written by the song-file code of the program.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/FileIo.h"
#include "songfile/MidiExport.h"
#include "songfile/MidiImport.h"
#include "songfile/SongImage.h"

using namespace clavora;

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
// Larger files are refused before anything is read: no piece needs so much.
constexpr long long kMaxMidiFileSize = 256LL * 1024 * 1024;

const char kHelp[] =
    "Usage: clavora-midi export SLOT FILE.mid\n"
    "       clavora-midi import FILE.mid SLOT [--replace]\n"
    "       clavora-midi list\n"
    "\n"
    "Moves Clavora's songs between its song files (song.000 to song.127, in the current\n"
    "directory) and Standard MIDI Files.\n"
    "\n"
    "  export   writes the song of SLOT (0..127) as a MIDI file\n"
    "  import   makes a MIDI file the song of SLOT; a slot that holds a song is\n"
    "           refused unless --replace is given\n"
    "  list     shows every slot that holds a song, its notes and its length\n"
    "\n"
    "Notes, those without a key on the piano included, the sustain pedal and their times\n"
    "survive the trip; velocities and instruments do not.\n"
    "Close Clavora while importing into its directory, or drop the file on its window:\n"
    "the program writes its song files when it closes.\n"
    "\n"
    "Exit status: 0 when done, 1 when refused, 2 for a wrong command line.\n";

int Usage(const char* what) {
    std::fprintf(stderr, "clavora-midi: %s\nTry 'clavora-midi --help'.\n", what);
    return kUsage;
}

bool ParseSlot(const char* text, int& slot) {
    if (*text == '\0' || std::strlen(text) > 3) return false;
    int value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
    }
    if (value > 127) return false;
    slot = value;
    return true;
}

std::string SongFileName(int slot) {
    char name[16];
    std::snprintf(name, sizeof name, "song.%03d", slot);
    return name;
}

std::string Length(int32_t ticks) {
    const long long seconds = static_cast<long long>(ticks) * 30 / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

// Reads a whole file of at most limit bytes. Returns false with one line on standard
// error when it cannot.
bool ReadWhole(const std::string& name, long long limit, std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "clavora-midi: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "clavora-midi: cannot read %s: not a regular file\n", name.c_str());
        std::fclose(f);
        return false;
    }
    if (st.st_size > limit) {
        std::fprintf(stderr, "clavora-midi: %s: too large (%lld bytes, at most %lld)\n", name.c_str(),
                     static_cast<long long>(st.st_size), limit);
        std::fclose(f);
        return false;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "clavora-midi: cannot read %s: %s\n", name.c_str(), std::strerror(err));
        return false;
    }
    bytes.resize(n);
    return true;
}

enum class Slot { kEmpty, kSong, kUnreadable };

// The song of a slot as the program loads it: at most a full slot's worth of its file.
// A missing file, or one that holds no song, is an empty slot; quiet says whether to say
// so on standard error. A file that cannot be read is always reported.
Slot LoadSlot(int slot, SongImage& song, bool quiet) {
    static uint8_t bytes[kSongFileMaxSize];
    const std::string name = SongFileName(slot);
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) {
        if (errno != ENOENT) {
            std::fprintf(stderr, "clavora-midi: cannot read %s: %s\n", name.c_str(), std::strerror(errno));
            return Slot::kUnreadable;
        }
        if (!quiet) std::fprintf(stderr, "clavora-midi: %s: slot %d holds no song\n", name.c_str(), slot);
        return Slot::kEmpty;
    }
    const size_t n = std::fread(bytes, 1, sizeof bytes, f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "clavora-midi: cannot read %s: %s\n", name.c_str(), std::strerror(err));
        return Slot::kUnreadable;
    }
    DecodeSongFile(bytes, n, song);
    if (!ImageHoldsSong(song)) {
        if (!quiet) std::fprintf(stderr, "clavora-midi: %s: slot %d holds no song\n", name.c_str(), slot);
        return Slot::kEmpty;
    }
    return Slot::kSong;
}

SongImage g_song;
uint8_t g_bytes[kExportMaxSize > kSongFileMaxSize ? kExportMaxSize : kSongFileMaxSize];

int Export(int slot, const std::string& file) {
    if (LoadSlot(slot, g_song, false) != Slot::kSong) return kRefused;
    const ExportResult r = ExportMidi(g_song, slot, g_bytes);
    if (!WriteFileAtomic(file.c_str(), g_bytes, r.size)) return kRefused;
    if (r.leftOut > 0)
        std::fprintf(stderr, "clavora-midi: %s: left out %d of the song's %d events: no MIDI note, or never played\n",
                     file.c_str(), r.leftOut, r.leftOut + r.events);
    std::printf("slot %d (%d notes, %s) exported to %s\n", slot, SongNotes(g_song),
                Length(SongEndTick(g_song)).c_str(), file.c_str());
    return kDone;
}

int Import(const std::string& file, int slot, bool replace) {
    const std::string target = SongFileName(slot);
    // A slot is taken by what its file holds, as the program and list see it: a file
    // without a song is an empty slot, and one that cannot be read is left alone.
    if (!replace) {
        const Slot now = LoadSlot(slot, g_song, true);
        if (now == Slot::kUnreadable) return kRefused;
        if (now == Slot::kSong) {
            std::fprintf(stderr, "clavora-midi: %s: slot %d already holds a song; give --replace to overwrite it\n",
                         target.c_str(), slot);
            return kRefused;
        }
    }
    std::vector<uint8_t> bytes;
    if (!ReadWhole(file, kMaxMidiFileSize, bytes)) return kRefused;
    const ImportResult r = ImportMidi(bytes.data(), bytes.size(), g_song);
    if (r.error) {
        std::fprintf(stderr, "clavora-midi: %s: %s (at byte %zu)\n", file.c_str(),
                     DescribeSmfProblem(r.error.problem), r.error.offset);
        return kRefused;
    }
    if (r.kept == 0) {
        std::fprintf(stderr, "clavora-midi: %s: no notes that the piano can play (%d drum notes)\n",
                     file.c_str(), r.drums);
        return kRefused;
    }
    const size_t size = EncodeSongFile(g_song, g_bytes);
    if (!WriteFileAtomic(target.c_str(), g_bytes, size)) return kRefused;
    if (r.drums > 0) std::fprintf(stderr, "clavora-midi: %s: left out %d drum notes\n", file.c_str(), r.drums);
    if (r.keyless > 0)
        std::fprintf(stderr, "clavora-midi: %s: %d notes lie outside A0..C8: they sound, but light no key\n",
                     file.c_str(), r.keyless);
    if (r.cut)
        std::fprintf(stderr, "clavora-midi: %s: more than a slot holds: kept %d notes of %d, lasting %s\n",
                     file.c_str(), r.kept, r.notes, Length(SongEndTick(g_song)).c_str());
    std::printf("%s imported into slot %d (%d notes, %s)\n", file.c_str(), slot, r.kept,
                Length(SongEndTick(g_song)).c_str());
    return kDone;
}

int List() {
    for (int slot = 0; slot < kSongSlots; ++slot) {
        if (LoadSlot(slot, g_song, true) != Slot::kSong) continue;
        std::printf("%3d  %4d notes  %s\n", slot, SongNotes(g_song), Length(SongEndTick(g_song)).c_str());
    }
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    SetProgramName("clavora-midi");
    std::vector<std::string> args;
    bool replace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kDone;
        }
        if (a == "--replace")
            replace = true;
        else
            args.push_back(a);
    }
    if (args.empty()) return Usage("no command given");
    const std::string& command = args[0];
    int slot = 0;
    if (command == "export") {
        if (args.size() != 3 || replace) return Usage("usage: clavora-midi export SLOT FILE.mid");
        if (!ParseSlot(args[1].c_str(), slot)) return Usage("a slot is a number from 0 to 127");
        return Export(slot, args[2]);
    }
    if (command == "import") {
        if (args.size() != 3) return Usage("usage: clavora-midi import FILE.mid SLOT [--replace]");
        if (!ParseSlot(args[2].c_str(), slot)) return Usage("a slot is a number from 0 to 127");
        return Import(args[1], slot, replace);
    }
    if (command == "list") {
        if (args.size() != 1 || replace) return Usage("usage: clavora-midi list");
        return List();
    }
    return Usage(("unknown command '" + command + "'").c_str());
}
