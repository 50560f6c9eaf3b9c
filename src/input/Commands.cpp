// Transport and game commands given by a button or by its key.
#include "input/Commands.h"

namespace clavora {

void PressRecord(CPianoDlg& d) {
    d.SetKey(-1, 0);
    d.m_nFlashRecord = 5;
    d.m_nRecBlink = 0;
    d.StartRecording();
}

void PressPlay(CPianoDlg& d) {
    d.m_nFlashPlay = 5;
    d.m_nPlayBlink = 0;
    d.StartPlayback();
}

void PressFreePlay(CPianoDlg& d) {
    d.ResetGame();
    d.m_nFlashMode = 5;
}

}  // namespace clavora
