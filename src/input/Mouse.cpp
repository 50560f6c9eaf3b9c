// Mouse commands: fixed hit regions of the window.
#include "app/PianoDlg.h"

namespace clavora {

// TODO(input): hit regions.
void CPianoDlg::OnLButtonDown(int, int) { Redraw(); }

// The second press of a double-click is a click of its own.
void CPianoDlg::OnLButtonDblClk(int x, int y) { OnLButtonDown(x, y); }

}  // namespace clavora
