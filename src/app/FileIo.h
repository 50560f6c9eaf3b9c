// Whole-file writes that never leave a torn file behind.
#pragma once

#include <cstddef>

namespace clavora {

// Writes size bytes to the file name in the working directory through a temporary
// file beside it, flushed to disk and renamed over the old file only when complete.
// On failure the old file is untouched, one line naming the file goes to standard
// error, and false is returned.
bool WriteFileAtomic(const char* name, const void* data, size_t size);

// The name that begins the line reported on a failure ("clavora" unless set).
void SetProgramName(const char* name);

// For tests: a hook that can make the write of a named file fail part-way, as a
// full disk would. nullptr restores normal writing.
using WriteFaultHook = bool (*)(const char* name);
void SetWriteFaultHook(WriteFaultHook hook);

}  // namespace clavora
