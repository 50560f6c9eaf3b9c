// Any bytes as the best-records file: each field the file holds whole is taken as it
// stands, the others keep their defaults; saving writes exactly 12 bytes (the file's
// own first 12 when it had them) that load back into the same records.
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzDir.h"
#include "game/Game.h"

using namespace clavora;
using fuzz::Broken;

namespace {

int32_t Le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return bytes == 2 ? static_cast<int16_t>(v) : static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MakeWorkDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InWorkDir here;
    fuzz::EmptyWorkDir();
    fuzz::PutFile(kRecordsFile, data, size);
    // Values of an earlier input must not leak into this one.
    g_nBestTimeLetter = g_nBestTimePiano = 1;
    g_nBestMistakesLetter = g_nBestMistakesPiano = 1;
    LoadBestRecords();
    if (g_nBestTimeLetter != (size >= 4 ? Le(data, 4) : kNoRecordTime)) Broken("letter-mode time");
    if (g_nBestMistakesLetter != (size >= 6 ? Le(data + 4, 2) : kNoRecordMistakes))
        Broken("letter-mode mistakes");
    if (g_nBestTimePiano != (size >= 10 ? Le(data + 6, 4) : kNoRecordTime)) Broken("piano-mode time");
    if (g_nBestMistakesPiano != (size >= 12 ? Le(data + 10, 2) : kNoRecordMistakes))
        Broken("piano-mode mistakes");

    const int32_t times[2] = {g_nBestTimeLetter, g_nBestTimePiano};
    const int16_t mistakes[2] = {g_nBestMistakesLetter, g_nBestMistakesPiano};
    SaveBestRecords();
    std::string bytes;
    if (!fuzz::GetFile(kRecordsFile, bytes) || bytes.size() != 12) Broken("the saved file is not 12 bytes");
    if (size >= 12 && std::memcmp(bytes.data(), data, 12) != 0) Broken("the saved file is not the first 12 bytes");
    if (fuzz::TemporaryFileLeft()) Broken("a temporary file is left");
    LoadBestRecords();
    if (g_nBestTimeLetter != times[0] || g_nBestTimePiano != times[1] ||
        g_nBestMistakesLetter != mistakes[0] || g_nBestMistakesPiano != mistakes[1])
        Broken("records saved and loaded again are not the same");
    return 0;
}
