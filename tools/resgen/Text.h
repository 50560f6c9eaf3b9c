// Lettering with pango: labels in DejaVu Sans, the title in Dancing Script, clefs and
// the brace from FreeSerif's musical symbols.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace resgen {

enum class Align { Left, Centre, Right };

struct Font {
    const char* family;
    double px;          // em size in pixels
    bool bold = false;
    double spacing = 0; // extra space between letters, in pixels
};

// Ink box of a text as it would be drawn with its layout origin at (0, 0).
struct Extents {
    double x, y, w, h;
};

// True when the font family is installed (not a fallback) and, when given, has the
// character ch.
bool HasFont(const char* family, uint32_t ch = 0);

// The markup's ink extents in this font.
Extents MeasureText(cairo_t* cr, const std::string& markup, const Font& font);
// Draws markup (pango markup: <span foreground="#..."> for colours) with the current
// source colour, its ink box aligned at x and its ink top at y. Returns the ink box.
Extents DrawText(cairo_t* cr, const std::string& markup, const Font& font, double x, double y,
                 Align align = Align::Left);
// Adds the outline of one text to the current path, scaled so that its ink box fills
// the box (x, y, w, h); w or h 0 keeps the aspect ratio from the other.
void GlyphPath(cairo_t* cr, const std::string& text, const char* family, double x, double y,
               double w, double h);

}  // namespace resgen
