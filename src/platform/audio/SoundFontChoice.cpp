#include "platform/audio/SoundFontChoice.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace clavora {

namespace {

// Where distributions install General MIDI SoundFonts.
constexpr const char* kSoundFontFolders[] = {
    "/usr/share/sounds/sf2", "/usr/share/sounds/sf3", "/usr/share/soundfonts",
    "/usr/local/share/soundfonts"};

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i])
            return false;
    return true;
}

// An uncompressed SoundFont loads in a fraction of the time a compressed one takes
// (an .sf3's samples are decoded as they load): .sf2 first, then by name.
bool FoundBefore(const std::string& a, const std::string& b) {
    const bool a2 = EndsWith(a, ".sf2"), b2 = EndsWith(b, ".sf2");
    if (a2 != b2) return a2;
    return a < b;
}

std::string Resolved(const char* path) {
    char buf[PATH_MAX];
    return realpath(path, buf) ? std::string(buf) : std::string();
}

bool Readable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadAt(int fd, uint8_t* out, size_t size, off_t at) {
    return pread(fd, out, size, at) == static_cast<ssize_t>(size);
}

// The outline of an open file; an empty answer when it is whole.
std::string OutlineProblem(int fd) {
    struct stat st {};
    uint8_t head[12];
    if (fstat(fd, &st) != 0 || !ReadAt(fd, head, sizeof head, 0)) return "it cannot be read";
    if (!LooksLikeSoundFont(head, sizeof head)) return "it is no SoundFont";
    const off_t end = 8 + static_cast<off_t>(Le32(head + 4));
    if (end > st.st_size) return "it is cut short";
    bool info = false, samples = false, instruments = false;
    for (off_t at = 12; at + 12 <= end;) {
        uint8_t chunk[12];
        if (!ReadAt(fd, chunk, sizeof chunk, at)) return "it cannot be read";
        const off_t size = Le32(chunk + 4);
        if (at + 8 + size > end) return "a chunk runs past its end";
        if (std::memcmp(chunk, "LIST", 4) == 0) {
            info = info || std::memcmp(chunk + 8, "INFO", 4) == 0;
            samples = samples || std::memcmp(chunk + 8, "sdta", 4) == 0;
            instruments = instruments || std::memcmp(chunk + 8, "pdta", 4) == 0;
        }
        at += 8 + size + (size & 1);
    }
    if (!info || !samples || !instruments) return "it lacks the lists a SoundFont holds";
    return {};
}

}  // namespace

std::vector<std::string> SoundFontOrder(const SoundFontFacts& facts) {
    std::vector<std::string> order;
    auto add = [&](const std::string& path) {
        if (!path.empty() && std::find(order.begin(), order.end(), path) == order.end())
            order.push_back(path);
    };
    add(facts.fromUser);
    // Debian points default-GM.sf2 at TimGM6mb where nothing better is installed; that
    // is no choice of the user's, and the sampled grand plays instead.
    if (BaseName(facts.systemChoice) != "TimGM6mb.sf2") add(facts.systemChoice);
    if (facts.defaultPresent) add(kDefaultSoundFont);
    std::vector<std::string> found = facts.found;
    std::sort(found.begin(), found.end(), FoundBefore);
    for (const std::string& path : found) add(path);
    return order;
}

SoundFontFacts FindSoundFonts() {
    SoundFontFacts facts;
    if (const char* user = std::getenv("CLAVORA_SOUNDFONT")) facts.fromUser = user;
    facts.systemChoice = Resolved(kSystemSoundFont);
    facts.defaultPresent = Readable(kDefaultSoundFont);
    const std::string ownDefault = Resolved(kDefaultSoundFont);
    for (const char* folder : kSoundFontFolders) {
        DIR* dir = opendir(folder);
        if (!dir) continue;
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (!EndsWith(name, ".sf2") && !EndsWith(name, ".sf3")) continue;
            const std::string path = Resolved((std::string(folder) + "/" + name).c_str());
            if (path.empty() || !Readable(path) || path == ownDefault) continue;
            if (std::find(facts.found.begin(), facts.found.end(), path) == facts.found.end())
                facts.found.push_back(path);
        }
        closedir(dir);
    }
    return facts;
}

bool LooksLikeSoundFont(const uint8_t* bytes, size_t size) {
    return size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "sfbk", 4) == 0;
}

bool FileLooksLikeSoundFont(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    uint8_t head[12];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = read(fd, head + got, sizeof head - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    return LooksLikeSoundFont(head, got);
}

}  // namespace clavora

namespace clavora {

bool FileHoldsSoundFont(const char* path, std::string& why) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    why = OutlineProblem(fd);
    close(fd);
    return why.empty();
}

}  // namespace clavora
