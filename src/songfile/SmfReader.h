// Reads a Standard MIDI File of format 0 or 1 and hands its channel messages, all
// tracks merged in time order, to a listener, each with its time in nanoseconds from
// the tempo map and the division. Plain code over a buffer of bytes: it allocates
// nothing and bounds all its work by the file's size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clavora {

enum class SmfProblem {
    None,
    NotMidi,        // no "MThd" header at the start
    ShortHeader,    // the header chunk is shorter than 6 bytes or runs past the end
    Format2,        // independent patterns: no single time line to merge
    UnknownFormat,  // a format other than 0, 1 or 2
    TrackCount,     // no tracks, more than kSmfMaxTracks, or more than fit in the file
    BadDivision,    // a division of 0 ticks, or an unknown SMPTE frame rate
    MissingTrack,   // the file ends before the last track the header announces
    ChunkPastEnd,   // a chunk's length runs past the end of the file
    ValuePastEnd,   // a variable-length value or an event runs past the end of its track
    LongValue,      // a variable-length value of more than 4 bytes
    NoStatus,       // a data byte where an event begins, without a running status
    BadStatus,      // a system common or real-time status, which a file cannot hold
    BadData,        // a status byte where a channel message's data byte belongs
    TooLate,        // a channel message later than a song's clock can count
};

// What went wrong and where: the byte offset in the file of the value at fault.
struct SmfError {
    SmfProblem problem = SmfProblem::None;
    size_t offset = 0;
    explicit operator bool() const { return problem != SmfProblem::None; }
};

// A short description of a problem, for a message that also names the file and offset.
const char* DescribeSmfProblem(SmfProblem problem);

constexpr int kSmfMaxTracks = 1024;
// The latest time a message may have: a little short of the last frame the recorder's
// clock (a signed 32-bit count of 30 ms frames, some 745 days) can count.
constexpr int64_t kSmfMaxNanoseconds = (0x7FFFFFFFLL - 1) * 30000000LL;

// One channel message: status (with its channel) and data bytes (0 when it has fewer),
// and the track it came from, counted from 0 in the file's order.
struct SmfMessage {
    int64_t ns;
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
    uint16_t track;
};

class SmfListener {
public:
    virtual ~SmfListener() = default;
    virtual void OnMessage(const SmfMessage& message) = 0;
    // Once at the end: when the last track ends (its End of Track, or its last event),
    // at most kSmfMaxNanoseconds.
    virtual void OnEnd(int64_t ns) = 0;
};

// Reads the file. On an error, the listener may have had part of the messages.
SmfError ReadSmf(const uint8_t* data, size_t size, SmfListener& listener);

}  // namespace clavora
