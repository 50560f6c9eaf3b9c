// Reading the practice history: a plain CSV file with a header row, one row per note
// asked in a finished game, in the order the games ended. Read in large chunks and
// parsed in place, so that years of games take well under a second.
#include "History.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace progress {

namespace {

constexpr std::string_view kHeader = "start,mode,note,clef,seconds,wrong";
constexpr size_t kChunk = 1 << 22;

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
int32_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Digits(std::string_view s, size_t at, size_t n, int& value) {
    value = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// 2026-12-08T09:05:00+01:00 (or Z): the local day, time of day and the instant.
bool ParseStart(std::string_view s, Game& game) {
    int y, mo, d, h, mi, se, oh = 0, om = 0;
    if (s.size() < 20 || !Digits(s, 0, 4, y) || s[4] != '-' || !Digits(s, 5, 2, mo) ||
        s[7] != '-' || !Digits(s, 8, 2, d) || s[10] != 'T' || !Digits(s, 11, 2, h) ||
        s[13] != ':' || !Digits(s, 14, 2, mi) || s[16] != ':' || !Digits(s, 17, 2, se))
        return false;
    int sign = 0;
    if (s.size() == 20 && s[19] == 'Z') {
        sign = 1;
    } else if (s.size() == 25 && (s[19] == '+' || s[19] == '-') && Digits(s, 20, 2, oh) &&
               s[22] == ':' && Digits(s, 23, 2, om)) {
        sign = s[19] == '+' ? 1 : -1;
    }
    if (sign == 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60 ||
        oh > 23 || om > 59)
        return false;
    game.day = DaysFromCivil(y, mo, d);
    game.secondOfDay = h * 3600 + mi * 60 + se;
    game.start = int64_t{game.day} * 86400 + game.secondOfDay - sign * (oh * 3600 + om * 60);
    return true;
}

// "C2".."C6" on the white keys: the staff step, or -1.
int StepOfNote(std::string_view s) {
    static constexpr char kLetters[] = "CDEFGAB";
    if (s.size() != 2 || s[1] < '2' || s[1] > '6') return -1;
    const char* letter = std::strchr(kLetters, s[0]);
    if (!letter || s[0] == '\0') return -1;
    const int step = (s[1] - '2') * 7 + static_cast<int>(letter - kLetters);
    return step <= 28 ? step : -1;
}

// "1.23" (at most two decimals) in hundredths, or -1.
int32_t ParseHundredths(std::string_view s) {
    const size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    const std::string_view part = dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1);
    // At most 99999.99 s a note, so that a game's sum of 29 stays well within 32 bits.
    if (whole.empty() || whole.size() > 5 || part.size() > 2 || (dot != std::string_view::npos && part.empty()))
        return -1;
    int w = 0, p = 0;
    if (!Digits(whole, 0, whole.size(), w) || !Digits(part, 0, part.size(), p)) return -1;
    if (part.size() == 1) p *= 10;
    return w * 100 + p;
}

// The kinds of lines skipped, each reported once with its first line number and count.
enum SkipKind { kTorn, kColumns, kValues, kFuture, kSkips };
constexpr const char* kSkipWhat[kSkips] = {
    "its last line is cut short (a game that was being written)",
    "a line without the six columns",
    "a line whose values are not those of a game",
    "a game dated after now",
};

struct Reader {
    int64_t now;
    History& history;
    long line = 0;
    long skipped[kSkips] = {};
    long firstSkip[kSkips] = {};
    Game current;
    std::string startText;   // the start text of the game being read

    void Skip(SkipKind kind) {
        if (skipped[kind]++ == 0) firstSkip[kind] = line;
    }

    void EndGame() {
        if (current.rows == kQuizNotes)
            history.games.push_back(current);
        else if (current.rows > 0)
            ++history.partialGames;
        current = Game{};
        startText.clear();
    }

    void Row(std::string_view row) {
        size_t commas = 0;
        for (const char c : row) commas += c == ',';
        if (commas != 5) return Skip(kColumns);
        std::string_view f[6];
        size_t at = 0;
        for (auto& field : f) {
            const size_t comma = row.find(',', at);
            field = row.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
            at = comma + 1;
        }
        const bool drill = f[1] == "letter-drill" || f[1] == "piano-drill";
        const std::string_view kind = drill ? f[1].substr(0, f[1].size() - 6) : f[1];
        const int mode = kind == "letter" ? kLetter : kind == "piano" ? kPiano : -1;
        const int step = StepOfNote(f[2]);
        const int32_t hundredths = ParseHundredths(f[4]);
        int wrong = 0;
        const bool wrongOk = !f[5].empty() && f[5].size() <= 4 && Digits(f[5], 0, f[5].size(), wrong);
        if (mode < 0 || step < 0 || (f[3] != "treble" && f[3] != "bass") || hundredths < 0 || !wrongOk)
            return Skip(kValues);
        // A new start, a new mode, or a whole game read already: the next game begins.
        if (f[0] != startText || mode != current.mode || drill != current.drill ||
            current.rows == kQuizNotes) {
            EndGame();
            Game next;
            if (!ParseStart(f[0], next)) return Skip(kValues);
            if (next.start > now + 60) return Skip(kFuture);
            current = next;
            current.mode = mode;
            current.drill = drill;
            startText.assign(f[0]);
        }
        current.notes[current.rows++] = NoteRow{static_cast<int8_t>(step), hundredths, wrong};
        current.hundredths += hundredths;
        current.wrong += wrong;
    }

    void Report(const std::string& path) const {
        for (int k = 0; k < kSkips; ++k) {
            if (skipped[k] == 0) continue;
            if (k == kTorn)
                std::fprintf(stderr, "clavora-progress: %s: line %ld skipped: %s\n", path.c_str(),
                             firstSkip[k], kSkipWhat[k]);
            else
                std::fprintf(stderr, "clavora-progress: %s: %ld line%s skipped, the first at line %ld: %s\n",
                             path.c_str(), skipped[k], skipped[k] == 1 ? "" : "s", firstSkip[k],
                             kSkipWhat[k]);
        }
    }
};

}  // namespace

const char* ModeName(int mode) { return mode == kLetter ? "letter" : "piano"; }

std::string DayText(int32_t day) {
    // Civil date from a day count (the inverse of DaysFromCivil).
    const int z = day + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp + (mp < 10 ? 3 : -9);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", yoe + era * 400 + (m <= 2), m, d);
    return text;
}

bool ReadHistory(const std::string& path, int64_t now, History& history) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "clavora-progress: %s: %s%s\n", path.c_str(), std::strerror(errno),
                     errno == ENOENT ? " (no game has been finished here yet)" : "");
        return false;
    }
    Reader reader{now, history, 0, {}, {}, Game{}, {}};
    // Room for one chunk after what is left of a line; a line longer than a chunk is
    // no row of a game, and is passed over to its end without being kept.
    std::vector<char> buffer(2 * kChunk);
    size_t have = 0;
    bool headerSeen = false, ok = true, overlong = false;
    struct stat st;
    if (::fstat(fd, &st) == 0) history.games.reserve(static_cast<size_t>(st.st_size) / (kQuizNotes * 60));
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + have, kChunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "clavora-progress: %s: %s\n", path.c_str(), std::strerror(errno));
            ok = false;
            break;
        }
        if (n == 0) break;
        const char* data = buffer.data();
        const size_t size = have + static_cast<size_t>(n);
        size_t at = 0;
        for (const char* end; (end = static_cast<const char*>(std::memchr(data + at, '\n', size - at)));
             at = static_cast<size_t>(end - data) + 1) {
            std::string_view line(data + at, static_cast<size_t>(end - data) - at);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            ++reader.line;
            if (overlong) {
                overlong = false;
                reader.Skip(kColumns);
            } else if (!headerSeen) {
                if (line != kHeader) {
                    std::fprintf(stderr, "clavora-progress: %s: not a practice history (its first line is not \"%.*s\")\n",
                                 path.c_str(), static_cast<int>(kHeader.size()), kHeader.data());
                    ::close(fd);
                    return false;
                }
                headerSeen = true;
            } else if (!line.empty()) {
                reader.Row(line);
            }
        }
        have = size - at;
        if (have >= kChunk) {
            overlong = true;
            have = 0;
        } else {
            std::memmove(buffer.data(), data + at, have);
        }
    }
    ::close(fd);
    if (!ok) return false;
    // What follows the last line end was being written when the writer stopped.
    if (have > 0 || overlong) {
        ++reader.line;
        if (headerSeen) reader.Skip(kTorn);
    }
    reader.EndGame();
    reader.Report(path);
    return true;
}

}  // namespace progress
