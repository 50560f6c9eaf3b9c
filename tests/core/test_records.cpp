// The best-records file "Clavora.hsc".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/FakePlatform.h"
#include "app/FileIo.h"
#include "game/Game.h"

namespace clavora::test {
namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kDefaults = {0x93, 0x02, 0, 0, 0x63, 0, 0x93, 0x02, 0, 0, 0x63, 0};

TEST(Records, DefaultsWithoutAFileAndTheirExactBytes) {
    TempDir dir;
    g_nBestTimeLetter = 1;
    g_nBestMistakesPiano = 2;
    LoadBestRecords();
    EXPECT_EQ(g_nBestTimeLetter, 659);
    EXPECT_EQ(g_nBestMistakesLetter, 99);
    EXPECT_EQ(g_nBestTimePiano, 659);
    EXPECT_EQ(g_nBestMistakesPiano, 99);
    SaveBestRecords();
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), kDefaults);
}

TEST(Records, ALetterRecordIsStoredLittleEndian) {
    TempDir dir;
    LoadBestRecords();
    g_nBestTimeLetter = 75;
    g_nBestMistakesLetter = 3;
    SaveBestRecords();
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), (Bytes{0x4B, 0, 0, 0, 3, 0, 0x93, 0x02, 0, 0, 0x63, 0}));
    LoadBestRecords();
    EXPECT_EQ(g_nBestTimeLetter, 75);
    EXPECT_EQ(g_nBestMistakesLetter, 3);
}

TEST(Records, ValuesAreTakenAsStoredSignedAndALongFileComesBackAsTwelveBytes) {
    TempDir dir;
    Bytes bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x80, 0x10, 0x27, 0, 0, 0x2A, 0, 9, 9, 9};
    WriteFileBytes("Clavora.hsc", bytes);
    LoadBestRecords();
    EXPECT_EQ(g_nBestTimeLetter, -1);
    EXPECT_EQ(g_nBestMistakesLetter, -32768);
    EXPECT_EQ(g_nBestTimePiano, 10000);
    EXPECT_EQ(g_nBestMistakesPiano, 42);
    SaveBestRecords();
    bytes.resize(12);
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), bytes);
}

TEST(Records, AShortFileGivesOnlyTheFieldsItHoldsWhole) {
    TempDir dir;
    struct Case {
        size_t length;
        int32_t timeLetter;
        int16_t mistakesLetter;
        int32_t timePiano;
    };
    const Bytes full = {0x0A, 0, 0, 0, 0x02, 0, 0x14, 0, 0, 0, 0x05, 0};
    for (const Case& c : {Case{0, 659, 99, 659}, Case{3, 659, 99, 659}, Case{4, 10, 99, 659},
                          Case{5, 10, 99, 659}, Case{6, 10, 2, 659}, Case{9, 10, 2, 659},
                          Case{11, 10, 2, 20}}) {
        WriteFileBytes("Clavora.hsc", Bytes(full.begin(), full.begin() + c.length));
        LoadBestRecords();
        EXPECT_EQ(g_nBestTimeLetter, c.timeLetter) << c.length;
        EXPECT_EQ(g_nBestMistakesLetter, c.mistakesLetter) << c.length;
        EXPECT_EQ(g_nBestTimePiano, c.timePiano) << c.length;
        EXPECT_EQ(g_nBestMistakesPiano, 99) << c.length;
    }
}

TEST(Records, AFailedWriteLeavesTheOldFileWholeAndSaysSo) {
    TempDir dir;
    const Bytes old = {0x4B, 0, 0, 0, 3, 0, 0x93, 0x02, 0, 0, 0x63, 0};
    WriteFileBytes("Clavora.hsc", old);
    LoadBestRecords();
    g_nBestTimeLetter = 1;
    // A disk that fills up half-way through the write.
    SetWriteFaultHook([](const char*) { return true; });
    testing::internal::CaptureStderr();
    SaveBestRecords();
    const std::string err = testing::internal::GetCapturedStderr();
    SetWriteFaultHook(nullptr);
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), old);
    EXPECT_NE(err.find("Clavora.hsc"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(TemporaryFilesLeft(), 0);
}

TEST(Records, AnUnwritableDirectoryLosesNothing) {
    TempDir dir;
    const Bytes old = {0x4B, 0, 0, 0, 3, 0, 0x93, 0x02, 0, 0, 0x63, 0};
    WriteFileBytes("Clavora.hsc", old);
    // A file whose name leaves no room for a temporary file's beside it (the longest a
    // name can be, less 10), reached through a link: no temporary file can be made,
    // even by root.
    const std::string longest(245, 'r');
    ASSERT_EQ(rename("Clavora.hsc", longest.c_str()), 0);
    ASSERT_EQ(symlink(longest.c_str(), "Clavora.hsc"), 0);
    LoadBestRecords();
    g_nBestTimeLetter = 1;
    testing::internal::CaptureStderr();
    SaveBestRecords();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes("Clavora.hsc"), old);
    EXPECT_NE(err.find("Clavora.hsc"), std::string::npos);
}

}  // namespace
}  // namespace clavora::test
