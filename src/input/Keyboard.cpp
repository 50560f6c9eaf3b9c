// Keyboard commands: one-key commands acting when the key comes up. Codes are
// virtual-key codes: a letter has its upper-case code, Space is 32.
#include "input/Commands.h"

namespace clavora {

namespace {
constexpr uint32_t kKeyA = 'A', kKeyG = 'G';
constexpr uint32_t kKeyN = 'N', kKeyK = 'K', kKeyJ = 'J', kKeyR = 'R', kKeyW = 'W';
}  // namespace

void CPianoDlg::OnKeyDown(uint32_t) {}
void CPianoDlg::OnChar(uint32_t) {}

void CPianoDlg::OnKeyUp(uint32_t vk) {
    if (m_nMode == MODE_LETTER && IsGameAsking(*this) && vk >= kKeyA && vk <= kKeyG) {
        // A letter answers a letter-mode game before anything else is looked at.
        JudgeLetter(static_cast<int16_t>(vk));
    } else if (vk == kKeyN) {
        SetGameMode(MODE_LETTER);
    } else if (vk == kKeyK) {
        SetGameMode(MODE_PIANO);
    } else if (vk == kKeyW) {
        StartDrill();
    } else if (vk == kKeyJ) {
        PressFreePlay(*this);
    } else if (vk == kKeyR) {
        PressRecord(*this);
    } else if (vk == VK_SPACE) {
        // Space stops a running recorder, and otherwise plays the current slot.
        if (m_bPlaying == 1 || m_bRecording == 1)
            StopTransport();
        else
            PressPlay(*this);
    }
    Redraw();
}

}  // namespace clavora
