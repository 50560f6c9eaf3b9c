// The window at a device scale: the rule that picks the scale, and frames composed at
// 2x against the same frames at 1x.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "game/Game.h"
#include "platform/window/FrameImage.h"
#include "platform/window/ScaleRule.h"
#include "raster/DeviceScale.h"

namespace clavora::test {

namespace {

TEST(ScaleRule, DesktopDpiEnvironmentAndScreenSize) {
    struct Case {
        const char* what;
        ScaleClues clues;
        int scale;
    };
    const auto dpi = [](int d, int w = 0, int h = 0) {
        ScaleClues c;
        c.xftDpi = d;
        c.usableWidth = w;
        c.usableHeight = h;
        return c;
    };
    const auto with = [](ScaleClues c, const char* clavora, const char* gdk) {
        c.clavoraScale = clavora;
        c.gdkScale = gdk;
        return c;
    };
    ScaleClues wayland;
    wayland.outputScale = 2;
    wayland.unitsPerPixel = 0.5;
    wayland.usableWidth = 1280;
    wayland.usableHeight = 720;
    const Case cases[] = {
        {"nothing said", {}, 1},
        {"96 dpi", dpi(96), 1},
        {"120 dpi (125 %) rounds down", dpi(120), 1},
        {"144 dpi (150 %) rounds up", dpi(144), 2},
        {"192 dpi", dpi(192), 2},
        {"288 dpi", dpi(288), 3},
        {"384 dpi: at most 3", dpi(384), 3},
        {"192 dpi on a 1366 x 768 work area", dpi(192, 1366, 768), 1},
        {"192 dpi on a 1600 x 1040 work area", dpi(192, 1600, 1040), 2},
        {"288 dpi on a 1920 x 1080 work area", dpi(288, 1920, 1080), 2},
        {"GDK_SCALE=2 over 96 dpi", with(dpi(96), "", "2"), 2},
        {"GDK_SCALE not a number", with(dpi(192), "", "two"), 2},
        {"CLAVORA_SCALE=1 over 192 dpi", with(dpi(192), "1", "2"), 1},
        {"CLAVORA_SCALE=3", with(dpi(96), "3", ""), 3},
        {"CLAVORA_SCALE=1.6", with({}, "1.6", ""), 2},
        {"CLAVORA_SCALE=0 is not a scale", with(dpi(192), "0", ""), 2},
        {"CLAVORA_SCALE=3 lowered to fit 1920 x 1080", with(dpi(96, 1920, 1080), "3", ""), 2},
        {"Wayland output at 2, work area in its units", wayland, 2},
        {"Wayland output at 2 with CLAVORA_SCALE=1", with(wayland, "1", ""), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseScale(c.clues), c.scale) << c.what;

    EXPECT_EQ(XftDpiOf("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192);
    EXPECT_EQ(XftDpiOf("Xft.dpi:\t143.9\n"), 144);
    EXPECT_EQ(XftDpiOf("Xcursor.size:\t24\n"), 0);
    EXPECT_EQ(XftDpiOf(nullptr), 0);
}

using Frames = std::vector<std::vector<uint32_t>>;

struct Composed {
    Frames frames;
    std::vector<uint32_t> background;  // the background bitmap's device pixels
};

// A script of states, each shown for some frames, with the real art: keys alone and
// side by side, every light lit, a game in each mode with notes sliding.
Composed Compose(int scale, bool forgetEachFrame) {
    SetDeviceScale(scale);
    Composed out;
    Frames& shown = out.frames;
    {
        TempDir dir;
        FakePlatform platform;
        LoadBestRecords();
        CPianoDlg d(platform);
        g_pMainDlg = &d;
        const auto frames = [&](int n) {
            for (int i = 0; i < n; ++i) {
                // Copies made again everywhere: what the window gets then is the whole truth.
                if (forgetEachFrame && !d.m_bmpBack.IsNull())
                    d.m_bmpBack.SetPixel(0, 0, d.m_bmpBack.Pixel(0, 0));
                d.OnTimer();
            }
            shown.push_back(platform.frame);
        };
        const std::function<void()> steps[] = {
            [&] { frames(1); },
            [&] {
                for (int k : {0, 1, 2, 3, 27, 28, 29, 39, 40, 60, 86, 87}) d.m_nKeyState[k] = KEY_HELD;
                frames(1);
            },
            [&] {
                d.m_nKeyState[28] = d.m_nKeyState[87] = 0;
                d.m_nPreset = 7;
                d.m_nProgram = 127;
                d.m_nSlot = 7;
                d.m_nFlashMarker = d.m_nFlashProgUp = d.m_nFlashSlotDown = d.m_nFlashStop = 5;
                frames(2);
            },
            [&] {
                d.SetGameMode(MODE_PIANO);
                for (int i = 0; i < QUIZ_NOTES; ++i) d.m_nQuizKeys[i] = static_cast<int16_t>(10 + 3 * (i % 25));
                d.m_nQuestion = 2;
                d.m_nScroll = 75;
                frames(3);
            },
            [&] {
                d.SetGameMode(MODE_LETTER);
                d.m_nMiddleCClef = 1;
                d.m_nQuestion = 12;
                d.m_nMistakes = 7;
                frames(2);
            },
            [&] { frames(40); },
        };
        for (const auto& step : steps) step();
        const CBitmap* bg = d.m_hbmBackground;
        out.background.assign(bg->Bits(), bg->Bits() + static_cast<size_t>(bg->DeviceWidth()) * bg->DeviceHeight());
        g_pMainDlg = nullptr;
    }
    SetDeviceScale(1);
    ForgetArtScales();
    return out;
}

int Channel(uint32_t c, int k) { return static_cast<int>((c >> (8 * k)) & 0xFF); }

constexpr int kTile = 8;

// For each 8 x 8 tile of the 1x picture, the mean of the largest channel difference
// between each 1x pixel and the 2 x 2 device pixels of the 2x picture averaged.
std::vector<double> TileMismatch(const std::vector<uint32_t>& small, const std::vector<uint32_t>& big) {
    const int bigW = 2 * kFrameWidth;
    std::vector<double> tiles;
    for (int ty = 0; ty < kFrameHeight; ty += kTile)
        for (int tx = 0; tx < kFrameWidth; tx += kTile) {
            double sum = 0;
            for (int y = ty; y < ty + kTile; ++y)
                for (int x = tx; x < tx + kTile; ++x) {
                    const size_t b = static_cast<size_t>(2 * y) * bigW + 2 * x;
                    int diff = 0;
                    for (int k = 0; k < 3; ++k) {
                        const int mean = (Channel(big[b], k) + Channel(big[b + 1], k) + Channel(big[b + bigW], k) +
                                          Channel(big[b + bigW + 1], k) + 2) / 4;
                        diff = std::max(diff, std::abs(mean - Channel(small[static_cast<size_t>(y) * kFrameWidth + x], k)));
                    }
                    sum += diff;
                }
            tiles.push_back(sum / (kTile * kTile));
        }
    return tiles;
}

// The 2x art is drawn anew, not enlarged: text and ornaments differ from the 1x art a
// little everywhere. What a frame adds to the background (sprites, at their places)
// must add no more difference than this, in any 8 x 8 tile.
constexpr double kTolerance = 12;
// Clicks land where the picture is drawn: at the window's scale from its top left corner,
// whatever size a window manager gave the window, and nowhere outside the picture.
TEST(ScaleRule, AClickMapsByTheScaleAndOutsideThePictureIsNone) {
    struct Case {
        const char* what;
        int ux, uy, pixelsPerUnit, scale;
        bool inside;
        int x, y;
    };
    const Case cases[] = {
        {"1x", 360, 480, 1, 1, true, 360, 480},
        {"1x, last pixel", 799, 519, 1, 1, true, 799, 519},
        {"1x, right of the picture", 800, 100, 1, 1, false, 0, 0},
        {"1x, below the picture", 100, 520, 1, 1, false, 0, 0},
        {"X11 at 200 %", 721, 961, 1, 2, true, 360, 480},
        {"X11 at 200 %, right of the picture", 1600, 10, 1, 2, false, 0, 0},
        {"Wayland at output scale 2", 360, 480, 2, 2, true, 360, 480},
        {"Wayland at output scale 2, outside", 800, 10, 2, 2, false, 0, 0},
        {"X11 at 300 %", 1079, 1442, 1, 3, true, 359, 480},
        {"negative", -1, 5, 1, 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        int x = -7, y = -7;
        EXPECT_EQ(FramePoint(c.ux, c.uy, c.pixelsPerUnit, c.scale, x, y), c.inside) << c.what;
        if (c.inside) {
            EXPECT_EQ(std::pair(x, y), std::pair(c.x, c.y)) << c.what;
        }
    }
}

// The damage in device pixels: each rectangle scaled and kept within the frame.
TEST(ScaleRule, DamageBecomesDevicePixelsWithinTheFrame) {
    const std::vector<uint32_t> pixels(1600 * 1040);
    const GdiRect damage[] = {{10, 20, 30, 40}, {790, 510, 20, 20}, {900, 0, 5, 5}};
    const Frame frame{pixels.data(), 1600, 1040, 2, damage, 3};
    std::vector<GdiRect> out;
    DeviceRects(frame, false, out);
    EXPECT_EQ(out, (std::vector<GdiRect>{{20, 40, 60, 80}, {1580, 1020, 20, 20}}));
    out.clear();
    DeviceRects(frame, true, out);
    EXPECT_EQ(out, (std::vector<GdiRect>{{0, 0, 1600, 1040}}));
}

TEST(ScaledFrames, EachFrameAt2xReducedMatchesItsFrameAt1x) {
    const Composed one = Compose(1, false);
    const Composed two = Compose(2, false);
    const Composed twoWhole = Compose(2, true);
    ASSERT_EQ(one.frames.size(), two.frames.size());
    ASSERT_EQ(two.frames.size(), twoWhole.frames.size());
    const std::vector<double> art = TileMismatch(one.background, two.background);
    for (size_t i = 0; i < one.frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_EQ(one.frames[i].size(), static_cast<size_t>(kFrameWidth) * kFrameHeight);
        ASSERT_EQ(two.frames[i].size(), 4 * one.frames[i].size());
        // Copies made only where they change something give the frame made in full.
        EXPECT_TRUE(two.frames[i] == twoWhole.frames[i]);
        const std::vector<double> tiles = TileMismatch(one.frames[i], two.frames[i]);
        double worst = 0;
        size_t at = 0;
        for (size_t t = 0; t < tiles.size(); ++t) {
            if (tiles[t] - art[t] > worst) {
                worst = tiles[t] - art[t];
                at = t;
            }
        }
        EXPECT_LT(worst, kTolerance) << "in the tile at " << at % (kFrameWidth / kTile) * kTile << ","
                                     << at / (kFrameWidth / kTile) * kTile;
    }
}

}  // namespace

}  // namespace clavora::test
