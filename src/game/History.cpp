// Collecting the rows of a game in fixed arrays while it runs, and writing them once
// it has ended. The judgements may come from the MIDI thread, which the platform
// serializes with the window's thread, so the two never run at once.
#include "game/History.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/FileIo.h"
#include "app/PianoDlg.h"
#include "piano/Keys.h"

namespace clavora {

namespace {

struct Row {
    int16_t key;
    int32_t ticks;
    int16_t wrong;
};

struct Game {
    int32_t start = 0;
    int16_t mode = MODE_FREE;
    int16_t middleCClef = 0;
    bool drill = false;
    Row rows[QUIZ_NOTES] = {};
};

// The game being played, and the last kept game until it is written.
Game g_playing;
int32_t g_ticks = 0;       // ticks since the game started
int32_t g_shownAt = 0;     // tick at which the asked note was shown
Game g_kept;
bool g_keptPending = false;

// The longest row: a 25-character time, "letter-drill", "C#4", "treble", seconds, mistakes.
constexpr size_t kMaxRow = 80;
char g_text[sizeof kHistoryHeader + QUIZ_NOTES * kMaxRow];

constexpr const char* kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F",
                                         "F#", "G", "G#", "A", "A#", "B"};

// ISO 8601 local time with its offset from UTC, e.g. 2026-12-08T09:05:00+01:00.
void FormatStart(int32_t start, char (&out)[32]) {
    const time_t t = start;
    tm local{};
    if (!localtime_r(&t, &local)) {
        std::snprintf(out, sizeof out, "1970-01-01T00:00:00+00:00");
        return;
    }
    char zone[8];
    std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    const size_t n = std::strlen(out);
    std::snprintf(out + n, sizeof out - n, "%.3s:%.2s", zone, zone + 3);
}

}  // namespace

void HistoryNewGame(int32_t start, int16_t mode, int16_t middleCClef, bool drill) {
    g_playing = Game{start, mode, middleCClef, drill, {}};
    g_ticks = 0;
    g_shownAt = 0;
}

void HistoryTick() { ++g_ticks; }

void HistoryWrong(int16_t question) {
    if (question < 0 || question >= QUIZ_NOTES) return;
    Row& row = g_playing.rows[question];
    if (row.wrong < 9999) ++row.wrong;
}

void HistoryRight(int16_t question, int16_t key) {
    if (question < 0 || question >= QUIZ_NOTES) return;
    g_playing.rows[question].key = key;
    g_playing.rows[question].ticks = g_ticks - g_shownAt;
    g_shownAt = g_ticks;
}

void HistoryFinished() {
    g_kept = g_playing;
    g_keptPending = true;
}

void ForgetPendingHistory() { g_keptPending = false; }

size_t FormatPendingHistory(char* out, size_t capacity) {
    if (!g_keptPending) return 0;
    char start[32];
    FormatStart(g_kept.start, start);
    const char* mode = g_kept.mode == MODE_LETTER ? (g_kept.drill ? "letter-drill" : "letter")
                                                  : (g_kept.drill ? "piano-drill" : "piano");
    size_t at = 0;
    for (const Row& row : g_kept.rows) {
        const int midi = row.key + 21;
        const int step = row.key >= 0 && row.key < kKeyCount ? g_nStaffPos[row.key] : -1;
        // Middle C stands on the clef the game drew it on; the rest by their place.
        const bool treble = step > 14 || (step == 14 && g_kept.middleCClef == 0);
        const long hundredths = static_cast<long>(row.ticks) * kHistoryTickHundredths;
        const int n = std::snprintf(out + at, capacity - at, "%s,%s,%s%d,%s,%ld.%02ld,%d\n", start,
                                    mode, kNoteNames[midi % 12], midi / 12 - 1,
                                    treble ? "treble" : "bass", hundredths / 100,
                                    hundredths % 100, row.wrong);
        if (n < 0 || static_cast<size_t>(n) >= capacity - at) return 0;
        at += static_cast<size_t>(n);
    }
    return at;
}

bool WritePendingHistory() {
    if (!g_keptPending) return true;
    const size_t size = FormatPendingHistory(g_text, sizeof g_text);
    g_keptPending = false;
    if (size == 0) return false;
    return AppendFileDurable(kHistoryFile, kHistoryHeader, sizeof kHistoryHeader - 1, g_text,
                             size);
}

}  // namespace clavora
