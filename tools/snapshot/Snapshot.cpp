// snapshot: composes frames of the real main window headless, from scripted states, and
// writes each as a PNG file: NAME.png at 1x, NAME@2x.png at 2x (from the 2x art). The window runs on a small platform of its own: no window
// system, no sound, a clock that stands still unless a scene moves it.
//
//   snapshot [OUTPUT_DIR]      (default: snapshots)
#include <cairo.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/PianoDlg.h"
#include "game/Game.h"
#include "piano/Keys.h"
#include "platform/window/ScaledArt.h"
#include "raster/DeviceScale.h"
#include "recorder/Songs.h"

namespace clavora {

namespace {

class SnapshotPlatform : public Platform {
public:
    void RunModal(WindowHandler&) override {}
    void EndModal() override {}
    void Present(const Frame& f) override {
        frame.assign(f.pixels, f.pixels + static_cast<size_t>(f.width) * f.height);
    }
    bool IsMinimized() override { return false; }
    void DrawIcon(int, int) override {}
    bool StartFrameTimer(int) override { return true; }
    void StopFrameTimer() override {}
    bool MidiOutOpen() override { return true; }
    void MidiOutShortMsg(uint32_t) override {}
    void MidiOutClose() override {}
    bool MidiInOpen(MidiInCallback, uintptr_t) override { return false; }
    void MidiInClose() override {}
    void PlaySound(int) override {}
    int32_t Time() override { return now; }
    void SeedRandom(uint32_t s) override { seed = s; }
    int32_t Random() override {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int32_t>((seed >> 16) & 0x7FFF);
    }
    ResourceBytes FindResource(int id) override { return FindScaledResource(id, DeviceScale()); }

    std::vector<uint32_t> frame;
    int32_t now = 1700000000;
    uint32_t seed = 1;
};

bool WritePng(const std::vector<uint32_t>& frame, int scale, const std::string& path) {
    std::vector<uint32_t> pixels(frame);
    const int w = kFrameWidth * scale, h = kFrameHeight * scale;
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                                             CAIRO_FORMAT_RGB24, w, h, w * 4);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

// Index of a key by its name's pitch and octave, e.g. Key(0, 4) is middle C.
int16_t Key(int pitchFromC, int octave) { return static_cast<int16_t>(12 * octave + pitchFromC - 9); }
constexpr int C = 0, Cs = 1, D = 2, Ds = 3, E = 4, F = 5, Fs = 6, G = 7, Gs = 8, A = 9, As = 10, B = 11;

void Hold(CPianoDlg& d, std::initializer_list<int16_t> keys) {
    for (int16_t k : keys) d.m_nKeyState[k] = KEY_HELD;
}

struct Scene {
    const char* name;
    const char* what;
    std::function<void(CPianoDlg&, SnapshotPlatform&)> script;
};

const std::vector<Scene> kScenes = {
    {"clavora", "the window at rest, as it opens", [](CPianoDlg& d, SnapshotPlatform&) { d.OnTimer(); }},
    {"game-treble", "a piano-mode game asking middle C, with treble notes to come",
     [](CPianoDlg& d, SnapshotPlatform& p) {
         d.SetGameMode(MODE_PIANO);
         const int16_t keys[4] = {Key(C, 4), Key(C, 6), Key(A, 5), Key(B, 4)};
         std::copy(std::begin(keys), std::end(keys), d.m_nQuizKeys);
         d.m_nMiddleCClef = 0;
         d.m_nQuestion = 0;
         d.m_nMistakes = 3;
         p.now += 74;
         for (int i = 0; i < 6; ++i) d.OnTimer();
     }},
    {"game-bass", "a letter-mode game later on, middle C on the bass staff, low notes to come",
     [](CPianoDlg& d, SnapshotPlatform& p) {
         d.SetGameMode(MODE_LETTER);
         const int16_t keys[4] = {Key(C, 4), Key(C, 2), Key(E, 2), Key(D, 3)};
         std::copy(keys, keys + 4, d.m_nQuizKeys + 12);
         d.m_nMiddleCClef = 1;
         d.m_nQuestion = 12;
         d.m_nMistakes = 1;
         p.now += 38;
         for (int i = 0; i < 12; ++i) d.OnTimer();  // the asked note in its plain look
     }},
    {"game-scroll", "just after a right answer: the notes slide left",
     [](CPianoDlg& d, SnapshotPlatform& p) {
         d.SetGameMode(MODE_PIANO);
         d.m_nQuestion = 5;
         p.now += 20;
         d.OnTimer();
         d.m_nScroll = 75;
         for (int i = 0; i < 5; ++i) d.OnTimer();
     }},
    {"keys-white", "white keys pressed alone, in pairs and three side by side",
     [](CPianoDlg& d, SnapshotPlatform&) {
         Hold(d, {0, 87, Key(C, 2), Key(E, 3), Key(F, 3), Key(C, 4), Key(D, 4), Key(G, 5), Key(A, 5),
                  Key(B, 5), Key(B, 6), Key(C, 7)});
         d.OnTimer();
     }},
    {"keys-black", "black keys pressed alone, beside and between pressed white keys",
     [](CPianoDlg& d, SnapshotPlatform&) {
         Hold(d, {1, Key(Fs, 2), Key(C, 3), Key(Cs, 3), Key(D, 3), Key(E, 4), Key(Ds, 4), Key(Gs, 5),
                  Key(As, 5), Key(As, 7)});
         d.OnTimer();
     }},
    {"recording", "recording into slot 12 with a song already played in: lights lit",
     [](CPianoDlg& d, SnapshotPlatform&) {
         d.m_nSlot = 12;
         d.m_nPreset = 5;
         d.SelectProgram(d.m_nPresets[5]);
         d.StartRecording();
         d.m_nRecBlink = 0;
         d.SetKey(Key(E, 4), KEY_CLICK);
         d.NoteOn(static_cast<int16_t>(Key(E, 4) + 1));
         d.OnTimer();
     }},
    {"flashes", "every button just pressed: the pressed-in lit looks",
     [](CPianoDlg& d, SnapshotPlatform&) {
         d.m_nPreset = 7;
         d.m_nProgram = 127;
         d.m_nSlot = 7;
         d.m_nFlashMarker = d.m_nFlashProgUp = d.m_nFlashProgDown = d.m_nFlashMode = 5;
         d.m_nFlashSlotUp = d.m_nFlashSlotDown = d.m_nFlashRecord = d.m_nFlashStop = d.m_nFlashPlay = 5;
         d.m_nMode = MODE_LETTER;
         d.OnTimer();
     }},
    {"playing", "playing slot 0 back: the play light glowing, keys moving",
     [](CPianoDlg& d, SnapshotPlatform&) {
         g_aSongs[0][0] = SongEvent{int16_t(Key(G, 4) + 1), 112, 0};
         g_aSongs[1][0] = SongEvent{int16_t(Key(B, 4) + 1), 112, 0};
         g_aSongs[2][0] = SongEvent{int16_t(Key(D, 5) + 1), 112, 0};
         g_aSongs[3][0] = SongEvent{SONG_END, SONG_END, 400};
         d.StartPlayback();
         d.m_nPlayBlink = 0;
         d.OnTimer();
     }},
};

}  // namespace

}  // namespace clavora

int main(int argc, char** argv) {
    using namespace clavora;
    namespace fs = std::filesystem;
    const fs::path out = fs::absolute(argc > 1 ? argv[1] : "snapshots");
    fs::create_directories(out);
    // Each scene runs in an empty working directory, so no songs or records of the
    // user's are read or written.
    const fs::path home = fs::current_path();
    const fs::path work = fs::temp_directory_path() / ("clavora-snapshot-" + std::to_string(getpid()));
    int failures = 0;
    for (const int scale : {1, 2}) {
        SetDeviceScale(scale);
        for (const Scene& scene : kScenes) {
            fs::remove_all(work);
            fs::create_directories(work);
            fs::current_path(work);
            SnapshotPlatform platform;
            LoadBestRecords();
            {
                CPianoDlg dlg(platform);
                g_pMainDlg = &dlg;
                scene.script(dlg, platform);
                g_pMainDlg = nullptr;
            }
            fs::current_path(home);
            const std::string file = (out / (std::string(scene.name) + (scale == 1 ? ".png" : "@2x.png"))).string();
            if (platform.frame.empty() || !WritePng(platform.frame, scale, file)) {
                std::fprintf(stderr, "snapshot: %s: no picture\n", scene.name);
                ++failures;
                continue;
            }
            std::printf("%-12s %dx  %s\n", scene.name, scale, scene.what);
        }
    }
    fs::remove_all(work);
    return failures ? 1 : 0;
}
