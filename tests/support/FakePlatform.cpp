#include "support/FakePlatform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/window/ScaledArt.h"
#include "raster/DeviceScale.h"
#include "raster/Gdi.h"
#include "platform/resources/Resources.h"

namespace clavora::test {

void FakePlatform::RunModal(WindowHandler& handler) {
    log.push_back("RunModal");
    modalEnded = false;
    handler.OnInitDialog();
    if (script) script(handler);
    handler.OnDestroy();
    log.push_back("Destroyed");
}

void FakePlatform::DropFile(WindowHandler& window, const std::string& path) {
    std::vector<char> copy(path.begin(), path.end());
    copy.push_back('\0');
    window.OnDropFile(copy.data());
}

void FakePlatform::EndModal() {
    log.push_back("EndModal");
    modalEnded = true;
}

void FakePlatform::Present(const Frame& f) {
    // The frame is in device pixels: 800 x 520 at its scale.
    const auto s = static_cast<size_t>(f.scale);
    const size_t size = static_cast<size_t>(f.width) * f.height;
    damage.assign(f.damage, f.damage + f.damageCount);
    frameScale = f.scale;
    if (!presentChangesOnly || frame.size() != size) {
        frame.assign(f.pixels, f.pixels + size);
    } else {
        // As the real window does: only the rectangles the frame's copies changed.
        const size_t row = static_cast<size_t>(f.width);
        for (const GdiRect& r : damage)
            for (size_t y = r.y * s; y < (r.y + r.h) * s; ++y)
                std::copy_n(f.pixels + y * row + r.x * s, r.w * s,
                            frame.begin() + static_cast<std::ptrdiff_t>(y * row + r.x * s));
    }
    ++presented;
}

void FakePlatform::DrawIcon(int x, int y) {
    iconX = x;
    iconY = y;
}

bool FakePlatform::StartFrameTimer(int periodMs) {
    log.push_back("StartFrameTimer");
    timerRunning = true;
    timerPeriod = periodMs;
    return true;
}

void FakePlatform::StopFrameTimer() {
    log.push_back("StopFrameTimer");
    timerRunning = false;
}

bool FakePlatform::MidiOutOpen() {
    log.push_back("MidiOutOpen");
    midiOutOpen = true;
    return true;
}

void FakePlatform::MidiOutClose() {
    log.push_back("MidiOutClose");
    midiOutOpen = false;
}

bool FakePlatform::MidiInOpen(MidiInCallback callback, uintptr_t instance) {
    log.push_back("MidiInOpen");
    if (!midiInAvailable) return false;
    midiIn = callback;
    midiInInstance = instance;
    return true;
}

void FakePlatform::MidiInClose() {
    log.push_back("MidiInClose");
    midiIn = nullptr;
}

void FakePlatform::SeedRandom(uint32_t s) { seed = s; }

int32_t FakePlatform::Random() {
    if (!randoms.empty()) {
        const int32_t r = randoms.front();
        randoms.pop_front();
        return r;
    }
    lcg_ = lcg_ * 1103515245u + 12345u;
    return static_cast<int32_t>((lcg_ >> 16) & 0x7FFF);
}

ResourceBytes FakePlatform::FindResource(int id) { return FindScaledResource(id, DeviceScale()); }

void FakePlatform::SendMidiIn(uint32_t msg) {
    if (midiIn) midiIn(nullptr, MIM_DATA, midiInInstance, msg, 0);
}

TempDir::TempDir() {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) throw std::runtime_error("getcwd");
    old_ = cwd;
    std::string tmpl = (std::filesystem::temp_directory_path() / "clavora-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
    if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir");
}

TempDir::~TempDir() {
    if (chdir(old_.c_str()) != 0) std::perror("chdir");
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& name) { return std::filesystem::exists(name); }

int TemporaryFilesLeft() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        const size_t n = name.size();
        count += n > 11 && name.compare(n - 4, 4, ".tmp") == 0 && name[n - 11] == '.';
    }
    return count;
}

}  // namespace clavora::test
