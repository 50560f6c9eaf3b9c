// Art for tests: every bitmap of the window replaced by one of its real size whose
// pixels name the bitmap and the position they come from, so that any pixel of a frame
// tells which sprite cell was copied there. Masks keep the black-and-white convention
// (black where the sprite is opaque), and every image is black where its mask is white.
// Also a picture to build the expected frame from those sprites, and its comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/PianoDlg.h"

namespace clavora::test {

// Frees the loaded bitmaps and puts synthetic ones in their members; the window owns
// and frees them as it does the real ones.
void InstallSyntheticArt(CPianoDlg& dlg);

// True when every bitmap of the window holds pixels (the real art was found).
bool AllBitmapsLoaded(const CPianoDlg& dlg);

// Columns of a white key's 12-px cell that belong to it in the upper 46 rows, by outline.
struct OutlineColumns {
    int first, last;
};
extern const OutlineColumns kOutlineColumns[10];

// The frame a test expects, built from the background by the copies it should see.
class Picture {
public:
    explicit Picture(const CBitmap* background);

    // Copies w x h from (sx, sy) of src to (x, y), clipped to the frame.
    void Copy(const CBitmap* src, int sx, int sy, int w, int h, int x, int y);
    // A masked sprite: the frame is kept where the mask is white; elsewhere the
    // image's pixel shows, as mask-and then image-or leaves it.
    void Masked(const CBitmap* mask, const CBitmap* image, int sx, int w, int h, int x, int y);

    // "" when the frame equals this picture in the rectangle; otherwise where and how
    // it first differs, naming the sprite pixels on both sides, and how many differ.
    std::string Diff(const std::vector<uint32_t>& frame, int x, int y, int w, int h) const;
    // The same over the whole frame.
    std::string Diff(const std::vector<uint32_t>& frame) const;

    uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * kFrameWidth + x]; }

private:
    std::vector<uint32_t> pixels_;
};

// Which synthetic bitmap and position a pixel value comes from, for messages.
std::string DescribePixel(uint32_t pixel);

}  // namespace clavora::test
