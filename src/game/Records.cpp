// The best-records file "Clavora.hsc": 12 bytes, little-endian, no header.
#include <cstdio>

#include "app/FileIo.h"
#include "game/Game.h"

namespace clavora {

int32_t g_nBestTimeLetter = kNoRecordTime;
int16_t g_nBestMistakesLetter = kNoRecordMistakes;
int32_t g_nBestTimePiano = kNoRecordTime;
int16_t g_nBestMistakesPiano = kNoRecordMistakes;

namespace {

constexpr size_t kRecordsSize = 12;

int32_t ReadLe(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return bytes == 2 ? static_cast<int16_t>(v) : static_cast<int32_t>(v);
}

void WriteLe(unsigned char* p, int32_t value, int bytes) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

void LoadBestRecords() {
    g_nBestTimeLetter = kNoRecordTime;
    g_nBestMistakesLetter = kNoRecordMistakes;
    g_nBestTimePiano = kNoRecordTime;
    g_nBestMistakesPiano = kNoRecordMistakes;

    std::FILE* f = std::fopen(kRecordsFile, "rb");
    if (!f) return;
    unsigned char buf[kRecordsSize] = {};
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);

    // A short file gives only the fields it holds completely; the rest keep defaults.
    if (n >= 4) g_nBestTimeLetter = ReadLe(buf, 4);
    if (n >= 6) g_nBestMistakesLetter = static_cast<int16_t>(ReadLe(buf + 4, 2));
    if (n >= 10) g_nBestTimePiano = ReadLe(buf + 6, 4);
    if (n >= 12) g_nBestMistakesPiano = static_cast<int16_t>(ReadLe(buf + 10, 2));
}

void SaveBestRecords() {
    unsigned char buf[kRecordsSize];
    WriteLe(buf, g_nBestTimeLetter, 4);
    WriteLe(buf + 4, g_nBestMistakesLetter, 2);
    WriteLe(buf + 6, g_nBestTimePiano, 4);
    WriteLe(buf + 10, g_nBestMistakesPiano, 2);
    WriteFileAtomic(kRecordsFile, buf, sizeof buf);
}

}  // namespace clavora
