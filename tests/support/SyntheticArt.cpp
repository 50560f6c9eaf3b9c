#include "support/SyntheticArt.h"

#include <cstdio>

namespace clavora::test {

const OutlineColumns kOutlineColumns[10] = {
    {0, 7}, {4, 11}, {0, 6}, {3, 8}, {5, 11}, {0, 5}, {2, 7}, {4, 9}, {6, 11}, {0, 11},
};

namespace {

enum class Kind { Opaque, NoteUpMask, NoteDownMask, KeyMask, NoteUpImage, NoteDownImage, KeyImage };

struct Art {
    HBITMAP CPianoDlg::*member;
    const char* name;
    int width, height;
    Kind kind;
};

// The position in this table, plus one, is the tag in the top bits of every pixel.
constexpr Art kArt[] = {
    {&CPianoDlg::m_hbmBackground, "Background", 800, 520, Kind::Opaque},
    {&CPianoDlg::m_hbmCounterDigits, "CounterDigits", 160, 24, Kind::Opaque},
    {&CPianoDlg::m_hbmClockDigits, "ClockDigits", 176, 25, Kind::Opaque},
    {&CPianoDlg::m_hbmNoteUp, "NoteUp", 20, 70, Kind::NoteUpImage},
    {&CPianoDlg::m_hbmNoteUpLit, "NoteUpLit", 20, 70, Kind::NoteUpImage},
    {&CPianoDlg::m_hbmNoteUpMask, "NoteUpMask", 20, 70, Kind::NoteUpMask},
    {&CPianoDlg::m_hbmNoteDown, "NoteDown", 20, 70, Kind::NoteDownImage},
    {&CPianoDlg::m_hbmNoteDownLit, "NoteDownLit", 20, 70, Kind::NoteDownImage},
    {&CPianoDlg::m_hbmNoteDownMask, "NoteDownMask", 20, 70, Kind::NoteDownMask},
    {&CPianoDlg::m_hbmKeyLitJoinBoth, "KeyLitJoinBoth", 120, 79, Kind::KeyImage},
    {&CPianoDlg::m_hbmKeyLitJoinLeft, "KeyLitJoinLeft", 120, 79, Kind::KeyImage},
    {&CPianoDlg::m_hbmKeyLitJoinRight, "KeyLitJoinRight", 120, 79, Kind::KeyImage},
    {&CPianoDlg::m_hbmKeyLitAlone, "KeyLitAlone", 120, 79, Kind::KeyImage},
    {&CPianoDlg::m_hbmKeyMask, "KeyMask", 120, 79, Kind::KeyMask},
    {&CPianoDlg::m_hbmLedgerLine, "LedgerLine", 44, 4, Kind::Opaque},
    {&CPianoDlg::m_hbmMarker, "Marker", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmMarkerFlash, "MarkerFlash", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmArrowUpLit, "ArrowUpLit", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmArrowDownLit, "ArrowDownLit", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmRecordLit, "RecordLit", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmStopLit, "StopLit", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmPlayLit, "PlayLit", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmRecordBlink, "RecordBlink", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmPlayBlink, "PlayBlink", 16, 12, Kind::Opaque},
    {&CPianoDlg::m_hbmBlackKeyLit, "BlackKeyLit", 8, 46, Kind::Opaque},
    {&CPianoDlg::m_hbmSlotFull, "SlotFull", 8, 8, Kind::Opaque},
    {&CPianoDlg::m_hbmSlotEmpty, "SlotEmpty", 8, 8, Kind::Opaque},
};
constexpr int kArtCount = sizeof kArt / sizeof kArt[0];
static_assert(kArtCount == 27);

// 5 bits of tag over 19 bits of position: 800 x 520 positions fit, and no pixel of
// any image is black or white.
constexpr int kTagShift = 19;
constexpr uint32_t kPositionMask = (1u << kTagShift) - 1;
constexpr uint32_t kBlack = 0;
constexpr uint32_t kWhite = 0x00FFFFFF;

// The note masks: two different irregular patterns, so that a note drawn with the
// wrong mask, or the mask at the wrong place, shows.
bool NoteUpOpaque(int x, int y) { return (3 * x + 5 * y) % 7 < 4; }
bool NoteDownOpaque(int x, int y) { return (5 * x + 2 * y) % 6 < 3; }
// The key masks follow the real outlines, so the cut-outs keep the black keys.
bool KeyOpaque(int x, int y) {
    const int column = x % 12;
    const OutlineColumns& c = kOutlineColumns[x / 12];
    return y >= 46 || (column >= c.first && column <= c.last);
}

bool Opaque(Kind kind, int x, int y) {
    switch (kind) {
    case Kind::NoteUpMask:
    case Kind::NoteUpImage: return NoteUpOpaque(x, y);
    case Kind::NoteDownMask:
    case Kind::NoteDownImage: return NoteDownOpaque(x, y);
    case Kind::KeyMask:
    case Kind::KeyImage: return KeyOpaque(x, y);
    case Kind::Opaque: return true;
    }
    return true;
}

bool IsMask(Kind kind) {
    return kind == Kind::NoteUpMask || kind == Kind::NoteDownMask || kind == Kind::KeyMask;
}

}  // namespace

void InstallSyntheticArt(CPianoDlg& dlg) {
    dlg.FreeBitmaps();
    for (int i = 0; i < kArtCount; ++i) {
        const Art& art = kArt[i];
        auto* bitmap = new CBitmap(art.width, art.height);
        bitmap->SetMono(art.kind == Kind::NoteUpMask || art.kind == Kind::NoteDownMask);
        const uint32_t tag = static_cast<uint32_t>(i + 1) << kTagShift;
        for (int y = 0; y < art.height; ++y) {
            for (int x = 0; x < art.width; ++x) {
                const bool opaque = Opaque(art.kind, x, y);
                uint32_t c = tag | static_cast<uint32_t>(y * art.width + x);
                if (IsMask(art.kind))
                    c = opaque ? kBlack : kWhite;
                else if (!opaque)
                    c = kBlack;
                bitmap->SetPixel(x, y, c);
            }
        }
        dlg.*art.member = bitmap;
    }
}

bool AllBitmapsLoaded(const CPianoDlg& dlg) {
    for (const Art& art : kArt) {
        const CBitmap* b = dlg.*art.member;
        if (!b || b->IsNull() || b->Width() != art.width || b->Height() != art.height) return false;
    }
    return true;
}

std::string DescribePixel(uint32_t pixel) {
    if (pixel == kBlack) return "black";
    if (pixel == kWhite) return "white";
    char text[96];
    const uint32_t tag = pixel >> kTagShift;
    if (tag >= 1 && tag <= static_cast<uint32_t>(kArtCount)) {
        const Art& art = kArt[tag - 1];
        const uint32_t pos = pixel & kPositionMask;
        std::snprintf(text, sizeof text, "%s(%u,%u)", art.name, pos % art.width, pos / art.width);
    } else {
        std::snprintf(text, sizeof text, "0x%06X", pixel);
    }
    return text;
}

Picture::Picture(const CBitmap* background)
    : pixels_(static_cast<size_t>(kFrameWidth) * kFrameHeight, 0) {
    if (background && !background->IsNull()) Copy(background, 0, 0, kFrameWidth, kFrameHeight, 0, 0);
}

void Picture::Copy(const CBitmap* src, int sx, int sy, int w, int h, int x, int y) {
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const int fx = x + col, fy = y + row;
            if (fx < 0 || fy < 0 || fx >= kFrameWidth || fy >= kFrameHeight) continue;
            pixels_[static_cast<size_t>(fy) * kFrameWidth + fx] = src->Pixel(sx + col, sy + row);
        }
    }
}

void Picture::Masked(const CBitmap* mask, const CBitmap* image, int sx, int w, int h, int x, int y) {
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const int fx = x + col, fy = y + row;
            if (fx < 0 || fy < 0 || fx >= kFrameWidth || fy >= kFrameHeight) continue;
            uint32_t& p = pixels_[static_cast<size_t>(fy) * kFrameWidth + fx];
            p = (p & mask->Pixel(sx + col, row)) | image->Pixel(sx + col, row);
        }
    }
}

std::string Picture::Diff(const std::vector<uint32_t>& frame, int x, int y, int w, int h) const {
    if (frame.size() != pixels_.size()) return "no frame was presented";
    int count = 0;
    std::string first;
    for (int fy = y; fy < y + h; ++fy) {
        for (int fx = x; fx < x + w; ++fx) {
            const size_t i = static_cast<size_t>(fy) * kFrameWidth + fx;
            if (frame[i] == pixels_[i]) continue;
            if (count++ == 0) {
                first = "at (" + std::to_string(fx) + "," + std::to_string(fy) + ") the frame shows " +
                        DescribePixel(frame[i]) + ", expected " + DescribePixel(pixels_[i]);
            }
        }
    }
    if (count == 0) return "";
    return first + " (" + std::to_string(count) + " pixels differ)";
}

std::string Picture::Diff(const std::vector<uint32_t>& frame) const {
    return Diff(frame, 0, 0, kFrameWidth, kFrameHeight);
}

}  // namespace clavora::test
