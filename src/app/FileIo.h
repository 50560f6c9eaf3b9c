// Whole-file writes that never leave a torn file behind, and appends of whole rows.
#pragma once

#include <cstddef>

namespace clavora {

// Writes size bytes to the named file through a temporary file beside it (a new file
// of a name of its own, NAME.XXXXXX.tmp, so that writers at once never share one),
// flushed to disk and renamed over the old file only when complete; the directory is flushed after
// the rename so that the new file survives a power cut. A symbolic link is written
// through to its target, and the old file's permissions are kept. A file that already
// holds exactly these bytes is left alone (neither rewritten nor touched).
// On failure the old file is untouched, one line naming the file goes to standard
// error, and false is returned.
bool WriteFileAtomic(const char* name, const void* data, size_t size);

// Appends size bytes to the named file in one write, so that a killed program leaves
// them whole or not at all. A new or empty file first receives the head bytes, and its
// directory is flushed to disk; a file whose last line was cut short gets a line end
// first, so that the appended rows start on a line of their own. The rows themselves
// are left to the system's write-back (a flush to disk would cost milliseconds at every
// game's end): a power cut can lose the last game, never the rows before it. On
// failure one line goes to standard error and false is returned. Allocates nothing.
bool AppendFileDurable(const char* name, const char* head, size_t headSize, const void* data,
                       size_t size);

// The name that begins the line reported on a failure ("clavora" unless set).
void SetProgramName(const char* name);

// For tests: a hook that can make the write of a named file fail part-way, as a
// full disk would. nullptr restores normal writing.
using WriteFaultHook = bool (*)(const char* name);
void SetWriteFaultHook(WriteFaultHook hook);

}  // namespace clavora
