// Temporary files beside the file they will replace: each writer's own, locked while
// it writes, and those a killed writer left behind removed by the next.
#pragma once

#include <limits.h>

namespace clavora {

// The directory part of path ("." for a bare name), into dir.
bool DirectoryOf(const char* path, char (&dir)[PATH_MAX]);

// Makes a new, empty file beside path under a name no other writer holds, and locks it.
// Returns the descriptor, or -1 with errno set; the name is left in temp.
int CreateTemporary(const char* path, char (&temp)[PATH_MAX]);

// Removes path's temporary files whose lock no writer holds.
void RemoveStaleTemporaries(const char* path);

}  // namespace clavora
