#include "Art.h"

namespace resgen {

Image Background(const Image& clockDigits, const Image& counterCells) {
    Image img = Canvas(kWidth, kHeight);
    DrawBackdrop(img);
    DrawStaffCard(img);
    DrawGamePanel(img, clockDigits);
    DrawConsole(img, counterCells);
    return img;
}

}  // namespace resgen
