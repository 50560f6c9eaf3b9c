// Keyboard commands: one-key commands acting when the key comes up.
#include "app/PianoDlg.h"

namespace clavora {

void CPianoDlg::OnKeyDown(uint32_t) {}
void CPianoDlg::OnChar(uint32_t) {}

// TODO(input): letters and commands.
void CPianoDlg::OnKeyUp(uint32_t) { Redraw(); }

}  // namespace clavora
