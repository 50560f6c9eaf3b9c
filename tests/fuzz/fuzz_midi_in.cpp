// MIDI input in any state of the game and the recorder: the input is a script of steps,
// each chosen by one byte and given its values by the bytes after it: a MIDI message of
// any 32 bits, a note, a frame, a click anywhere or on a control, a key, a right
// answer, a minimized frame, a run of notes that fills a slot. Every script starts
// from a freshly made window. After every step each member is in its range and the
// current slot well formed; a closed window is saved and then touched by nothing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "fuzz/FuzzDir.h"
#include "fuzz/Session.h"

using namespace clavora;
using fuzz::Broken;

namespace {

// The bytes of the script, read from the front; zeros once they run out.
class Script {
public:
    Script(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool More() const { return p_ < end_; }
    uint32_t Byte() { return p_ < end_ ? *p_++ : 0; }
    uint32_t Word() {
        const uint32_t low = Byte();
        return low | Byte() << 8;
    }
    uint32_t Long() {
        const uint32_t low = Word();
        return low | Word() << 16;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

std::optional<session::Session> g_session;

// Making a window costs far more than the steps of a script (every bitmap is decoded
// anew), so one window is made and put back, before every script, byte for byte as it
// stood after its first frame: its bitmaps and back buffer are the same objects then.
// Only a script that closes the window (and so frees them) has a new one made after it.
alignas(CPianoDlg) unsigned char g_fresh[sizeof(CPianoDlg)];
session::QuietPlatform g_freshPlatform;
// The slots a script made current: the only ones it can have written.
bool g_touched[kSongSlots];

void MakeWindow() {
    g_session.reset();
    fuzz::EmptyWorkDir();
    g_session.emplace();
    std::memcpy(g_fresh, static_cast<void*>(&*g_session->dlg), sizeof g_fresh);
    g_freshPlatform = g_session->platform;
}

void RestoreWindow() {
    session::Session& s = *g_session;
    std::memcpy(static_cast<void*>(&*s.dlg), g_fresh, sizeof g_fresh);
    s.platform = g_freshPlatform;
    for (int slot = 0; slot < kSongSlots; ++slot) {
        if (g_touched[slot]) ClearSlot(slot);
        g_touched[slot] = false;
    }
    g_touched[0] = true;
    LoadBestRecords();
}

void Check(const session::Session& s, const char* step) {
    static char why[400];
    const char* bad = session::CheckWindow(*s.dlg);
    if (bad) {
        std::snprintf(why, sizeof why, "after %s: %s", step, bad);
        Broken(why);
    }
    if (s.platform.badMessage) {
        std::snprintf(why, sizeof why, "after %s: MIDI message %08llx sent", step,
                      static_cast<unsigned long long>(s.platform.badMessage & 0xFFFFFFFFu));
        Broken(why);
    }
    if (s.platform.badSound) Broken("an unknown sound played");
}

// The window has closed: its songs are saved, and whatever arrives later changes nothing.
void AfterClose(session::Session& s, Script& script) {
    CPianoDlg& d = *s.dlg;
    d.OnDestroy();
    if (const char* bad = session::CheckAllSlots(d)) Broken(bad);
    char name[16];
    for (int slot = 0; slot < kSongSlots; ++slot) {
        std::snprintf(name, sizeof name, "song.%03d", slot);
        std::FILE* f = std::fopen(name, "rb");
        if (f) std::fclose(f);
        if (SlotHoldsSong(slot) != (f != nullptr)) Broken("the song files are not those of the slots");
    }
    const session::Moving before(d);
    const int64_t messages = s.platform.messages;
    while (script.More()) {
        MidiInProc(nullptr, MIM_DATA, 0, script.Long(), 0);
        d.OnTimer();
    }
    if (!(session::Moving(d) == before) || s.platform.messages != messages)
        Broken("the closed window was changed");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MakeWorkDir();
    const fuzz::InWorkDir here;
    MakeWindow();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InWorkDir here;
    RestoreWindow();
    session::Session& s = *g_session;
    CPianoDlg& d = *s.dlg;
    Script script(data, size);
    while (script.More()) {
        const char* step = "";
        switch (script.Byte() % 16) {
        case 0:
        case 1:
        case 2:
            step = "a MIDI message";
            s.Midi(script.Long());
            break;
        case 3: {
            step = "a MIDI notice that is not data";
            const uint32_t msg = script.Long();
            s.Midi(msg, 0x3C0 + script.Byte() % 16);
            break;
        }
        case 4:
        case 5: {
            // One press in three is a release, velocity 0.
            step = "a MIDI note";
            const uint32_t note = script.Byte();
            const uint32_t velocity = script.Byte() % 3 == 0 ? 0 : script.Byte();
            s.Midi(PackShortMsg(0x90, note, velocity));
            break;
        }
        case 6:
        case 7: {
            step = "frames";
            for (uint32_t n = 1 + script.Byte() % 8; n > 0; --n) s.Frame();
            break;
        }
        case 8: {
            step = "a click anywhere";
            const int x = static_cast<int>(script.Word() % kFrameWidth);
            const int y = static_cast<int>(script.Word() % kFrameHeight);
            const bool twice = script.Byte() % 2 == 1;
            s.Click(x, y, twice);
            break;
        }
        case 9:
        case 10: {
            step = "a click on a control";
            const HitRect& r = session::kControls[script.Byte() % session::kControlCount];
            const int x = r.x0 + static_cast<int>(script.Byte()) % (r.x1 - r.x0 + 1);
            const int y = r.y0 + static_cast<int>(script.Byte()) % (r.y1 - r.y0 + 1);
            s.Click(x, y);
            break;
        }
        case 11: {
            step = "a key";
            const uint32_t b = script.Byte();
            s.Key(b < 192 ? session::kCommandKeys[b % 12] : b);
            break;
        }
        case 12:
            step = "a right answer";
            s.Answer(script.Byte() % 2 == 1);
            break;
        case 13:
            step = "a click on a piano key";
            s.ClickKey(static_cast<int16_t>(script.Byte() % 88));
            break;
        case 14:
            step = "a frame while minimized";
            if (!s.MinimizedFrame()) Broken("a frame of the minimized window moved something");
            break;
        case 15: {
            // Enough notes to fill a slot while recording.
            step = "a run of notes";
            const uint32_t note = script.Byte();
            for (uint32_t n = script.Word() % 4100; n > 0; --n)
                s.Midi(PackShortMsg(0x90, note + n % 3, n % 2 == 0 ? 0 : 100));
            break;
        }
        }
        if (d.IsClosing()) {
            AfterClose(s, script);
            MakeWindow();
            return 0;
        }
        Check(s, step);
        g_touched[d.m_nSlot] = true;
    }
    if (const char* bad = session::CheckAllSlots(d)) Broken(bad);
    return 0;
}
