// The game's notes on the grand staff: where each note and its ledger lines stand, the
// blinking of the note asked, and the slide after a right answer.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "support/SyntheticArtFixture.h"

namespace clavora::test {
namespace {

using Staff = ArtFixture;

// The staff card, the only place the staff draws.
constexpr int kCardX = 224, kCardY = 15, kCardW = 449, kCardH = 330;

// Key index of grand-staff step d (C2 is step 0, key index 15).
int KeyOfStep(int d) {
    constexpr int kSemitones[7] = {0, 2, 4, 5, 7, 9, 11};
    return 15 + 12 * (d / 7) + kSemitones[d % 7];
}
constexpr int C2 = 0, E2 = 2, A2 = 5, B3 = 13, C4 = 14, A4 = 19, B4 = 20, A5 = 26, C6 = 28;

// Where a note of step d stands, from the staff itself: the row through its centre is
// 255 - 8d on the treble staff and 328 - 8d on the bass staff; a note below its
// staff's middle line (B4 at row 95, D3 at row 264) has its stem up.
struct Place {
    bool up;
    int dx, top;
    std::vector<int> ledgers;  // top rows of the ledger lines it needs
};
Place PlaceOf(int d, int clef) {
    const bool treble = d > C4 || (d == C4 && clef == 0);
    const int row = treble ? 255 - 8 * d : 328 - 8 * d;
    const bool up = row > (treble ? 95 : 264);
    Place p{up, up ? 4 : 0, up ? row - 59 : row - 7, {}};
    if (d == C4) p.ledgers.push_back(row);
    for (int line : {A5, C6})
        if (d >= line) p.ledgers.push_back(255 - 8 * line);
    for (int line : {E2, C2})
        if (d <= line) p.ledgers.push_back(328 - 8 * line);
    return p;
}

void AddNote(Picture& pic, const CPianoDlg& dlg, int x, const Place& p, bool lit) {
    for (int row : p.ledgers) pic.Copy(dlg.m_hbmLedgerLine, 0, 0, 44, 4, x - 11, row);
    const CBitmap* mask = p.up ? dlg.m_hbmNoteUpMask : dlg.m_hbmNoteDownMask;
    const CBitmap* image = p.up ? (lit ? dlg.m_hbmNoteUpLit : dlg.m_hbmNoteUp)
                                : (lit ? dlg.m_hbmNoteDownLit : dlg.m_hbmNoteDown);
    pic.Masked(mask, image, 0, 20, 70, x + p.dx, p.top);
}
void AddNote(Picture& pic, const CPianoDlg& dlg, int x, int d, bool lit) {
    AddNote(pic, dlg, x, PlaceOf(d, dlg.m_nMiddleCClef), lit);
}

// A game asking question q, its notes given by their staff steps.
void Asking(CPianoDlg& d, int16_t q, const std::vector<int>& steps) {
    for (size_t i = 0; i < steps.size(); ++i)
        d.m_nQuizKeys[i] = static_cast<int16_t>(KeyOfStep(steps[i]));
    d.m_nQuestion = q;
}

TEST_F(Staff, FourSlotsStand75PxApartWithTheAskedNoteLit) {
    CPianoDlg& d = MakeWithArt();
    Asking(d, 0, {7, 16, 3, 24});
    Frames(1);
    Picture p = Expected();
    AddNote(p, d, 349, 7, true);
    AddNote(p, d, 424, 16, false);
    AddNote(p, d, 499, 3, false);
    AddNote(p, d, 574, 24, false);
    EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "");
}

TEST_F(Staff, NearTheEndOnlyTheNotesLeftAreShown) {
    for (int16_t q : {int16_t{26}, int16_t{27}, int16_t{28}}) {
        CPianoDlg& d = MakeWithArt();
        std::vector<int> steps(29);
        for (int i = 0; i < 29; ++i) steps[i] = (i * 11) % 29;
        Asking(d, q, steps);
        Frames(1);
        Picture p = Expected();
        for (int i = 0; q + i <= 28; ++i) AddNote(p, d, 349 + 75 * i, steps[q + i], i == 0);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "") << q;
    }
}

TEST_F(Staff, NoNoteWithoutAGameOrAfterIt) {
    for (int16_t q : {int16_t{-1}, int16_t{29}}) {
        CPianoDlg& d = MakeWithArt();
        Asking(d, q, {14, 14, 14, 14});
        d.m_nScroll = 75;
        d.m_nBlink = 20;
        Frames(1);
        EXPECT_EQ(Diff(Expected(), kCardX, kCardY, kCardW, kCardH), "") << q;
        // Blink and easing go on all the same.
        EXPECT_EQ(d.m_nBlink, 0);
        EXPECT_EQ(d.m_nScroll, 70);
    }
}

TEST_F(Staff, MiddleCStandsOnTheGamesClef) {
    // Below the treble staff with its stem up, or above the bass staff with it down.
    struct Case {
        int16_t clef;
        bool up;
        int top, ledger;
    };
    const Case cases[] = {{0, true, 84, 143}, {1, false, 209, 216}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clef);
        CPianoDlg& d = MakeWithArt();
        d.m_nMiddleCClef = c.clef;
        Asking(d, 0, {C4, C4});
        d.m_nBlink = 15;  // plain
        Frames(1);
        const Place place{c.up, c.up ? 4 : 0, c.top, {c.ledger}};
        Picture p = Expected();
        for (int x : {349, 424}) AddNote(p, d, x, place, false);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "");
    }
}

TEST_F(Staff, LedgerLinesAndStemsFollowTheNote) {
    struct Case {
        int step;
        bool up;
        std::vector<int> ledgers;
    };
    const Case cases[] = {
        {C6, false, {47, 31}}, {27, false, {47}}, {A5, false, {47}}, {25, false, {}},
        {B4, false, {}},       {A4, true, {}},    {B3, false, {}},   {7, true, {}},
        {A2, true, {}},        {3, true, {}},     {E2, true, {312}}, {1, true, {312}},
        {C2, true, {312, 328}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        const Place place = PlaceOf(c.step, 0);
        EXPECT_EQ(place.up, c.up);
        EXPECT_EQ(std::multiset<int>(place.ledgers.begin(), place.ledgers.end()),
                  std::multiset<int>(c.ledgers.begin(), c.ledgers.end()));
        CPianoDlg& d = MakeWithArt();
        Asking(d, 0, {c.step, c.step});
        Frames(1);
        Picture p = Expected();
        AddNote(p, d, 349, c.step, true);
        AddNote(p, d, 424, c.step, false);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "");
    }
}

TEST_F(Staff, TheAskedNoteBlinksTenFramesLitElevenPlain) {
    CPianoDlg& d = MakeWithArt();
    Asking(d, 0, {10, 20});
    d.m_nBlink = 0;  // as a new game leaves it
    for (int frame = 1; frame <= 43; ++frame) {
        SCOPED_TRACE(frame);
        Frames(1);
        const int blink = frame % 21;
        EXPECT_EQ(d.m_nBlink, blink);
        Picture p = Expected();
        AddNote(p, d, 349, 10, blink < 10);
        AddNote(p, d, 424, 20, false);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "");
    }
}

// After a right answer the notes stand where they stood and slide left as the offset
// eases: the fourth slot shows only once it is left of x 604, first at x 599.
TEST_F(Staff, AfterARightAnswerTheNotesSlideIntoPlace) {
    CPianoDlg& d = MakeWithArt();
    Asking(d, 1, {0, 5, 12, 19, 26});
    d.m_nScroll = 75;
    d.m_nBlink = 10;
    const int offsets[] = {75, 70, 65, 60, 55, 50, 45, 40, 35, 30, 25, 20, 15, 10, 5, 0, 0};
    for (int scroll : offsets) {
        SCOPED_TRACE(scroll);
        ASSERT_EQ(d.m_nScroll, scroll);
        Frames(1);
        Picture p = Expected();
        const int lit = d.m_nBlink < 10;
        for (int i = 0; i < 4 && 75 * i + scroll < 255; ++i)
            AddNote(p, d, 349 + scroll + 75 * i, 5 + 7 * i, i == 0 && lit);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "");
    }
}

TEST_F(Staff, NothingIsDrawnWhileTheOffsetIs255OrMore) {
    for (int16_t scroll : {int16_t{255}, int16_t{300}, int16_t{375}}) {
        CPianoDlg& d = MakeWithArt();
        Asking(d, 0, {14, 15, 16, 17});
        d.m_nScroll = scroll;
        Frames(1);
        EXPECT_EQ(Diff(Expected(), kCardX, kCardY, kCardW, kCardH), "") << scroll;
        // The first frame below 255 shows the asked note near the right edge.
        while (d.m_nScroll >= 255) Frames(1);
        const int x = 349 + d.m_nScroll;
        Frames(1);
        Picture p = Expected();
        AddNote(p, d, x, 14, d.m_nBlink < 10);
        EXPECT_EQ(Diff(p, kCardX, kCardY, kCardW, kCardH), "") << scroll;
    }
}

TEST_F(Staff, TheOffsetEasesBackToExactlyZero) {
    struct Case {
        int16_t from;
        int frames;
    };
    const Case cases[] = {{75, 15}, {150, 22}, {225, 27}, {300, 31}, {5, 1}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        CPianoDlg& d = MakeWithArt();
        d.m_nScroll = c.from;
        int frames = 0;
        while (d.m_nScroll > 0 && frames < 100) {
            Frames(1);
            ++frames;
        }
        EXPECT_EQ(frames, c.frames);
        Frames(3);
        EXPECT_EQ(d.m_nScroll, 0);
    }
    // From 150: eight steps of 10 px, then fourteen of 5 px; from 225, five of 15 first.
    const std::vector<int> from150 = {140, 130, 120, 110, 100, 90, 80, 70, 65, 60, 55,
                                      50,  45,  40,  35,  30,  25, 20, 15, 10, 5,  0};
    std::vector<int> from225 = {210, 195, 180, 165, 150};
    from225.insert(from225.end(), from150.begin(), from150.end());
    for (const auto& [start, expected] : {std::pair{150, from150}, std::pair{225, from225}}) {
        CPianoDlg& d = MakeWithArt();
        d.m_nScroll = static_cast<int16_t>(start);
        std::vector<int> path;
        for (size_t i = 0; i < expected.size(); ++i) {
            Frames(1);
            path.push_back(d.m_nScroll);
        }
        EXPECT_EQ(path, expected) << start;
    }
}

}  // namespace
}  // namespace clavora::test
