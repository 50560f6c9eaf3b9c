// Every picture of the program, drawn from code.
#pragma once

#include <cstdint>
#include <vector>

#include "Image.h"
#include "Layout.h"

namespace resgen {

// The looks of a 16 x 12 button face.
enum class Face { Unlit, Lit, Pressed, Glow };

// A button: the dark bezel ring, the face and its symbol.
Image ButtonFace(Face face, Symbol symbol);
// The slot light's inner 6 x 6, lit, drawn over a copy of the background's light.
void LightUp(Image& light);
// Draws the slot light at rest (gold ring, dark red glass) into the picture.
void DrawSlotLight(Image& img, int x, int y);

// The plate beside the game clock during a drill, drawn over a copy of the background.
Image DrillMark(const Image& background);

// Digits. The clock strip, 176 x 25: digits 0..9 and the colon, dark on the panel blue.
Image ClockDigits();
// The counter strip, 160 x 24, in the colours of CounterPalette(); cell 10 of
// CounterCells() is an empty cell (every segment dim), as the displays show at rest.
Image CounterCells();
const std::vector<uint32_t>& CounterPalette();

// Notes, 20 x 70: picture (stem up or down, plain or lit) and mask.
Image NoteImage(bool stemUp, bool lit);
Image NoteMask(bool stemUp);
Image LedgerLine();

// Keys: the sheets of ten white-key cells (mask, and the pressed looks shaded toward
// the left and right edges or not), the pressed black key, and the keys at rest.
Image KeyMask();
Image KeySheet(bool shadeLeft, bool shadeRight);
Image BlackKeyLit();
void DrawKeyboard(Image& img);

// The whole window at rest.
Image Background(const Image& clockDigits, const Image& counterCells);
// Parts of the background, drawn in this order.
void DrawBackdrop(Image& img);
void DrawGamePanel(Image& img, const Image& clockDigits);
void DrawStaffCard(Image& img);
void DrawConsole(Image& img, const Image& counterCells);

}  // namespace resgen
