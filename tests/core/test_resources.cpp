// The embedded resources: every bitmap, sound and the icon, found by id, in the exact
// formats the program and the system expect of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "raster/Gdi.h"
#include "platform/resources/Resources.h"

namespace clavora::test {
namespace {

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }
int32_t S32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

struct BitmapSpec {
    int id, width, height, bits;
};

// Every bitmap of the window, in the order the window loads them.
const BitmapSpec kBitmaps[] = {
    {150, 800, 520, 24}, {210, 160, 24, 4},  {212, 176, 25, 24}, {166, 20, 70, 24},
    {203, 20, 70, 24},   {167, 20, 70, 1},   {169, 20, 70, 24},  {202, 20, 70, 24},
    {168, 20, 70, 1},    {180, 120, 79, 24}, {204, 120, 79, 24}, {206, 120, 79, 24},
    {205, 120, 79, 24},  {181, 120, 79, 24}, {200, 44, 4, 24},   {209, 16, 12, 24},
    {213, 16, 12, 24},   {214, 16, 12, 24},  {215, 16, 12, 24},  {218, 16, 12, 24},
    {216, 16, 12, 24},   {217, 16, 12, 24},  {219, 16, 12, 24},  {220, 16, 12, 24},
    {211, 8, 46, 24},    {221, 8, 8, 24},    {222, 8, 8, 24},
};

TEST(Resources, EveryBitmapIsAnUncompressedBottomUpBmpOfItsSizeAndDepth) {
    std::set<int> ids;
    for (const BitmapSpec& s : kBitmaps) {
        SCOPED_TRACE(s.id);
        ids.insert(s.id);
        const ResourceBytes r = FindEmbeddedResource(s.id);
        ASSERT_GE(r.size, 54u);
        const uint8_t* b = r.data;
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32(b + 2), r.size);
        EXPECT_EQ(U32(b + 14), 40u);            // BITMAPINFOHEADER
        EXPECT_EQ(S32(b + 18), s.width);
        EXPECT_EQ(S32(b + 22), s.height);       // positive: bottom-up
        EXPECT_EQ(U16(b + 26), 1u);             // planes
        EXPECT_EQ(U16(b + 28), uint32_t(s.bits));
        EXPECT_EQ(U32(b + 30), 0u);             // BI_RGB: no compression
        const uint32_t colours = s.bits <= 8 ? (U32(b + 46) ? U32(b + 46) : 1u << s.bits) : 0;
        EXPECT_EQ(U32(b + 10), 54 + 4 * colours);
        const size_t stride = ((size_t(s.width) * s.bits + 31) / 32) * 4;
        EXPECT_EQ(r.size, U32(b + 10) + stride * s.height);
        CBitmap bmp;
        ASSERT_TRUE(DecodeBmp(r.data, r.size, bmp));
        EXPECT_EQ(bmp.Width(), s.width);
        EXPECT_EQ(bmp.Height(), s.height);
        EXPECT_EQ(bmp.IsMono(), s.bits == 1);
    }
    EXPECT_EQ(ids.size(), 27u);
}

TEST(Resources, CounterDigitsUseAPaletteOfSixteenGreens) {
    const ResourceBytes r = FindEmbeddedResource(210);
    ASSERT_GT(r.size, 54u + 64u);
    const uint32_t used = U32(r.data + 46);
    EXPECT_TRUE(used == 16 || used == 0);
    bool black = false, bright = false;
    std::set<uint32_t> distinct;
    for (int i = 0; i < 16; ++i) {
        const uint8_t* q = r.data + 54 + 4 * i;  // blue, green, red, reserved
        EXPECT_GE(q[1], q[2]) << "entry " << i << " is not a green";
        EXPECT_GE(q[1], q[0]) << "entry " << i << " is not a green";
        black |= q[0] == 0 && q[1] == 0 && q[2] == 0;
        bright |= q[1] >= 200;
        distinct.insert(U32(q) & 0xFFFFFF);
    }
    EXPECT_TRUE(black);
    EXPECT_TRUE(bright);
    EXPECT_EQ(distinct.size(), 16u);
}

TEST(Resources, NoteMasksAreMonochromeBlackAndWhite) {
    for (int id : {167, 168}) {
        SCOPED_TRACE(id);
        const ResourceBytes r = FindEmbeddedResource(id);
        ASSERT_GT(r.size, 62u);
        EXPECT_EQ(U32(r.data + 54) & 0xFFFFFF, 0x000000u);  // index 0 black
        EXPECT_EQ(U32(r.data + 58) & 0xFFFFFF, 0xFFFFFFu);  // index 1 white
        CBitmap mask;
        ASSERT_TRUE(DecodeBmp(r.data, r.size, mask));
        int black = 0, white = 0;
        for (int y = 0; y < mask.Height(); ++y)
            for (int x = 0; x < mask.Width(); ++x) (mask.Pixel(x, y) == 0 ? black : white)++;
        EXPECT_GT(black, 150);  // a note head and its stem
        EXPECT_GT(white, 700);
    }
}

TEST(Resources, KeyMaskIsPureBlackAndWhite) {
    const ResourceBytes r = FindEmbeddedResource(181);
    CBitmap mask;
    ASSERT_TRUE(DecodeBmp(r.data, r.size, mask));
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x) {
            const uint32_t p = mask.Pixel(x, y);
            ASSERT_TRUE(p == 0 || p == 0xFFFFFF) << x << "," << y;
        }
}

struct SoundSpec {
    int id, channels;
    double seconds;
};

const SoundSpec kSounds[] = {{170, 1, 0.115}, {171, 1, 2.0},   {172, 2, 0.435},
                             {173, 1, 1.0},   {179, 1, 1.74},  {207, 1, 0.374}};

TEST(Resources, SoundsAreSixteenBitPcmWavesOfTheirLengthThatNeverClip) {
    for (const SoundSpec& s : kSounds) {
        SCOPED_TRACE(s.id);
        const ResourceBytes r = FindEmbeddedResource(s.id);
        ASSERT_GE(r.size, 44u);
        const uint8_t* b = r.data;
        EXPECT_EQ(std::string(b, b + 4), "RIFF");
        EXPECT_EQ(U32(b + 4), r.size - 8);
        EXPECT_EQ(std::string(b + 8, b + 12), "WAVE");
        EXPECT_EQ(std::string(b + 12, b + 16), "fmt ");
        EXPECT_EQ(U32(b + 16), 16u);
        EXPECT_EQ(U16(b + 20), 1u);  // PCM
        EXPECT_EQ(U16(b + 22), uint32_t(s.channels));
        EXPECT_EQ(U32(b + 24), 44100u);
        EXPECT_EQ(U32(b + 28), 44100u * 2 * s.channels);
        EXPECT_EQ(U16(b + 32), 2u * s.channels);
        EXPECT_EQ(U16(b + 34), 16u);
        EXPECT_EQ(std::string(b + 36, b + 40), "data");
        const uint32_t bytes = U32(b + 40);
        ASSERT_EQ(44 + size_t(bytes), r.size);
        const size_t frames = bytes / (2 * s.channels);
        EXPECT_NEAR(frames / 44100.0, s.seconds, 0.001);

        // Loud enough to hear, never at full scale, and silent at both ends (no clicks).
        int peak = 0;
        const auto sample = [&](size_t i) { return int(int16_t(U16(b + 44 + 2 * i))); };
        for (size_t i = 0; i < frames * s.channels; ++i) peak = std::max(peak, std::abs(sample(i)));
        EXPECT_GT(peak, 8000);
        EXPECT_LT(peak, 30000);
        for (int c = 0; c < s.channels; ++c) {
            EXPECT_LT(std::abs(sample(c)), 200);
            EXPECT_LT(std::abs(sample((frames - 1) * s.channels + c)), 200);
        }
    }
}

TEST(Resources, IconHoldsThreeImagesEachWithItsMask) {
    const ResourceBytes r = FindEmbeddedResource(128);
    ASSERT_GE(r.size, 6u + 3 * 16u);
    const uint8_t* b = r.data;
    EXPECT_EQ(U16(b), 0u);
    EXPECT_EQ(U16(b + 2), 1u);  // an icon, not a cursor
    ASSERT_EQ(U16(b + 4), 3u);
    const struct {
        int size, colours, bits;
    } want[3] = {{32, 16, 4}, {16, 16, 4}, {32, 0, 8}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const uint8_t* e = b + 6 + 16 * i;
        const int size = want[i].size;
        EXPECT_EQ(e[0], size);
        EXPECT_EQ(e[1], size);
        EXPECT_EQ(e[2], want[i].colours);
        EXPECT_EQ(U16(e + 6), uint32_t(want[i].bits));
        const uint32_t bytes = U32(e + 8), offset = U32(e + 12);
        ASSERT_LE(size_t(offset) + bytes, r.size);
        const uint8_t* h = b + offset;
        EXPECT_EQ(U32(h), 40u);
        EXPECT_EQ(S32(h + 4), size);
        EXPECT_EQ(S32(h + 8), 2 * size);  // the colours, then the mask
        EXPECT_EQ(U16(h + 14), uint32_t(want[i].bits));
        EXPECT_EQ(U32(h + 16), 0u);
        const size_t palette = size_t(4) << want[i].bits;
        const size_t xorBytes = ((size_t(size) * want[i].bits + 31) / 32) * 4 * size;
        const size_t andStride = ((size_t(size) + 31) / 32) * 4;
        ASSERT_EQ(bytes, 40 + palette + xorBytes + andStride * size);
        // The mask: transparent in the corners, opaque on the notes, and every opaque
        // pixel dark (black notes).
        const uint8_t* pal = h + 40;
        const uint8_t* colour = pal + palette;
        const uint8_t* andMask = colour + xorBytes;
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool clear = (andMask[andStride * y + x / 8] >> (7 - x % 8)) & 1;
                if (clear) continue;
                ++opaque;
                const size_t stride = ((size_t(size) * want[i].bits + 31) / 32) * 4;
                const uint8_t byte = colour[stride * y + x * want[i].bits / 8];
                const int index = want[i].bits == 8 ? byte : (x % 2 ? byte & 0xF : byte >> 4);
                const uint8_t* c = pal + 4 * index;
                EXPECT_LT(c[0] + c[1] + c[2], 3 * 140) << x << "," << y;
            }
        const auto cleared = [&](int x, int y) { return (andMask[andStride * y + x / 8] >> (7 - x % 8)) & 1; };
        EXPECT_TRUE(cleared(0, 0) && cleared(size - 1, 0) && cleared(0, size - 1) && cleared(size - 1, size - 1));
        EXPECT_GT(opaque, size * size / 10);
        EXPECT_LT(opaque, size * size / 2);
    }
}

TEST(Resources, AnUnknownIdFindsNothing) {
    for (int id : {0, -1, 102, 151, 999}) EXPECT_EQ(FindEmbeddedResource(id).size, 0u) << id;
}

}  // namespace
}  // namespace clavora::test
