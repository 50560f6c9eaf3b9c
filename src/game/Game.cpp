// Dealing, judging and finishing the note-reading game.
#include "game/Game.h"

#include "app/PianoDlg.h"

namespace clavora {

void CPianoDlg::ResetGame() {
    m_nQuestion = -1;
    m_nScroll = 0;
    m_nBlink = 0;
    m_nElapsed = 0;
    m_nMistakes = 0;
    m_nMode = MODE_FREE;
    SetKey(-1, 0);
}

// TODO(game): the rest of the game.
void CPianoDlg::NewGame() {}
void CPianoDlg::SetGameMode(int16_t) {}
void CPianoDlg::JudgeLetter(int16_t) {}
void CPianoDlg::JudgePianoKey(int16_t) {}
void CPianoDlg::FinishGame(int16_t) {}

}  // namespace clavora
