#include "songfile/SmfReader.h"

namespace clavora {

namespace {

__extension__ typedef unsigned __int128 Wide;

struct Track {
    size_t pos;        // the next byte to read
    size_t end;        // one past the chunk's last byte
    int64_t tick;      // the absolute tick of the next event (when pending) or of the end
    uint8_t running;   // running status, 0 when none
    bool pending;      // an event waits at pos, its delta time already read
};

// The tracks of the file being read, and the indices of those with an event pending,
// as a heap whose top is the track whose next event comes first (of events at one
// tick, the earlier track's). Reading runs on one thread at a time (the window's, or a
// tool's), so they live here rather than on the stack or the heap.
Track g_tracks[kSmfMaxTracks];
int g_heap[kSmfMaxTracks];

bool Before(int a, int b) {
    return g_tracks[a].tick < g_tracks[b].tick || (g_tracks[a].tick == g_tracks[b].tick && a < b);
}

// Moves the entry at i down to its place among the count entries of the heap.
void SiftDown(int i, int count) {
    for (;;) {
        int first = i;
        const int left = 2 * i + 1;
        const int right = left + 1;
        if (left < count && Before(g_heap[left], g_heap[first])) first = left;
        if (right < count && Before(g_heap[right], g_heap[first])) first = right;
        if (first == i) return;
        const int held = g_heap[i];
        g_heap[i] = g_heap[first];
        g_heap[first] = held;
        i = first;
    }
}

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// A variable-length value of at most 4 bytes, ending before limit.
SmfError ReadVarLen(const uint8_t* data, size_t& pos, size_t limit, uint32_t& value) {
    value = 0;
    const size_t start = pos;
    for (int i = 0; i < 4; ++i) {
        if (pos >= limit) return SmfError{SmfProblem::ValuePastEnd, start};
        const uint8_t b = data[pos++];
        value = value << 7 | (b & 0x7F);
        if ((b & 0x80) == 0) return SmfError{};
    }
    return SmfError{SmfProblem::LongValue, start};
}

// Reads the delta time before a track's next event; a track that has no more bytes ends.
SmfError Advance(const uint8_t* data, Track& t) {
    if (t.pos >= t.end) {
        t.pending = false;
        return SmfError{};
    }
    uint32_t delta = 0;
    if (SmfError e = ReadVarLen(data, t.pos, t.end, delta)) return e;
    t.tick += delta;
    t.pending = true;
    return SmfError{};
}

// Time from ticks: every tick lasts num / den microseconds, num changing with the
// tempo. Kept exact as a sum of tick x num, in units of 1/den microsecond.
struct Clock {
    Wide sum = 0;
    uint64_t num = 0;
    uint64_t den = 1;
    int64_t tick = 0;
    bool tempoApplies = true;

    void To(int64_t t) {
        sum += static_cast<Wide>(static_cast<uint64_t>(t - tick)) * num;
        tick = t;
    }
    int64_t Nanoseconds() const {
        const Wide ns = sum * 1000 / den;
        return ns > static_cast<Wide>(kSmfMaxNanoseconds) ? kSmfMaxNanoseconds + 1 : static_cast<int64_t>(ns);
    }
};

// Sets the clock's rate from the header's division.
bool SetDivision(uint16_t division, Clock& clock) {
    if ((division & 0x8000) == 0) {
        if (division == 0) return false;
        clock.num = 500000;  // 120 quarter notes a minute until a tempo says otherwise
        clock.den = division;
        return true;
    }
    // SMPTE: frames a second (negative, in the high byte) and ticks per frame.
    const int fps = -static_cast<int8_t>(division >> 8);
    const int perFrame = division & 0xFF;
    if (perFrame == 0) return false;
    clock.tempoApplies = false;
    if (fps == 24 || fps == 25 || fps == 30) {
        clock.num = 1000000;
        clock.den = static_cast<uint64_t>(fps) * static_cast<uint64_t>(perFrame);
    } else if (fps == 29) {
        // 29.97 frames a second (30 drop-frame): 30000 frames in 1001 seconds.
        clock.num = 1001000000;
        clock.den = 30000ULL * static_cast<uint64_t>(perFrame);
    } else {
        return false;
    }
    return true;
}

// Reads one event of a track at its tick; channel messages go to the listener, a
// tempo change to the clock. Sets done when the track's End of Track is read.
SmfError ReadEvent(const uint8_t* data, int track, Clock& clock, SmfListener& listener, bool& done) {
    Track& t = g_tracks[track];
    const size_t start = t.pos;
    if (t.pos >= t.end) return SmfError{SmfProblem::ValuePastEnd, start};
    uint8_t status = data[t.pos];
    if (status & 0x80) {
        ++t.pos;
    } else {
        if (t.running == 0) return SmfError{SmfProblem::NoStatus, start};
        status = t.running;
    }
    if (status < 0xF0) {
        t.running = status;
        const int kind = status >> 4;
        const int count = kind == 0xC || kind == 0xD ? 1 : 2;
        uint8_t bytes[2] = {0, 0};
        for (int i = 0; i < count; ++i) {
            if (t.pos >= t.end) return SmfError{SmfProblem::ValuePastEnd, start};
            if (data[t.pos] & 0x80) return SmfError{SmfProblem::BadData, t.pos};
            bytes[i] = data[t.pos++];
        }
        const int64_t ns = clock.Nanoseconds();
        if (ns > kSmfMaxNanoseconds) return SmfError{SmfProblem::TooLate, start};
        listener.OnMessage(SmfMessage{ns, status, bytes[0], bytes[1], static_cast<uint16_t>(track)});
        return SmfError{};
    }
    if (status == 0xF0 || status == 0xF7) {
        // System exclusive, or an escape: skipped by its length.
        uint32_t length = 0;
        if (SmfError e = ReadVarLen(data, t.pos, t.end, length)) return e;
        if (length > t.end - t.pos) return SmfError{SmfProblem::ValuePastEnd, start};
        t.pos += length;
        return SmfError{};
    }
    if (status == 0xFF) {
        if (t.pos >= t.end) return SmfError{SmfProblem::ValuePastEnd, start};
        const uint8_t type = data[t.pos++];
        uint32_t length = 0;
        if (SmfError e = ReadVarLen(data, t.pos, t.end, length)) return e;
        if (length > t.end - t.pos) return SmfError{SmfProblem::ValuePastEnd, start};
        const uint8_t* body = data + t.pos;
        t.pos += length;
        if (type == 0x2F) {
            done = true;
        } else if (type == 0x51 && length >= 3 && clock.tempoApplies) {
            const uint32_t tempo = static_cast<uint32_t>(body[0]) << 16 | body[1] << 8 | body[2];
            // A tempo of no time at all would stop the clock for good: ignored.
            if (tempo > 0) clock.num = tempo;
        }
        return SmfError{};
    }
    return SmfError{SmfProblem::BadStatus, start};
}

}  // namespace

const char* DescribeSmfProblem(SmfProblem problem) {
    switch (problem) {
    case SmfProblem::None: return "no problem";
    case SmfProblem::NotMidi: return "not a Standard MIDI File: no MThd header";
    case SmfProblem::ShortHeader: return "the header chunk is cut short";
    case SmfProblem::Format2: return "format 2 (independent patterns) cannot be played as one piece";
    case SmfProblem::UnknownFormat: return "unknown file format (neither 0, 1 nor 2)";
    case SmfProblem::TrackCount: return "absurd track count";
    case SmfProblem::BadDivision: return "invalid time division";
    case SmfProblem::MissingTrack: return "the file ends before its last track";
    case SmfProblem::ChunkPastEnd: return "a chunk runs past the end of the file";
    case SmfProblem::ValuePastEnd: return "an event runs past the end of its track";
    case SmfProblem::LongValue: return "a variable-length value is longer than 4 bytes";
    case SmfProblem::NoStatus: return "a data byte without a status";
    case SmfProblem::BadStatus: return "a status byte that a file cannot hold";
    case SmfProblem::BadData: return "a status byte where a data byte belongs";
    case SmfProblem::TooLate: return "a note lies later than the longest song (745 days)";
    }
    return "unknown problem";
}

SmfError ReadSmf(const uint8_t* data, size_t size, SmfListener& listener) {
    if (size < 8 || Be32(data) != 0x4D546864) return SmfError{SmfProblem::NotMidi, 0};
    const uint32_t headerLength = Be32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) return SmfError{SmfProblem::ShortHeader, 4};
    const uint16_t format = Be16(data + 8);
    const uint16_t tracks = Be16(data + 10);
    if (format == 2) return SmfError{SmfProblem::Format2, 8};
    if (format > 2) return SmfError{SmfProblem::UnknownFormat, 8};
    // Every track needs a chunk header of 8 bytes.
    if (tracks == 0 || tracks > kSmfMaxTracks || tracks > (size - 8 - headerLength) / 8)
        return SmfError{SmfProblem::TrackCount, 10};
    Clock clock;
    if (!SetDivision(Be16(data + 12), clock)) return SmfError{SmfProblem::BadDivision, 12};

    // Find the track chunks; chunks of other types are skipped by their lengths.
    size_t pos = 8 + static_cast<size_t>(headerLength);
    int found = 0;
    while (found < tracks) {
        if (size - pos < 8) return SmfError{SmfProblem::MissingTrack, pos};
        const uint32_t length = Be32(data + pos + 4);
        if (length > size - pos - 8) return SmfError{SmfProblem::ChunkPastEnd, pos + 4};
        if (Be32(data + pos) == 0x4D54726B)
            g_tracks[found++] = Track{pos + 8, pos + 8 + length, 0, 0, false};
        pos += 8 + static_cast<size_t>(length);
    }

    int pending = 0;
    for (int i = 0; i < found; ++i) {
        if (SmfError e = Advance(data, g_tracks[i])) return e;
        if (g_tracks[i].pending) g_heap[pending++] = i;
    }
    for (int i = pending / 2 - 1; i >= 0; --i) SiftDown(i, pending);
    int64_t endTick = 0;
    while (pending > 0) {
        Track& t = g_tracks[g_heap[0]];
        clock.To(t.tick);
        bool done = false;
        if (SmfError e = ReadEvent(data, g_heap[0], clock, listener, done)) return e;
        if (done) {
            t.pending = false;
        } else if (SmfError e = Advance(data, t)) {
            return e;
        }
        if (!t.pending) {
            if (t.tick > endTick) endTick = t.tick;
            g_heap[0] = g_heap[--pending];
        }
        SiftDown(0, pending);
    }
    clock.To(endTick > clock.tick ? endTick : clock.tick);
    const int64_t end = clock.Nanoseconds();
    listener.OnEnd(end > kSmfMaxNanoseconds ? kSmfMaxNanoseconds : end);
    return SmfError{};
}

}  // namespace clavora
