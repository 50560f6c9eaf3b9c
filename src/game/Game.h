// Best records of the note-reading game and their file "Clavora.hsc".
#pragma once

#include <cstdint>

namespace clavora {

// Best time in seconds and mistakes of each mode; 659 and 99 mean no record yet.
extern int32_t g_nBestTimeLetter;
extern int16_t g_nBestMistakesLetter;
extern int32_t g_nBestTimePiano;
extern int16_t g_nBestMistakesPiano;

constexpr int32_t kNoRecordTime = 659;
constexpr int16_t kNoRecordMistakes = 99;
constexpr const char* kRecordsFile = "Clavora.hsc";

// Sets the defaults, then reads "Clavora.hsc" over them if it can be opened.
void LoadBestRecords();
// Writes "Clavora.hsc" whole, or leaves the old file as it was.
void SaveBestRecords();

}  // namespace clavora
