// The program icon taken out of an icon resource for the window system.
#include <gtest/gtest.h>

#include <vector>

#include "support/LittleEndianWriter.h"
#include "platform/window/Icon.h"

namespace clavora {
namespace {

using test::Put16;
using test::Put32;

// A picture to store: colour index or 0xRRGGBB per pixel, plus transparency.
struct Image {
    int side = 32;
    int bits = 8;
    std::vector<uint32_t> palette;       // 0xRRGGBB
    std::vector<uint32_t> pixel;         // index (bits <= 8) or 0xAARRGGBB, top row first
    std::vector<bool> transparent;       // top row first
};

std::vector<uint8_t> Dib(const Image& im) {
    std::vector<uint8_t> d;
    Put32(d, 40);
    Put32(d, im.side);
    Put32(d, 2 * im.side);
    Put16(d, 1);
    Put16(d, im.bits);
    for (int i = 0; i < 6; ++i) Put32(d, 0);
    for (uint32_t c : im.palette) Put32(d, c & 0xFFFFFF);  // B, G, R, 0
    const size_t row = ((im.side * im.bits + 31) / 32) * 4;
    for (int y = im.side - 1; y >= 0; --y) {  // bottom-up
        std::vector<uint8_t> r(row, 0);
        for (int x = 0; x < im.side; ++x) {
            const uint32_t p = im.pixel[y * im.side + x];
            if (im.bits == 32) {
                for (int k = 0; k < 4; ++k) r[4 * x + k] = (p >> (8 * k)) & 0xFF;
            } else if (im.bits == 24) {
                for (int k = 0; k < 3; ++k) r[3 * x + k] = (p >> (8 * k)) & 0xFF;
            } else {
                const size_t bit = static_cast<size_t>(x) * im.bits;
                r[bit / 8] |= static_cast<uint8_t>(p << (8 - im.bits - bit % 8));
            }
        }
        d.insert(d.end(), r.begin(), r.end());
    }
    const size_t maskRow = ((im.side + 31) / 32) * 4;
    for (int y = im.side - 1; y >= 0; --y) {
        std::vector<uint8_t> r(maskRow, 0);
        for (int x = 0; x < im.side; ++x)
            if (im.transparent[y * im.side + x]) r[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        d.insert(d.end(), r.begin(), r.end());
    }
    return d;
}

std::vector<uint8_t> Ico(const std::vector<Image>& images) {
    std::vector<std::vector<uint8_t>> dibs;
    for (const Image& im : images) dibs.push_back(Dib(im));
    std::vector<uint8_t> f;
    Put16(f, 0);
    Put16(f, 1);
    Put16(f, static_cast<uint32_t>(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        f.push_back(static_cast<uint8_t>(images[i].side));
        f.push_back(static_cast<uint8_t>(images[i].side));
        f.push_back(0);  // colour count left zero, as many writers do
        f.push_back(0);
        Put16(f, 1);
        Put16(f, 0);  // bit count left zero too: the image header tells
        Put32(f, static_cast<uint32_t>(dibs[i].size()));
        Put32(f, static_cast<uint32_t>(offset));
        offset += dibs[i].size();
    }
    for (const auto& d : dibs) f.insert(f.end(), d.begin(), d.end());
    return f;
}

// A paletted image: the top-left quarter uses colour 1, the rest colour 2, and the
// bottom row is transparent.
Image Paletted(int side, int bits, uint32_t c1, uint32_t c2) {
    Image im;
    im.side = side;
    im.bits = bits;
    im.palette.assign(1u << bits, 0);
    im.palette[1] = c1;
    im.palette[2] = c2;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            im.pixel.push_back(x < side / 2 && y < side / 2 ? 1 : 2);
            im.transparent.push_back(y == side - 1);
        }
    return im;
}

TEST(PlatformIcon, TakesTheRichest32x32ImageTopRowFirst) {
    const auto file = Ico({Paletted(16, 4, 0x111111, 0x222222),
                           Paletted(32, 4, 0x333333, 0x444444),
                           Paletted(32, 8, 0xFF0000, 0x00FF80)});
    std::vector<uint32_t> argb;
    ASSERT_TRUE(DecodeIcon(file.data(), file.size(), 32, argb));
    ASSERT_EQ(argb.size(), 32u * 32u);
    EXPECT_EQ(argb[0], 0xFFFF0000u);                 // top left: colour 1, opaque
    EXPECT_EQ(argb[31], 0xFF00FF80u);                // top right: colour 2
    EXPECT_EQ(argb[15 * 32 + 15], 0xFFFF0000u);
    EXPECT_EQ(argb[16 * 32 + 15], 0xFF00FF80u);
    EXPECT_EQ(argb[31 * 32 + 0], 0x00000000u);       // the bottom row is see-through
    EXPECT_EQ(argb[30 * 32 + 0], 0xFF00FF80u);

    // The 16-colour image when it is the only one of that size.
    const auto small = Ico({Paletted(32, 4, 0x333333, 0x444444)});
    ASSERT_TRUE(DecodeIcon(small.data(), small.size(), 32, argb));
    EXPECT_EQ(argb[0], 0xFF333333u);
    EXPECT_EQ(argb[32 * 32 - 33], 0xFF444444u);
    ASSERT_TRUE(DecodeIcon(file.data(), file.size(), 16, argb));
    EXPECT_EQ(argb.size(), 16u * 16u);
    EXPECT_EQ(argb[0], 0xFF111111u);
}

TEST(PlatformIcon, ThirtyTwoBitImagesUseTheirAlphaWhenTheyHaveOne) {
    Image im;
    im.bits = 32;
    for (int i = 0; i < 32 * 32; ++i) {
        im.pixel.push_back(i == 0 ? 0x80102030u : 0xFF405060u);
        im.transparent.push_back(i == 1);  // the mask says otherwise; alpha wins
    }
    auto file = Ico({im});
    std::vector<uint32_t> argb;
    ASSERT_TRUE(DecodeIcon(file.data(), file.size(), 32, argb));
    EXPECT_EQ(argb[0], 0x80102030u);
    EXPECT_EQ(argb[1], 0xFF405060u);

    // Without any alpha the mask decides.
    for (uint32_t& p : im.pixel) p &= 0x00FFFFFF;
    file = Ico({im});
    ASSERT_TRUE(DecodeIcon(file.data(), file.size(), 32, argb));
    EXPECT_EQ(argb[0], 0xFF102030u);
    EXPECT_EQ(argb[1], 0x00000000u);

    im.bits = 24;
    file = Ico({im});
    ASSERT_TRUE(DecodeIcon(file.data(), file.size(), 32, argb));
    EXPECT_EQ(argb[2], 0xFF405060u);
    EXPECT_EQ(argb[1], 0x00000000u);
}

TEST(PlatformIcon, RefusesMissingSizesAndDamagedFiles) {
    const auto file = Ico({Paletted(32, 4, 0x333333, 0x444444)});
    std::vector<uint32_t> argb;
    EXPECT_FALSE(DecodeIcon(file.data(), file.size(), 48, argb));
    EXPECT_FALSE(DecodeIcon(file.data(), file.size() - 1, 32, argb));  // mask cut short
    EXPECT_FALSE(DecodeIcon(file.data(), 20, 32, argb));
    EXPECT_FALSE(DecodeIcon(nullptr, 0, 32, argb));

    auto bad = file;
    bad[2] = 2;  // a cursor file, not an icon
    EXPECT_FALSE(DecodeIcon(bad.data(), bad.size(), 32, argb));
    bad = file;
    bad[22 + 16] = 1;  // compressed (RLE) image
    EXPECT_FALSE(DecodeIcon(bad.data(), bad.size(), 32, argb));
    bad = file;
    bad[18] = 0xFF;  // image offset far past the end
    bad[19] = 0xFF;
    EXPECT_FALSE(DecodeIcon(bad.data(), bad.size(), 32, argb));
}

}  // namespace
}  // namespace clavora
