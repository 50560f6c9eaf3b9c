// A MIDI file dropped on the window: imported into the first slot that holds no song,
// from the current slot on and wrapping, and played there at once. A file that is not
// a readable MIDI file with notes, or a store without an empty slot, changes nothing
// and sounds the wrong-answer sound. The song is saved at close with the others.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/PianoDlg.h"
#include "recorder/Songs.h"
#include "songfile/MidiImport.h"

namespace clavora {

namespace {

// The largest file a drop takes; read into a buffer of the program's own, so that a
// drop allocates nothing, like everything else the window does once it runs.
constexpr size_t kMaxDroppedFile = 16 * 1024 * 1024;
uint8_t g_dropBuffer[kMaxDroppedFile];
SongImage g_dropSong;

// Reads the file into g_dropBuffer; -1 when it cannot be read or is too large. Plain
// reads, without the C library's buffered files, which allocate.
long ReadDropped(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "clavora: cannot read %s: %s\n", path, std::strerror(errno));
        return -1;
    }
    size_t n = 0;
    int err = 0;
    // One byte more than the buffer takes tells a file that does not fit.
    uint8_t more = 0;
    for (;;) {
        const bool inBuffer = n < kMaxDroppedFile;
        const ssize_t got = inBuffer ? ::read(fd, g_dropBuffer + n, kMaxDroppedFile - n) : ::read(fd, &more, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) err = errno;
        if (got <= 0) break;
        if (!inBuffer) {
            ::close(fd);
            std::fprintf(stderr, "clavora: %s: too large to import (more than %zu bytes)\n", path, kMaxDroppedFile);
            return -1;
        }
        n += static_cast<size_t>(got);
    }
    ::close(fd);
    if (err != 0) {
        std::fprintf(stderr, "clavora: cannot read %s: %s\n", path, std::strerror(err));
        return -1;
    }
    return static_cast<long>(n);
}

}  // namespace

void CPianoDlg::OnDropFile(const char* path) {
    if (m_bClosing == 1) return;
    int slot = -1;
    // The slot light's test: a slot being recorded into holds a song from its first event on.
    for (int i = 0; i < kSongSlots && slot < 0; ++i)
        if (SlotIsEmpty((m_nSlot + i) % kSongSlots)) slot = (m_nSlot + i) % kSongSlots;
    if (slot < 0) {
        std::fprintf(stderr, "clavora: %s: every slot holds a song\n", path);
        m_platform.PlaySound(IDW_WRONG);
        return;
    }
    const long size = ReadDropped(path);
    if (size < 0) {
        m_platform.PlaySound(IDW_WRONG);
        return;
    }
    const ImportResult r = ImportMidi(g_dropBuffer, static_cast<size_t>(size), g_dropSong);
    if (r.error) {
        std::fprintf(stderr, "clavora: %s: %s (at byte %zu)\n", path, DescribeSmfProblem(r.error.problem),
                     r.error.offset);
        m_platform.PlaySound(IDW_WRONG);
        return;
    }
    if (r.kept == 0) {
        std::fprintf(stderr, "clavora: %s: no notes that the piano can play\n", path);
        m_platform.PlaySound(IDW_WRONG);
        return;
    }
    // As the slot arrows do: the recorder stops before the slot changes.
    if (m_bPlaying == 1 || m_bRecording == 1) StopTransport();
    PutSong(slot, g_dropSong);
    m_nSlot = static_cast<int16_t>(slot);
    // Then as the play button does.
    m_nFlashPlay = 5;
    m_nPlayBlink = 0;
    StartPlayback();
    Redraw();
}

}  // namespace clavora
