// Reading the last sessions of one mode from the practice history for the drill: the
// file is read backwards from its end in chunks, so that a history of years costs no
// more than its last few sessions. Rows that are not those of a game are passed over.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "app/PianoDlg.h"
#include "game/Drill.h"

namespace clavora {

namespace {

constexpr size_t kChunk = 64 * 1024;
// Longer lines are no rows of a game.
constexpr size_t kMaxLine = 160;

char g_buffer[kChunk + kMaxLine];
// The answers read, newest first, and where each session's run of them ends.
DrillAnswer g_answers[kDrillSessions * kDrillNotes];
int g_sessionEnd[kDrillSessions];

// "C2".."C6" on the white keys: the staff step, or -1.
int StepOfNote(std::string_view s) {
    static constexpr char kLetters[] = "CDEFGAB";
    if (s.size() != 2 || s[1] < '2' || s[1] > '6' || s[0] == '\0') return -1;
    const char* letter = std::strchr(kLetters, s[0]);
    if (!letter) return -1;
    const int step = (s[1] - '2') * 7 + static_cast<int>(letter - kLetters);
    return step < kDrillNotes ? step : -1;
}

// Digits with at most two decimals, in hundredths; -1 when not such a number.
int32_t Hundredths(std::string_view s) {
    int32_t whole = 0, part = 0, digits = 0, decimals = -1;
    for (const char c : s) {
        if (c == '.' && decimals < 0) {
            decimals = 0;
        } else if (c >= '0' && c <= '9' && digits < 7 && decimals < 2) {
            (decimals < 0 ? whole : part) = (decimals < 0 ? whole : part) * 10 + (c - '0');
            decimals += decimals >= 0;
            ++digits;
        } else {
            return -1;
        }
    }
    if (digits == 0 || decimals == 0) return -1;
    return whole * 100 + (decimals == 1 ? part * 10 : part);
}

// A count of up to four digits, or -1.
int32_t Count(std::string_view s) {
    if (s.empty() || s.size() > 4) return -1;
    int32_t n = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

struct Reader {
    std::string_view mode;         // "letter" or "piano"; "-drill" after it counts too
    int answers = 0, sessions = 0;
    char start[40] = {};           // the session being read: its start and mode
    char kind[16] = {};
    int rows = 0;

    bool Full() const { return sessions == kDrillSessions; }

    void EndSession() {
        if (rows > 0) g_sessionEnd[sessions++] = answers;
        rows = 0;
    }

    // One line, newer lines first.
    void Line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view f[6];
        size_t at = 0;
        for (int i = 0; i < 6; ++i) {
            const size_t comma = line.find(',', at);
            if ((comma == std::string_view::npos) != (i == 5) || at > line.size()) return;
            f[i] = line.substr(at, i == 5 ? std::string_view::npos : comma - at);
            at = comma + 1;
        }
        const bool ours = f[1] == mode || (f[1].size() == mode.size() + 6 &&
                                            f[1].substr(0, mode.size()) == mode &&
                                            f[1].substr(mode.size()) == "-drill");
        // The start is a time such as 2026-12-08T09:05:00+01:00.
        const std::string_view t = f[0];
        if (t.size() < 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':') return;
        const int step = StepOfNote(f[2]);
        const int32_t hundredths = Hundredths(f[4]);
        const int32_t wrong = Count(f[5]);
        if (!ours || step < 0 || hundredths < 0 || wrong < 0 || f[0].size() >= sizeof start ||
            f[1].size() >= sizeof kind)
            return;
        // Rows of one session share its start and mode; a whole session has 29.
        if (f[0] != start || f[1] != kind || rows == kDrillNotes) {
            EndSession();
            if (Full()) return;
            std::memcpy(start, f[0].data(), f[0].size());
            start[f[0].size()] = '\0';
            std::memcpy(kind, f[1].data(), f[1].size());
            kind[f[1].size()] = '\0';
        }
        g_answers[answers++] =
            DrillAnswer{static_cast<int16_t>(step), hundredths, static_cast<int16_t>(wrong)};
        ++rows;
    }
};

}  // namespace

void ReadDrillHistory(const char* name, int16_t mode, DrillScores& scores) {
    scores.Clear();
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    Reader reader;
    reader.mode = mode == MODE_PIANO ? "piano" : "letter";
    const off_t size = ::lseek(fd, 0, SEEK_END);
    off_t end = size < 0 ? 0 : size;
    const off_t stop = end > kDrillReadLimit ? end - kDrillReadLimit : 0;
    // What a chunk began with: the end of a line whose start lies in the chunk before.
    size_t carried = 0;
    bool last = true;  // the text after the file's last line end is a torn row
    while (end > stop && !reader.Full()) {
        const size_t want = static_cast<size_t>(end - stop < static_cast<off_t>(kChunk) ? end - stop : kChunk);
        const off_t from = end - static_cast<off_t>(want);
        std::memmove(g_buffer + want, g_buffer, carried);
        ssize_t n;
        do n = ::pread(fd, g_buffer, want, from);
        while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(want)) break;
        size_t lineEnd = want + carried;
        for (size_t i = lineEnd; i-- > 0 && !reader.Full();) {
            if (g_buffer[i] != '\n') continue;
            if (!last) reader.Line(std::string_view(g_buffer + i + 1, lineEnd - i - 1));
            last = false;
            lineEnd = i;
        }
        carried = lineEnd;
        end = from;
        // A line longer than any row is no row: it is dropped.
        if (carried > kMaxLine) carried = 0;
    }
    // The first line of the file (the header, or a row when the limit cut it) is read
    // only when the file was read from its start.
    if (end == 0 && carried > 0 && !last && !reader.Full())
        reader.Line(std::string_view(g_buffer, carried));
    ::close(fd);
    reader.EndSession();

    // Oldest session first, each in the order it was asked.
    for (int s = reader.sessions - 1; s >= 0; --s) {
        const int newest = s == 0 ? 0 : g_sessionEnd[s - 1];
        DrillAnswer session[kDrillNotes];
        int count = 0;
        for (int i = g_sessionEnd[s] - 1; i >= newest && count < kDrillNotes; --i) session[count++] = g_answers[i];
        scores.AddSession(session, count);
    }
}

}  // namespace clavora
