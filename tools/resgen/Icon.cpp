// The program icon: two black eighth notes side by side on a transparent ground.
#include "Icon.h"

#include <cairo-svg.h>

#include <cmath>

namespace resgen {

namespace {

// One eighth note in a 32-unit square: head centre (hx, hy), stem up to top, flag.
void EighthNote(cairo_t* cr, double hx, double hy, double top) {
    cairo_save(cr);
    cairo_translate(cr, hx, hy);
    cairo_rotate(cr, -0.4);
    cairo_scale(cr, 4.6, 3.4);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_close_path(cr);
    const double sx = hx + 3.2;
    cairo_rectangle(cr, sx, top, 1.8, hy - top);
    cairo_move_to(cr, sx, top);
    cairo_curve_to(cr, sx + 2.5, top + 4.5, sx + 8.5, top + 6, sx + 6.5, top + 14);
    cairo_curve_to(cr, sx + 6.8, top + 9, sx + 3, top + 7.5, sx, top + 7);
    cairo_close_path(cr);
}

// The icon's design in a square of side pixels; gloss adds the soft highlights on the
// heads that the richer images show.
void Draw(cairo_t* cr, double side, bool gloss) {
    cairo_save(cr);
    cairo_scale(cr, side / 32.0, side / 32.0);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    EighthNote(cr, 8.5, 26, 5);
    EighthNote(cr, 20.5, 23, 2);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    if (gloss) {
        for (const auto& [x, y] : {std::pair{7.0, 24.6}, std::pair{19.0, 21.6}}) {
            cairo_arc(cr, x, y, 1.3, 0, 2 * M_PI);
            cairo_set_source_rgba(cr, 0.45, 0.45, 0.5, 0.55);
            cairo_fill(cr);
        }
    }
    cairo_restore(cr);
}

IconImage Render(int size, int bits) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    // The 256-colour image can show the gloss; the sixteen-colour one cannot.
    Draw(cr, size, bits == 8);
    cairo_destroy(cr);
    cairo_surface_flush(s);

    IconImage im{Image(size, size), std::vector<uint8_t>(size_t(size) * size), bits, {}};
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x);
            const int a = p >> 24;
            im.alpha[size_t(y) * size + x] = uint8_t(a);
            // Colours come premultiplied; an opaque pixel shows its own colour.
            im.colour.at(x, y) = a ? RgbF(Red(p) * 255.0 / a, Green(p) * 255.0 / a, Blue(p) * 255.0 / a) : 0;
        }
    cairo_surface_destroy(s);

    if (bits == 4) {
        // The sixteen colours every display knows.
        im.palette = {Rgb(0, 0, 0),       Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
                      Rgb(0, 0, 128),     Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(192, 192, 192),
                      Rgb(128, 128, 128), Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(255, 255, 0),
                      Rgb(0, 0, 255),     Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
    } else {
        // A grey ramp, then the 6 x 6 x 6 colour cube.
        for (int i = 0; i < 40; ++i) im.palette.push_back(RgbF(i * 255.0 / 39, i * 255.0 / 39, i * 255.0 / 39));
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) im.palette.push_back(Rgb(r * 51, g * 51, b * 51));
    }
    return im;
}

}  // namespace

Bytes ProgramIcon(int scale) {
    return Ico({Render(32 * scale, 4), Render(16 * scale, 4), Render(32 * scale, 8)});
}

bool WriteDesktopIconPng(int side, const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
    cairo_t* cr = cairo_create(s);
    Draw(cr, side, true);
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

bool WriteDesktopIconSvg(const std::string& path) {
    // Drawn on a 256-unit page, the size desktops take as the scalable icon's reference.
    cairo_surface_t* s = cairo_svg_surface_create(path.c_str(), 256, 256);
    cairo_svg_surface_set_document_unit(s, CAIRO_SVG_UNIT_PX);
    cairo_t* cr = cairo_create(s);
    Draw(cr, 256, true);
    cairo_destroy(cr);
    cairo_surface_finish(s);
    const bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return ok;
}

}  // namespace resgen
