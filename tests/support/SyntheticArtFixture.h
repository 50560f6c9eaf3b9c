// A window fixture whose bitmaps are the synthetic art, for tests of what frames show.
#pragma once

#include <string>

#include "support/DlgFixture.h"
#include "support/SyntheticArt.h"

namespace clavora::test {

class ArtFixture : public DlgFixture {
protected:
    CPianoDlg& MakeWithArt() {
        Make();
        InstallSyntheticArt(*dlg);
        return *dlg;
    }
    // The resting background, to draw the expected sprites on.
    Picture Expected() const { return Picture(dlg->m_hbmBackground); }
    // "" when the last presented frame equals the picture in the rectangle.
    std::string Diff(const Picture& expected, int x, int y, int w, int h) const {
        return expected.Diff(platform.frame, x, y, w, h);
    }
};

}  // namespace clavora::test
