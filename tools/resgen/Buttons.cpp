// The 16 x 12 button faces and the slot light.
#include <cmath>

#include "Art.h"

namespace resgen {

namespace {

struct FaceColours {
    uint32_t top, bottom, highlight, shadow;
};

FaceColours ColoursOf(Face face) {
    switch (face) {
    case Face::Unlit: return {Rgb(132, 26, 26), Rgb(86, 12, 14), Rgb(176, 70, 64), Rgb(50, 6, 8)};
    case Face::Glow: return {Rgb(255, 92, 66), Rgb(246, 48, 32), Rgb(255, 210, 190), Rgb(168, 26, 14)};
    default: return {Rgb(238, 44, 32), Rgb(196, 20, 14), Rgb(255, 156, 132), Rgb(128, 10, 8)};
    }
}

void DrawSymbol(cairo_t* cr, Symbol symbol, Face face, double dy) {
    const double cx = 8, cy = 6 + dy;
    cairo_new_path(cr);
    switch (symbol) {
    case Symbol::None: return;
    case Symbol::ArrowUp:
        cairo_move_to(cr, cx, cy - 2.6);
        cairo_line_to(cr, cx + 3.6, cy + 2.2);
        cairo_line_to(cr, cx - 3.6, cy + 2.2);
        break;
    case Symbol::ArrowDown:
        cairo_move_to(cr, cx, cy + 2.6);
        cairo_line_to(cr, cx + 3.6, cy - 2.2);
        cairo_line_to(cr, cx - 3.6, cy - 2.2);
        break;
    case Symbol::Square: cairo_rectangle(cr, cx - 2.5, cy - 2.5, 5, 5); break;
    case Symbol::Triangle:
        cairo_move_to(cr, cx - 2, cy - 3);
        cairo_line_to(cr, cx + 3, cy);
        cairo_line_to(cr, cx - 2, cy + 3);
        break;
    case Symbol::Dot: cairo_arc(cr, cx, cy, 2.7, 0, 2 * M_PI); break;
    }
    cairo_close_path(cr);
    // A faint dark edge below and right lifts the symbol off the face.
    cairo_save(cr);
    cairo_translate(cr, 0.5, 0.6);
    SetColor(cr, Rgb(40, 0, 0), 0.45);
    cairo_fill_preserve(cr);
    cairo_restore(cr);
    uint32_t c = Rgb(250, 250, 246);
    if (symbol == Symbol::Dot) {
        c = face == Face::Unlit ? Rgb(236, 36, 30) : face == Face::Glow ? Rgb(255, 196, 206) : Rgb(150, 0, 4);
    }
    SetColor(cr, c);
    cairo_fill(cr);
    if (symbol == Symbol::Dot && face != Face::Glow) {
        // A glint on the upper left of the red dot.
        cairo_arc(cr, cx - 0.9, cy - 0.9, 0.9, 0, 2 * M_PI);
        SetColor(cr, Rgb(255, 200, 190), face == Face::Unlit ? 0.8 : 0.5);
        cairo_fill(cr);
    }
}

}  // namespace

Image ButtonFace(Face face, Symbol symbol) {
    Image img = Canvas(kButtonW, kButtonH, kButtonRing);
    const FaceColours c = ColoursOf(face == Face::Pressed ? Face::Lit : face);
    const int top = face == Face::Pressed ? 2 : 1;  // pressed in: the face one row lower
    // Device pixels of layout rows 1..10 and columns 1..14: the bevel follows layout
    // pixels, the face's gradient the device rows.
    const int s = DevicePixels();
    for (int j = s; j < 11 * s; ++j)
        for (int i = s; i < 15 * s; ++i) {
            const int x = i / s, y = j / s;
            const double t = (LayoutAt(j) - top) / (10 - top);
            uint32_t p = Mix(c.top, c.bottom, std::clamp(t, 0.0, 1.0));
            if (face == Face::Pressed) {
                if (y == 1) p = Rgb(70, 6, 4);                  // the dark top row
                else if (x == 1) p = Mix(p, c.shadow, 0.45);    // recessed left edge
                else if (y == 2) p = Mix(p, c.highlight, 0.25);
            } else {
                if (y == 1 || x == 1) p = Mix(p, c.highlight, y == 1 && x == 1 ? 0.6 : 0.8);
                else if (y == 10 || x == 14) p = c.shadow;
                else if (y == 2) p = Mix(p, c.highlight, 0.3);
            }
            img.at(i, j) = p;
        }
    {
        Painter p(img);
        cairo_rectangle(p, 1, 1, 14, 10);
        cairo_clip(p);
        DrawSymbol(p, symbol, face, face == Face::Pressed ? 1 : 0);
    }
    // The bezel ring stays exactly the ring, whatever the symbol's edges did.
    img.Fill(0, 0, kButtonW, 1, kButtonRing);
    img.Fill(0, kButtonH - 1, kButtonW, 1, kButtonRing);
    img.Fill(0, 0, 1, kButtonH, kButtonRing);
    img.Fill(kButtonW - 1, 0, 1, kButtonH, kButtonRing);
    return img;
}

void DrawSlotLight(Image& img, int x0, int y0) {
    Painter p(img);
    const double cx = x0 + 4, cy = y0 + 4;
    // Gold ring, lit from the top left.
    cairo_pattern_t* gold = cairo_pattern_create_linear(x0, y0, x0 + 8, y0 + 8);
    cairo_pattern_add_color_stop_rgb(gold, 0, 1.0, 0.92, 0.6);
    cairo_pattern_add_color_stop_rgb(gold, 0.5, 0.84, 0.64, 0.22);
    cairo_pattern_add_color_stop_rgb(gold, 1, 0.45, 0.3, 0.08);
    cairo_arc(p, cx, cy, 4, 0, 2 * M_PI);
    cairo_set_source(p, gold);
    cairo_fill(p);
    cairo_pattern_destroy(gold);
    // Dark red glass.
    cairo_pattern_t* glass = cairo_pattern_create_radial(cx - 0.8, cy - 0.8, 0.3, cx, cy, 2.8);
    cairo_pattern_add_color_stop_rgb(glass, 0, 0.45, 0.1, 0.08);
    cairo_pattern_add_color_stop_rgb(glass, 1, 0.2, 0.02, 0.02);
    cairo_arc(p, cx, cy, 2.7, 0, 2 * M_PI);
    cairo_set_source(p, glass);
    cairo_fill(p);
    cairo_pattern_destroy(glass);
}

void LightUp(Image& light) {
    Painter p(light);
    cairo_rectangle(p, 1, 1, 6, 6);
    cairo_clip(p);
    const double cx = 4, cy = 4;
    cairo_pattern_t* glow = cairo_pattern_create_radial(cx - 0.9, cy - 0.9, 0.2, cx, cy, 2.9);
    cairo_pattern_add_color_stop_rgb(glow, 0, 1.0, 0.93, 0.7);
    cairo_pattern_add_color_stop_rgb(glow, 0.35, 1.0, 0.5, 0.12);
    cairo_pattern_add_color_stop_rgb(glow, 1, 0.86, 0.16, 0.02);
    cairo_arc(p, cx, cy, 2.75, 0, 2 * M_PI);
    cairo_set_source(p, glow);
    cairo_fill(p);
    cairo_pattern_destroy(glow);
}

}  // namespace resgen
