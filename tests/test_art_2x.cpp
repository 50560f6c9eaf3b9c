// The art drawn at two device pixels per window pixel: every bitmap has a picture of
// twice the width and height in the same format, which, reduced 2:1, matches its own 1x
// picture closely, and better than that picture moved by one pixel or any other picture
// of its size; masks keep their sprites black wherever the background stays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/common/Icon.h"
#include "platform/gdi/Gdi.h"
#include "platform/resources/Resources.h"

namespace clavora::test {
namespace {

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

struct Art {
    int id;
    int mask;    // the mask drawn with it (SRCAND before it), or 0
    bool exact;  // a mask cut on window pixels: at 2x it is the 1x mask enlarged
};

const Art kArt[] = {
    {150, 0, false}, {210, 0, false}, {212, 0, false}, {166, 167, false}, {203, 167, false},
    {167, 0, false}, {169, 168, false}, {202, 168, false}, {168, 0, false}, {180, 181, false},
    {204, 181, false}, {206, 181, false}, {205, 181, false}, {181, 0, true}, {200, 0, false},
    {209, 0, false}, {213, 0, false}, {214, 0, false}, {215, 0, false}, {218, 0, false},
    {216, 0, false}, {217, 0, false}, {219, 0, false}, {220, 0, false}, {211, 0, false},
    {221, 0, false}, {222, 0, false},
};

CBitmap Decode(int id, int scale) {
    CBitmap bmp;
    const ResourceBytes r = FindEmbeddedResource(id, scale);
    EXPECT_TRUE(DecodeBmp(r.data, r.size, bmp)) << id << " at " << scale << "x";
    return bmp;
}

int Channel(uint32_t c, int k) { return (c >> (8 * k)) & 0xFF; }

// The mean, over the 1x pixels, of the largest channel difference between the 2x
// picture's 2 x 2 block averaged and the 1x picture's pixel moved by (dx, dy).
double Mismatch(const CBitmap& big, const CBitmap& small, int dx = 0, int dy = 0) {
    const int w = small.Width(), h = small.Height();
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t want = small.Pixel(std::clamp(x + dx, 0, w - 1), std::clamp(y + dy, 0, h - 1));
            double worst = 0;
            for (int k = 0; k < 3; ++k) {
                const double mean = (Channel(big.Pixel(2 * x, 2 * y), k) + Channel(big.Pixel(2 * x + 1, 2 * y), k) +
                                     Channel(big.Pixel(2 * x, 2 * y + 1), k) + Channel(big.Pixel(2 * x + 1, 2 * y + 1), k)) / 4.0;
                worst = std::max(worst, std::fabs(mean - Channel(want, k)));
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
    std::vector<CBitmap> all;
    for (const Art& a : kArt) all.push_back(Decode(a.id, 1));
    for (const Art& a : kArt) {
        SCOPED_TRACE(a.id);
        const ResourceBytes r1 = FindEmbeddedResource(a.id, 1), r2 = FindEmbeddedResource(a.id, 2);
        ASSERT_EQ(r1.data, FindEmbeddedResource(a.id).data);
        ASSERT_GE(r2.size, 54u);
        // Same header but for the sizes; the same palette, byte for byte.
        EXPECT_EQ(U32(r2.data + 18), 2 * U32(r1.data + 18));
        EXPECT_EQ(U32(r2.data + 22), 2 * U32(r1.data + 22));
        EXPECT_EQ(U16(r2.data + 28), U16(r1.data + 28));
        EXPECT_EQ(U32(r2.data + 30), 0u);
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
        int unlike = 0;
        for (int y = 0; a.exact && y < big.Height(); ++y)
            for (int x = 0; x < big.Width(); ++x) unlike += big.Pixel(x, y) != small.Pixel(x / 2, y / 2);
        EXPECT_EQ(unlike, 0);
        // SRCAND with the mask, then SRCPAINT with the sprite: the sprite must be black
        // wherever the mask keeps the background, at both scales.
        if (a.mask)
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

TEST(Art2x, OpaqueSpritesMatchThe2xBackgroundAlongTheirBorderAtTwiceTheirPlace) {
    const CBitmap bg = Decode(150, 2);
    const struct {
        int id, x, y;
    } kPlaces[] = {{209, 14, 372},  {213, 82, 385},  {214, 160, 372}, {215, 776, 385},
                   {218, 720, 403}, {219, 720, 403}, {216, 737, 403}, {217, 754, 403},
                   {220, 754, 403}, {221, 774, 405}, {222, 774, 405}};
    for (const auto& p : kPlaces) {
        SCOPED_TRACE(p.id);
        const CBitmap s = Decode(p.id, 2);
        int differ = 0;
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < s.Width(); ++x) {
                // The outer window pixel of the sprite: two device pixels wide.
                const bool border = x < 2 || y < 2 || x >= s.Width() - 2 || y >= s.Height() - 2;
                differ += border && s.Pixel(x, y) != bg.Pixel(2 * p.x + x, 2 * p.y + y);
            }
        EXPECT_EQ(differ, 0);
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
    std::vector<uint32_t> small, big;
    ASSERT_TRUE(DecodeIcon(i1.data, i1.size, 32, small));
    ASSERT_TRUE(DecodeIcon(i2.data, i2.size, 64, big));
    // The same notes: the opaque pixels of the 1x icon and of 2 x 2 blocks agree.
    int differ = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int opaque = 0;
            for (int k = 0; k < 4; ++k) opaque += (big[size_t(2 * y + k / 2) * 64 + 2 * x + k % 2] >> 24) >= 128;
            differ += (opaque >= 2) != ((small[size_t(y) * 32 + x] >> 24) >= 128);
        }
    EXPECT_LT(differ, 32 * 32 / 20);

    for (int id : {170, 171, 172, 173, 179, 207}) EXPECT_EQ(FindEmbeddedResource(id, 2).size, 0u) << id;
    for (int scale : {-1, 0, 3, 4}) EXPECT_EQ(FindEmbeddedResource(150, scale).size, 0u) << scale;
}

}  // namespace
}  // namespace clavora::test
