// The art drawn at two device pixels per window pixel: every bitmap has a picture of
// twice the width and height in the same format, which, reduced 2:1, matches its own 1x
// picture closely, and better than that picture moved by one pixel or any other picture
// of its size; masks keep their sprites black wherever the background stays, and opaque
// sprites meet the 2x background at their edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/window/Icon.h"
#include "raster/Gdi.h"
#include "platform/resources/Resources.h"

namespace clavora::test {
namespace {

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

// Each bitmap; the mask drawn with it (SRCAND before it) or -1 for the key mask, cut on
// window pixels, which at 2x is the 1x mask enlarged; where an opaque sprite is copied.
struct Art {
    int id, mask, x = -1, y = -1;
};

const Art kArt[] = {
    {150, 0}, {210, 0}, {212, 0}, {166, 167}, {203, 167}, {167, 0}, {169, 168}, {202, 168},
    {168, 0}, {180, 181}, {204, 181}, {206, 181}, {205, 181}, {181, -1}, {200, 0}, {211, 0},
    {209, 0, 14, 372}, {213, 0, 82, 385}, {214, 0, 160, 372}, {215, 0, 776, 385},
    {218, 0, 720, 403}, {216, 0, 737, 403}, {217, 0, 754, 403}, {219, 0, 720, 403},
    {220, 0, 754, 403}, {221, 0, 774, 405}, {222, 0, 774, 405},
};

CBitmap Decode(int id, int scale) {
    CBitmap bmp;
    const ResourceBytes r = FindEmbeddedResource(id, scale);
    EXPECT_TRUE(DecodeBmp(r.data, r.size, bmp)) << id << " at " << scale << "x";
    return bmp;
}

// The mean, over the 1x pixels, of the largest channel difference between the 2x
// picture's 2 x 2 block averaged and the 1x picture's pixel moved by (dx, dy).
double Mismatch(const CBitmap& big, const CBitmap& small, int dx = 0, int dy = 0) {
    const int w = small.Width(), h = small.Height();
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t want = small.Pixel(std::clamp(x + dx, 0, w - 1), std::clamp(y + dy, 0, h - 1));
            double worst = 0;
            for (int k = 0; k < 24; k += 8) {
                int block = 0;
                for (int j = 0; j < 4; ++j) block += (big.Pixel(2 * x + j % 2, 2 * y + j / 2) >> k) & 0xFF;
                worst = std::max(worst, std::fabs(block / 4.0 - ((want >> k) & 0xFF)));
            }
            sum += worst;
        }
    return sum / (w * h);
}

// The 1x picture against itself moved by (dx, dy): how much such a move shows.
double Moved(const CBitmap& bmp, int dx, int dy) {
    CBitmap big;
    big.Create(2 * bmp.Width(), 2 * bmp.Height());
    for (int y = 0; y < big.Height(); ++y)
        for (int x = 0; x < big.Width(); ++x) big.SetPixel(x, y, bmp.Pixel(x / 2, y / 2));
    return Mismatch(big, bmp, dx, dy);
}

TEST(Art2x, EveryBitmapIsDrawnAgainAtTwiceItsSizeInItsOwnFormat) {
    // Text, reliefs and textures drawn anew differ from the 1x pixels at their edges; a
    // picture moved by one pixel or another picture differs far more.
    constexpr double kMaxMismatch = 8, kCloser = 0.7;
    const CBitmap bg = Decode(150, 2);
    std::vector<CBitmap> all;
    for (const Art& a : kArt) all.push_back(Decode(a.id, 1));
    for (const Art& a : kArt) {
        SCOPED_TRACE(a.id);
        const ResourceBytes r1 = FindEmbeddedResource(a.id, 1), r2 = FindEmbeddedResource(a.id, 2);
        ASSERT_EQ(r1.data, FindEmbeddedResource(a.id).data);
        ASSERT_GE(r2.size, 54u);
        // The same bits per pixel and palette, byte for byte.
        EXPECT_EQ(U16(r2.data + 28), U16(r1.data + 28));
        ASSERT_EQ(U32(r2.data + 10), U32(r1.data + 10));
        EXPECT_TRUE(std::equal(r1.data + 54, r1.data + U32(r1.data + 10), r2.data + 54));

        const CBitmap small = Decode(a.id, 1), big = Decode(a.id, 2);
        ASSERT_EQ(big.Width(), 2 * small.Width());
        ASSERT_EQ(big.Height(), 2 * small.Height());
        EXPECT_EQ(big.IsMono(), small.IsMono());
        const double own = Mismatch(big, small);
        EXPECT_LE(own, kMaxMismatch);
        for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
            if (Moved(small, dx, dy) > 1) {
                EXPECT_LT(own, kCloser * Mismatch(big, small, dx, dy)) << dx << "," << dy;
            }
        for (size_t i = 0; i < all.size(); ++i)
            if (kArt[i].id != a.id && all[i].Width() == small.Width() && all[i].Height() == small.Height()) {
                EXPECT_LT(own, kCloser * Mismatch(big, all[i])) << "closer to " << kArt[i].id;
            }
        // The key mask enlarged; an opaque sprite's outer window pixel (two device pixels)
        // is the 2x background's at twice its place.
        int unlike = 0;
        for (int y = 0; y < big.Height(); ++y)
            for (int x = 0; x < big.Width(); ++x) {
                const bool rim = x < 2 || y < 2 || x >= big.Width() - 2 || y >= big.Height() - 2;
                if (a.mask < 0) unlike += big.Pixel(x, y) != small.Pixel(x / 2, y / 2);
                if (a.x >= 0 && rim) unlike += big.Pixel(x, y) != bg.Pixel(2 * a.x + x, 2 * a.y + y);
            }
        EXPECT_EQ(unlike, 0);
        // SRCAND with the mask, then SRCPAINT with the sprite: the sprite must be black
        // wherever the mask keeps the background, at both scales.
        if (a.mask > 0)
            for (int scale : {1, 2}) {
                const CBitmap mask = Decode(a.mask, scale);
                const CBitmap& sprite = scale == 1 ? small : big;
                int kept = 0, stray = 0;
                for (int y = 0; y < sprite.Height(); ++y)
                    for (int x = 0; x < sprite.Width(); ++x)
                        if (mask.Pixel(x, y) != 0) {
                            ++kept;
                            stray += sprite.Pixel(x, y) != 0;
                        }
                EXPECT_GT(kept, 0);
                EXPECT_EQ(stray, 0) << "at " << scale << "x";
            }
    }
}

TEST(Art2x, TheIconHasTwiceTheSidesAndNothingElseHasA2xVersion) {
    const ResourceBytes i1 = FindEmbeddedResource(128, 1), i2 = FindEmbeddedResource(128, 2);
    ASSERT_GE(i2.size, 6u + 3 * 16u);
    ASSERT_EQ(U16(i2.data + 4), U16(i1.data + 4));
    for (uint32_t i = 0; i < U16(i1.data + 4); ++i) {
        const uint8_t *e1 = i1.data + 6 + 16 * i, *e2 = i2.data + 6 + 16 * i;
        EXPECT_EQ(e2[0], 2 * e1[0]);
        EXPECT_EQ(e2[1], 2 * e1[1]);
        EXPECT_EQ(U16(e2 + 6), U16(e1 + 6));  // bits per pixel
    }
    std::vector<uint32_t> argb;
    EXPECT_TRUE(DecodeIcon(i2.data, i2.size, 64, argb));

    for (int id : {170, 171, 172, 173, 179, 207}) EXPECT_EQ(FindEmbeddedResource(id, 2).size, 0u) << id;
    for (int scale : {-1, 0, 3, 4}) EXPECT_EQ(FindEmbeddedResource(150, scale).size, 0u) << scale;
}

}  // namespace
}  // namespace clavora::test
