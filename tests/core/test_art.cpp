// The art against the places the frames draw it: sprites that replace a piece of the
// background must match it at their edges, masked sprites must leave everything around
// them alone, and the background must put the staff, keys and buttons where the
// frames and the mouse expect them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "piano/Keys.h"
#include "raster/Gdi.h"
#include "platform/resources/Resources.h"

namespace clavora::test {
namespace {

std::unique_ptr<CBitmap> Load(int id) {
    auto bmp = std::make_unique<CBitmap>();
    const ResourceBytes r = FindEmbeddedResource(id);
    EXPECT_TRUE(DecodeBmp(r.data, r.size, *bmp)) << "bitmap " << id;
    return bmp;
}

// A copy of the background to draw on, with the program's own bit-block transfers.
class Canvas {
public:
    Canvas() : background_(Load(150)), picture_(800, 520) { Reset(); }
    void Reset() {
        for (int y = 0; y < 520; ++y)
            for (int x = 0; x < 800; ++x) picture_.SetPixel(x, y, background_->Pixel(x, y));
    }
    void Draw(const CBitmap& sprite, int x, int y, uint32_t rop, int sx = 0, int sy = 0, int w = -1, int h = -1) {
        CDC dst, src;
        dst.SelectObject(&picture_);
        src.SelectObject(const_cast<CBitmap*>(&sprite));
        dst.BitBlt(x, y, w < 0 ? sprite.Width() : w, h < 0 ? sprite.Height() : h, &src, sx, sy, rop);
    }
    uint32_t At(int x, int y) const { return picture_.Pixel(x, y); }
    uint32_t Bg(int x, int y) const { return background_->Pixel(x, y); }

private:
    std::unique_ptr<CBitmap> background_;
    CBitmap picture_;
};

int R(uint32_t c) { return (c >> 16) & 0xFF; }
int G(uint32_t c) { return (c >> 8) & 0xFF; }
int B(uint32_t c) { return c & 0xFF; }
int Sum(uint32_t c) { return R(c) + G(c) + B(c); }

struct Place {
    int x, y;
};

// Where each 16 x 12 sprite is drawn.
std::vector<Place> PresetAndModePlaces() {
    std::vector<Place> p;
    for (int i = 0; i < 5; ++i) {
        p.push_back({14 + 17 * i, 372});
        p.push_back({14 + 17 * i, 385});
    }
    for (int y : {370, 383, 396}) p.push_back({193, y});
    return p;
}

struct SpritePlaces {
    int id;
    std::vector<Place> places;
};

std::vector<SpritePlaces> ButtonSprites() {
    return {{209, PresetAndModePlaces()},         {213, PresetAndModePlaces()},
            {214, {{160, 372}, {776, 372}}},      {215, {{160, 385}, {776, 385}}},
            {218, {{720, 403}}},                  {219, {{720, 403}}},
            {216, {{737, 403}}},                  {217, {{754, 403}}},
            {220, {{754, 403}}},                  {221, {{774, 405}}},
            {222, {{774, 405}}}};
}

TEST(Art, OpaqueSpritesMatchTheBackgroundAlongTheirBorder) {
    Canvas canvas;
    for (const SpritePlaces& s : ButtonSprites()) {
        const auto sprite = Load(s.id);
        const int w = sprite->Width(), h = sprite->Height();
        for (const Place& at : s.places) {
            SCOPED_TRACE(testing::Message() << "sprite " << s.id << " at " << at.x << "," << at.y);
            canvas.Reset();
            canvas.Draw(*sprite, at.x, at.y, SRCCOPY);
            int changed = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                    const bool same = canvas.At(at.x + x, at.y + y) == canvas.Bg(at.x + x, at.y + y);
                    if (border) {
                        EXPECT_TRUE(same) << "border pixel " << x << "," << y;
                    }
                    changed += !same;
                }
            // The lit looks differ from the background's rest, except the unlit slot light.
            if (s.id != 222) {
                EXPECT_GT(changed, 4);
            }
        }
    }
}

// Left column of every key, from the key tables: white keys 12 px apart from x 79,
// black keys at their offset from the next white key's edge.
std::vector<int> KeyColumns() {
    std::vector<int> x(kKeyCount);
    int whites = 0;
    for (int k = 0; k < kKeyCount; ++k) {
        if (IsBlackKey(k)) {
            x[k] = 79 + 12 * whites + (k == 1 ? -4 : g_nBlackKeyOffset[(k - 3) % 12]);
        } else {
            x[k] = 79 + 12 * whites++;
        }
    }
    return x;
}

TEST(Art, BackgroundKeyboardHasEveryKeyInItsPlace) {
    const auto x = KeyColumns();
    EXPECT_EQ(x[1], 87);    // A#0
    EXPECT_EQ(x[4], 110);   // C#1
    EXPECT_EQ(x[85], 677);  // A#7
    Canvas bg;
    for (int k = 0; k < kKeyCount; ++k) {
        SCOPED_TRACE(k);
        if (IsBlackKey(k)) {
            for (int y = 420; y <= 465; ++y)
                for (int c = 0; c < 8; ++c) ASSERT_LT(Sum(bg.Bg(x[k] + c, y)), 3 * 100) << c << "," << y;
            // White key faces right beside it, and under it.
            EXPECT_GT(Sum(bg.Bg(x[k] - 1, 440)), 3 * 180);
            EXPECT_GT(Sum(bg.Bg(x[k] + 8, 440)), 3 * 180);
            EXPECT_GT(Sum(bg.Bg(x[k], 470)), 3 * 180);
            EXPECT_GT(Sum(bg.Bg(x[k] + 7, 470)), 3 * 180);
        } else {
            EXPECT_GT(Sum(bg.Bg(x[k] + 5, 480)), 3 * 200);
            EXPECT_GT(Sum(bg.Bg(x[k] + 5, 498)), 3 * 120);
        }
    }
    for (int c = 79; c <= 702; ++c) ASSERT_EQ(bg.Bg(c, 499), 0u) << c;
    EXPECT_NE(bg.Bg(78, 480), bg.Bg(79, 480));
}

TEST(Art, PressedWhiteKeysNeverPaintOverABlackKey) {
    const auto x = KeyColumns();
    const auto mask = Load(181);
    Canvas canvas;
    for (int sheetId : {180, 204, 206, 205}) {
        const auto sheet = Load(sheetId);
        for (int outline = 0; outline < 10; ++outline) {
            SCOPED_TRACE(testing::Message() << "sheet " << sheetId << ", outline " << outline);
            // Every key of this outline, so each of its neighbours is looked at.
            for (int k = 0; k < kKeyCount; ++k) {
                if (g_nKeyShape[k] != outline) continue;
                canvas.Reset();
                canvas.Draw(*mask, x[k], 420, SRCAND, 12 * outline, 0, 12, 79);
                canvas.Draw(*sheet, x[k], 420, SRCPAINT, 12 * outline, 0, 12, 79);
                for (int n : {k - 1, k + 1}) {
                    if (n < 0 || n >= kKeyCount || !IsBlackKey(n)) continue;
                    for (int y = 420; y <= 465; ++y)
                        for (int c = 0; c < 8; ++c)
                            ASSERT_EQ(canvas.At(x[n] + c, y), canvas.Bg(x[n] + c, y))
                                << "black key " << n << " at " << c << "," << y;
                }
                // The pressed key shows: its face differs from the key at rest.
                EXPECT_NE(canvas.At(x[k] + 5, 480), canvas.Bg(x[k] + 5, 480));
                EXPECT_GT(Sum(canvas.At(x[k] + 5, 480)), 3 * 120);
            }
        }
    }
}

TEST(Art, KeySheetsFollowTheOutlinesOfTheWhiteKeys) {
    const int first[10] = {0, 4, 0, 3, 5, 0, 2, 4, 6, 0};
    const int last[10] = {7, 11, 6, 8, 11, 5, 7, 9, 11, 11};
    const auto mask = Load(181);
    for (int sheetId : {180, 204, 206, 205}) {
        const auto sheet = Load(sheetId);
        for (int o = 0; o < 10; ++o)
            for (int y = 0; y < 79; ++y)
                for (int c = 0; c < 12; ++c) {
                    const bool key = y >= 46 || (c >= first[o] && c <= last[o]);
                    ASSERT_EQ(mask->Pixel(12 * o + c, y), key ? 0u : 0xFFFFFFu) << o << ":" << c << "," << y;
                    const bool dark = sheet->Pixel(12 * o + c, y) == 0;
                    ASSERT_EQ(dark, !key) << sheetId << " " << o << ":" << c << "," << y;
                }
    }
}

TEST(Art, KeySheetsShadeOnlyTowardTheEdgesWhoseNeighbourIsUp) {
    const auto both = Load(180), left = Load(204), right = Load(206), alone = Load(205);
    // Outline 9 (a full-width key), lower half: compare the edge columns with the
    // middle, where no shading reaches.
    const int y = 60, o = 9;
    const auto px = [&](const CBitmap& s, int c) { return Sum(s.Pixel(12 * o + c, y)); };
    // Joined on both sides: no darkening toward either edge.
    EXPECT_GE(px(*both, 1), px(*both, 6) - 6);
    EXPECT_GE(px(*both, 10), px(*both, 6) - 6);
    // Joined left: shadow on the right only; joined right: on the left only.
    EXPECT_GE(px(*left, 1), px(*left, 6) - 6);
    EXPECT_LT(px(*left, 10), px(*left, 6) - 30);
    EXPECT_LT(px(*right, 1), px(*right, 6) - 30);
    EXPECT_GE(px(*right, 10), px(*right, 6) - 6);
    // Alone: both edges darker, and the middles all alike.
    EXPECT_LT(px(*alone, 1), px(*alone, 6) - 30);
    EXPECT_LT(px(*alone, 10), px(*alone, 6) - 30);
    EXPECT_EQ(px(*alone, 5), px(*both, 5));
    EXPECT_EQ(px(*alone, 6), px(*both, 6));
}

TEST(Art, MaskedNotesLeaveEveryPixelAroundThemUnchanged) {
    Canvas canvas;
    struct Pair {
        int mask, image;
        bool stemUp;
    };
    const Pair pairs[] = {{167, 166, true}, {167, 203, true}, {168, 169, false}, {168, 202, false}};
    // Places where notes stand: over the band, the staff lines and the ledger rows.
    const Place places[] = {{353, 84}, {349, 237}, {428, 20}, {503, 164}, {578, 264}, {353, 269}};
    for (const Pair& p : pairs) {
        const auto mask = Load(p.mask), image = Load(p.image);
        int inside = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 20; ++x) {
                // The image is black wherever the background must stay.
                if (mask->Pixel(x, y) != 0) {
                    ASSERT_EQ(image->Pixel(x, y), 0u) << p.image << " at " << x << "," << y;
                } else {
                    ++inside;
                }
            }
        EXPECT_GT(inside, 150);
        for (const Place& at : places) {
            SCOPED_TRACE(testing::Message() << "note " << p.image << " at " << at.x << "," << at.y);
            canvas.Reset();
            canvas.Draw(*mask, at.x, at.y, SRCAND);
            canvas.Draw(*image, at.x, at.y, SRCPAINT);
            for (int y = 0; y < 70; ++y)
                for (int x = 0; x < 20; ++x) {
                    const uint32_t want = mask->Pixel(x, y) ? canvas.Bg(at.x + x, at.y + y) : image->Pixel(x, y);
                    ASSERT_EQ(canvas.At(at.x + x, at.y + y), want) << x << "," << y;
                }
        }
    }
}

TEST(Art, NoteImagesShareTheShapeOfTheirMask) {
    for (const auto& [maskId, imageId] : {std::pair{167, 166}, {167, 203}, {168, 169}, {168, 202}}) {
        const auto mask = Load(maskId), image = Load(imageId);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(image->Pixel(x, y) != 0, mask->Pixel(x, y) == 0) << imageId << " at " << x << "," << y;
    }
    // The plain note is dark ink, the lit one yellow: red and green high, blue low.
    const auto plain = Load(166), lit = Load(203);
    const uint32_t ink = plain->Pixel(8, 60), gold = lit->Pixel(8, 60);
    EXPECT_LT(Sum(ink), 3 * 80);
    EXPECT_GT(R(gold), 200);
    EXPECT_GT(G(gold), 150);
    EXPECT_LT(B(gold), 100);
}

TEST(Art, LedgerLineLooksLikeTheStaffLinesOfTheBackground) {
    Canvas bg;
    const auto ledger = Load(200);
    for (int x = 0; x < 44; ++x) {
        for (int y = 0; y < 4; ++y) EXPECT_EQ(ledger->Pixel(x, y), bg.Bg(420 + x, 79 + y)) << x << "," << y;
        EXPECT_EQ(ledger->Pixel(x, 0), 0x001CA8u);
    }
}

TEST(Art, PressedBlackKeyIsLighterThanAtRestAndDarkerAtTheBottom) {
    Canvas bg;
    const auto key = Load(211);
    const auto mean = [](auto pixel, int y0, int y1) {
        int sum = 0;
        for (int y = y0; y <= y1; ++y)
            for (int c = 0; c < 8; ++c) sum += Sum(pixel(c, y));
        return sum / ((y1 - y0 + 1) * 8);
    };
    const auto pressed = [&](int c, int y) { return key->Pixel(c, y); };
    const auto rest = [&](int c, int y) { return bg.Bg(87 + c, 420 + y); };  // A#0
    EXPECT_GT(mean(pressed, 8, 36), mean(rest, 8, 36) + 40);
    EXPECT_LT(mean(pressed, 40, 45), mean(pressed, 8, 36));
    EXPECT_LT(mean(pressed, 0, 45), 3 * 110);  // still a dark key
}

TEST(Art, NoteHeadsAndStemsStandWhereTheStaffExpectsThem) {
    // Rows of the mask with the most note pixels: the head. Stem up: head at the
    // bottom around row 60, stem on the right; stem down: head at the top around row 8,
    // stem on the left.
    for (const auto& [id, headRow, stemRight] : {std::tuple{167, 60, true}, std::tuple{168, 8, false}}) {
        SCOPED_TRACE(id);
        const auto mask = Load(id);
        int bestRow = -1, bestCount = 0;
        for (int y = 0; y < 70; ++y) {
            int n = 0;
            for (int x = 0; x < 20; ++x) n += mask->Pixel(x, y) == 0;
            if (n > bestCount) {
                bestCount = n;
                bestRow = y;
            }
        }
        EXPECT_NEAR(bestRow, headRow, 2);
        EXPECT_GE(bestCount, 12);
        const int stemRow = headRow < 35 ? 45 : 25;
        int stemX = -1, stemPixels = 0;
        for (int x = 0; x < 20; ++x)
            if (mask->Pixel(x, stemRow) == 0) {
                stemX = x;
                ++stemPixels;
            }
        EXPECT_GE(stemPixels, 1);
        EXPECT_LE(stemPixels, 3);
        if (stemRight) {
            EXPECT_GE(stemX, 12);
        } else {
            EXPECT_LE(stemX, 8);
        }
    }
}

TEST(Art, ClockDigitsKeepTheColonVisibleBetweenMinutesAndTens) {
    Canvas canvas;
    const auto digits = Load(212);
    const uint32_t panel = 0xC0D0F0;  // the game panel's light blue
    // Each digit in its cell's left 13 columns; the colon in the two leftmost.
    for (int g = 0; g <= 10; ++g)
        for (int y = 0; y < 25; ++y)
            for (int c = g == 10 ? 2 : 13; c < 16; ++c) ASSERT_EQ(digits->Pixel(16 * g + c, y), panel) << g << ":" << c;
    // A time as the frame draws it: minutes, the colon 16 px right, the tens 20 px right.
    const int x = 72, y = 128;
    for (int minutes : {0, 8, 9}) {
        canvas.Reset();
        canvas.Draw(*digits, x, y, SRCCOPY, 16 * minutes, 0, 16, 25);
        canvas.Draw(*digits, x + 16, y, SRCCOPY, 160, 0, 16, 25);
        canvas.Draw(*digits, x + 20, y, SRCCOPY, 16 * 8, 0, 16, 25);
        int dots = 0;
        for (int r = 0; r < 25; ++r)
            for (int c = 0; c < 2; ++c) {
                EXPECT_EQ(canvas.At(x + 16 + c, y + r), digits->Pixel(160 + c, r));
                dots += Sum(canvas.At(x + 16 + c, y + r)) < 3 * 120;
            }
        EXPECT_GE(dots, 8) << "the colon's two dots";
    }
}

TEST(Art, CounterDigitsLightSegmentsOfTheEmptyDisplayCell) {
    Canvas bg;
    const auto digits = Load(210);
    for (int cellX : {106, 122, 138, 722, 738, 754}) {
        for (int d = 0; d < 10; ++d) {
            SCOPED_TRACE(testing::Message() << "digit " << d << " in the cell at " << cellX);
            int lit = 0;
            for (int y = 0; y < 24; ++y)
                for (int c = 0; c < 16; ++c) {
                    const uint32_t glyph = digits->Pixel(16 * d + c, y), rest = bg.Bg(cellX + c, 373 + y);
                    if (glyph == rest) continue;
                    // Only lit segments differ from the empty cell, and they are brighter.
                    EXPECT_GT(G(glyph), G(rest)) << c << "," << y;
                    ++lit;
                }
            EXPECT_GT(lit, d == 1 ? 20 : 40);
        }
        // The display window around the cells is black.
        EXPECT_EQ(bg.Bg(cellX - 1 - (cellX % 16 == 10 ? 1 : 0), 371), 0u);
    }
}

TEST(Art, BackgroundStaffLinesLieOnTheirRows) {
    Canvas bg;
    const uint32_t blue = 0x001CA8;
    for (int top : {63, 79, 95, 111, 127, 232, 248, 264, 280, 296}) {
        SCOPED_TRACE(top);
        for (int x = 320; x <= 663; ++x)
            for (int y = top; y < top + 3; ++y) ASSERT_EQ(bg.Bg(x, y), blue) << x << "," << y;
        for (int x : {320, 400, 500, 600}) {
            EXPECT_NE(bg.Bg(x, top - 1), blue) << x;
            EXPECT_NE(bg.Bg(x, top + 3), blue) << x;
        }
        // The lines run from x 266 to 663 and no further.
        for (int y = top; y < top + 3; ++y) {
            EXPECT_EQ(bg.Bg(266, y), blue);
            EXPECT_EQ(bg.Bg(663, y), blue);
        }
        EXPECT_NE(bg.Bg(265, top + 1), blue);
        EXPECT_NE(bg.Bg(664, top + 1), blue);
    }
    // The pale band at x 350..368, and white card on either side of it.
    EXPECT_EQ(bg.Bg(349, 200), bg.Bg(420, 200));
    EXPECT_EQ(bg.Bg(369, 200), bg.Bg(420, 200));
    EXPECT_NE(bg.Bg(359, 200), bg.Bg(420, 200));
    EXPECT_GT(B(bg.Bg(359, 200)), R(bg.Bg(359, 200)));
    EXPECT_GT(Sum(bg.Bg(420, 200)), 3 * 240);
}

TEST(Art, BackgroundButtonsStandAtTheirPlaces) {
    Canvas bg;
    std::vector<Place> buttons = PresetAndModePlaces();
    for (Place p : {Place{160, 372}, {160, 385}, {776, 372}, {776, 385}, {720, 403}, {737, 403}, {754, 403}})
        buttons.push_back(p);
    for (const Place& at : buttons) {
        SCOPED_TRACE(testing::Message() << at.x << "," << at.y);
        // A dark bezel all round the 16 x 12 rectangle, a red face inside, and no
        // bezel just outside it.
        const uint32_t ring = bg.Bg(at.x, at.y);
        EXPECT_LT(Sum(ring), 3 * 60);
        for (int c = 0; c < 16; ++c) {
            EXPECT_EQ(bg.Bg(at.x + c, at.y), ring);
            EXPECT_EQ(bg.Bg(at.x + c, at.y + 11), ring);
        }
        for (int r = 0; r < 12; ++r) {
            EXPECT_EQ(bg.Bg(at.x, at.y + r), ring);
            EXPECT_EQ(bg.Bg(at.x + 15, at.y + r), ring);
        }
        EXPECT_NE(bg.Bg(at.x - 1, at.y + 6), ring);
        EXPECT_NE(bg.Bg(at.x + 16, at.y + 6), ring);
        EXPECT_NE(bg.Bg(at.x + 8, at.y - 1), ring);
        EXPECT_NE(bg.Bg(at.x + 8, at.y + 12), ring);
        const uint32_t face = bg.Bg(at.x + 2, at.y + 8);
        EXPECT_GT(R(face), G(face) + 40);
    }
}

TEST(Art, BackgroundPanelCellsAndCommandLetters) {
    Canvas bg;
    // The cells under "# Left" are empty panel.
    for (int y = 57; y <= 81; ++y)
        for (int x = 143; x <= 174; ++x) ASSERT_EQ(bg.Bg(x, y), 0xC0D0F0u) << x << "," << y;
    // The first letters of NAME, KEY and JAM SESSION are yellow, the rest of the
    // words are not.
    const auto yellow = [](uint32_t c) { return R(c) > 200 && G(c) > 160 && B(c) < 110; };
    for (int top : {370, 383, 396}) {
        SCOPED_TRACE(top);
        int first = 0, rest = 0;
        for (int y = top; y < top + 12; ++y) {
            for (int x = 210; x <= 219; ++x) first += yellow(bg.Bg(x, y));
            for (int x = 222; x <= 300; ++x) rest += yellow(bg.Bg(x, y));
        }
        EXPECT_GE(first, 6);
        EXPECT_EQ(rest, 0);
    }
}

}  // namespace
}  // namespace clavora::test
