// Loading and freeing the bitmaps the frames are drawn from.
#include "app/PianoDlg.h"

namespace clavora {

namespace {

// Each bitmap member with its resource id, in the order they are loaded and freed.
struct BitmapSlot {
    HBITMAP CPianoDlg::*member;
    int id;
};

constexpr BitmapSlot kBitmaps[] = {
    {&CPianoDlg::m_hbmBackground, 150},      {&CPianoDlg::m_hbmCounterDigits, 210},
    {&CPianoDlg::m_hbmClockDigits, 212},     {&CPianoDlg::m_hbmNoteUp, 166},
    {&CPianoDlg::m_hbmNoteUpLit, 203},       {&CPianoDlg::m_hbmNoteUpMask, 167},
    {&CPianoDlg::m_hbmNoteDown, 169},        {&CPianoDlg::m_hbmNoteDownLit, 202},
    {&CPianoDlg::m_hbmNoteDownMask, 168},    {&CPianoDlg::m_hbmKeyLitJoinBoth, 180},
    {&CPianoDlg::m_hbmKeyLitJoinLeft, 204},  {&CPianoDlg::m_hbmKeyLitJoinRight, 206},
    {&CPianoDlg::m_hbmKeyLitAlone, 205},     {&CPianoDlg::m_hbmKeyMask, 181},
    {&CPianoDlg::m_hbmLedgerLine, 200},      {&CPianoDlg::m_hbmMarker, 209},
    {&CPianoDlg::m_hbmMarkerFlash, 213},     {&CPianoDlg::m_hbmArrowUpLit, 214},
    {&CPianoDlg::m_hbmArrowDownLit, 215},    {&CPianoDlg::m_hbmRecordLit, 218},
    {&CPianoDlg::m_hbmStopLit, 216},         {&CPianoDlg::m_hbmPlayLit, 217},
    {&CPianoDlg::m_hbmRecordBlink, 219},     {&CPianoDlg::m_hbmPlayBlink, 220},
    {&CPianoDlg::m_hbmBlackKeyLit, 211},     {&CPianoDlg::m_hbmSlotFull, 221},
    {&CPianoDlg::m_hbmSlotEmpty, 222},       {&CPianoDlg::m_hbmDrillMark, 223},
};

}  // namespace

// Decodes every bitmap once, into the 32-bit frame format. A bitmap that cannot be
// found or decoded leaves its member empty, and copies from it draw nothing.
void CPianoDlg::LoadBitmaps() {
    for (const BitmapSlot& slot : kBitmaps) {
        const ResourceBytes res = m_platform.FindResource(slot.id);
        auto* bitmap = new CBitmap;
        if (!DecodeBmp(res.data, res.size, *bitmap)) bitmap->Delete();
        (this->*slot.member) = bitmap;
    }
}

// Releases every bitmap and clears its member, so nothing can read a released one.
void CPianoDlg::FreeBitmaps() {
    for (const BitmapSlot& slot : kBitmaps) {
        delete (this->*slot.member);
        (this->*slot.member) = nullptr;
    }
}

}  // namespace clavora
