// The wooden console: buttons, displays, labels, the title, the keyboard and its end
// blocks.
#include <cmath>

#include "Art.h"
#include "Noise.h"
#include "Relief.h"
#include "Text.h"
#include "Wood.h"

namespace resgen {

namespace {

constexpr uint32_t kLabelCream = Rgb(244, 230, 196);

// Engraved lettering: a dark line under cream letters; the first letter in yellow
// where it names a command key.
void Label(cairo_t* cr, const std::string& text, const Font& font, double x, double y, Align align,
           bool firstYellow = false) {
    cairo_save(cr);
    cairo_set_source_rgba(cr, 0.08, 0.03, 0.01, 0.75);
    DrawText(cr, text, font, x + 0.6, y + 1, align);
    SetColor(cr, kLabelCream);
    const std::string markup =
        firstYellow ? "<span foreground=\"#FFD628\">" + text.substr(0, 1) + "</span>" + text.substr(1) : text;
    DrawText(cr, markup, font, x, y, align);
    cairo_restore(cr);
}

void Display(Image& img, const Rect& win, const int cells[3], const Image& counterCells) {
    Relief frame(kWidth, kHeight);
    frame.Block(win.x - 2, win.y - 2, win.w + 4, win.h + 4, 2.5, 2, 3);
    CastShadow(img, frame, 1, 2, 1, 0.6);
    const auto gold = [](int x, int y) {
        return Mix(Rgb(222, 176, 74), Rgb(170, 120, 40), Noise(LayoutAt(x) * 0.3, LayoutAt(y) * 0.3, 44) * 0.4);
    };
    Shade(img, frame, gold, kGold);
    img.Fill(win.x, win.y, win.w, win.h, Rgb(0, 0, 0));
    for (int i = 0; i < 3; ++i) img.Paste(counterCells.Crop(160, 0, 16, 24), cells[i], kCounterCellY);
}

void Emblem(Image& img, double cx, double cy) {
    // Two joined eighth notes, inlaid in gold.
    Painter p(img);
    cairo_set_fill_rule(p, CAIRO_FILL_RULE_WINDING);
    GlyphPath(p, "\u266B", "DejaVu Sans", cx - 15, cy - 17, 0, 34);
    cairo_save(p);
    cairo_translate(p, 1, 1.2);
    cairo_set_source_rgba(p, 0.1, 0.04, 0.0, 0.7);
    cairo_fill_preserve(p);
    cairo_restore(p);
    cairo_pattern_t* gold = cairo_pattern_create_linear(cx - 14, cy - 17, cx + 14, cy + 17);
    cairo_pattern_add_color_stop_rgb(gold, 0, 1.0, 0.9, 0.56);
    cairo_pattern_add_color_stop_rgb(gold, 0.45, 0.86, 0.66, 0.26);
    cairo_pattern_add_color_stop_rgb(gold, 1, 0.56, 0.38, 0.1);
    cairo_set_source(p, gold);
    cairo_fill(p);
    cairo_pattern_destroy(gold);
}

}  // namespace

void DrawConsole(Image& img, const Image& counterCells) {
    const int top = kConsoleTop, h = kHeight - kConsoleTop;
    img.Paste(WoodTexture(0, top, kWidth, h, kConsoleWood), 0, top);

    // A rounded moulding along the console's top edge, and the raised end blocks.
    Relief relief(kWidth, kHeight);
    relief.Block(-20, top, kWidth + 40, 9, 3, 4, 3);
    relief.Block(-10, 416, 89, 120, 7, 6, 6);
    relief.Block(703, 416, 110, 120, 7, 6, 6);
    CastShadow(img, relief, 2, 3, 2, 0.5);
    Shade(img, relief, [](int x, int y) { return WoodAt(x, y, kConsoleWood); }, kWoodFinish);
    Emblem(img, 39, 468);
    Emblem(img, 751, 470);

    // The keyboard's well: a shadow under the nameboard, then red felt behind the keys.
    // Shading and felt follow the device rows, the felt's grain the device pixels; the
    // two light rows under the keys' line are layout rows.
    const int s = DevicePixels();
    for (int i = kKeysLeft * s; i < (kKeysLeft + 52 * kWhiteW) * s; ++i) {
        for (int j = 410 * s; j < 415 * s; ++j) img.at(i, j) = Scale(img.at(i, j), 0.55 + 0.08 * (414 - LayoutAt(j)));
        for (int j = 415 * s; j < kKeysTop * s; ++j)
            img.at(i, j) = Scale(Rgb(120, 22, 26), 0.7 + 0.3 * Grain(i, j, 3) - 0.1 * (LayoutAt(j) - 415));
        for (int j = (kKeysLine + 1) * s; j < kHeight * s; ++j) {
            const int y = j / s;
            const double k = y == kKeysLine + 1 ? 1.25 : y == kKeysLine + 2 ? 1.1 : 1.0;
            img.at(i, j) = Scale(img.at(i, j), k);
        }
    }
    DrawKeyboard(img);

    Display(img, kProgramWindow, kProgramCells, counterCells);
    Display(img, kSlotWindow, kSlotCells, counterCells);
    // Buttons last, each with a faint shadow on the wood below and right of its bezel.
    const auto darken = [&](int x, int y) {
        for (int j = y * s; j < (y + 1) * s; ++j)
            for (int i = x * s; i < (x + 1) * s; ++i) img.at(i, j) = Scale(img.at(i, j), 0.6);
    };
    for (const Button& b : Buttons()) {
        for (int y = b.y + 1; y <= b.y + kButtonH; ++y) darken(b.x + kButtonW, y);
        for (int x = b.x + 1; x <= b.x + kButtonW; ++x) darken(x, b.y + kButtonH);
    }
    for (const Button& b : Buttons()) img.Paste(ButtonFace(Face::Unlit, b.symbol), b.x, b.y);
    DrawSlotLight(img, kSlotLight.x, kSlotLight.y);

    Painter p(img);
    const Font small{"DejaVu Sans", 8.5, true, 1.0};
    Label(p, "PRESETS", small, 56, 360, Align::Centre);
    Label(p, "VOICE", small, 129, 358, Align::Centre);
    Label(p, "GAMES", small, 201, 358, Align::Centre);
    Label(p, "SONG", small, 745, 358, Align::Centre);
    const Font mode{"DejaVu Sans", 8.5, true, 0.6};
    Label(p, "NAME", mode, 212, 372, Align::Left, true);
    Label(p, "KEY", mode, 212, 385, Align::Left, true);
    Label(p, "JAM SESSION", mode, 212, 398, Align::Left, true);
    Label(p, "WEAK NOTES", mode, kDrillButtonX + 19, 398, Align::Left, true);

    // The title in script, gold on the wood, between two flourishes, with a line of
    // small capitals below.
    const Font script{"Dancing Script", 34, true, 0};
    const Extents e = MeasureText(p, "Clavora", script);
    const Font fitted{"Dancing Script", 34 * 25.0 / e.h, true, 0};
    const Extents t = MeasureText(p, "Clavora", fitted);
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, 359, 0, 385);
    cairo_pattern_add_color_stop_rgb(gold, 0, 1.0, 0.93, 0.62);
    cairo_pattern_add_color_stop_rgb(gold, 0.55, 0.9, 0.7, 0.3);
    cairo_pattern_add_color_stop_rgb(gold, 1, 0.7, 0.48, 0.16);
    for (int side : {-1, 1}) {
        // A tapering line that ends in a small curl.
        const double inner = 400 + side * (t.w / 2 + 7), outer = 400 + side * 80;
        cairo_new_path(p);
        cairo_move_to(p, inner, 373);
        cairo_curve_to(p, inner + side * 20, 371.2, outer - side * 30, 376, outer - side * 6, 374.2);
        cairo_curve_to(p, outer + side * 2, 373.2, outer + side * 1, 368.2, outer - side * 3, 368.8);
        cairo_curve_to(p, outer - side * 6, 369.6, outer - side * 5, 372.5, outer - side * 2.5, 371.8);
        cairo_curve_to(p, outer - side * 2, 370, outer - side * 4, 369.6, outer - side * 4, 371.6);
        cairo_curve_to(p, outer - side * 1, 374.2, outer - side * 28, 374.8, inner + side * 20, 374.4);
        cairo_line_to(p, inner, 373.6);
        cairo_close_path(p);
        cairo_save(p);
        cairo_translate(p, 0.6, 1);
        cairo_set_source_rgba(p, 0.1, 0.03, 0.0, 0.7);
        cairo_fill_preserve(p);
        cairo_restore(p);
        cairo_set_source(p, gold);
        cairo_fill(p);
    }
    cairo_set_source_rgba(p, 0.1, 0.03, 0.0, 0.8);
    DrawText(p, "Clavora", fitted, 400.8, 360.2, Align::Centre);
    cairo_set_source(p, gold);
    DrawText(p, "Clavora", fitted, 400, 359, Align::Centre);
    cairo_pattern_destroy(gold);
    Label(p, "PIANO  \u00B7  NOTES  \u00B7  SONGS", Font{"DejaVu Sans", 7, true, 0.9}, 400, 385, Align::Centre);

    // The letter C under middle C.
    Label(p, "C", Font{"DejaVu Sans", 12, true, 0}, 360.5, 503, Align::Centre);
}

}  // namespace resgen
