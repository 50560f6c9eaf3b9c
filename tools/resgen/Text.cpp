#include "Text.h"

#include <pango/pangocairo.h>

namespace resgen {

namespace {

PangoLayout* MakeLayout(cairo_t* cr, const std::string& markup, const Font& font) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.family);
    pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(desc, font.px * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);

    PangoAttrList* attrs = nullptr;
    char* text = nullptr;
    pango_parse_markup(markup.c_str(), -1, 0, &attrs, &text, nullptr, nullptr);
    if (font.spacing != 0) {
        if (!attrs) attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_letter_spacing_new(int(font.spacing * PANGO_SCALE)));
    }
    pango_layout_set_text(layout, text ? text : markup.c_str(), -1);
    if (attrs) pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    g_free(text);
    return layout;
}

Extents InkOf(PangoLayout* layout) {
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    return {double(ink.x) / PANGO_SCALE, double(ink.y) / PANGO_SCALE, double(ink.width) / PANGO_SCALE,
            double(ink.height) / PANGO_SCALE};
}

}  // namespace

bool HasFont(const char* family, uint32_t ch) {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* desc = pango_font_description_from_string(family);
    pango_font_description_set_absolute_size(desc, 20 * PANGO_SCALE);
    PangoFont* font = pango_font_map_load_font(map, context, desc);
    bool ok = false;
    if (font) {
        PangoFontDescription* got = pango_font_describe(font);
        ok = g_ascii_strcasecmp(pango_font_description_get_family(got), family) == 0;
        if (ok && ch) ok = pango_font_has_char(font, ch);
        pango_font_description_free(got);
        g_object_unref(font);
    }
    pango_font_description_free(desc);
    g_object_unref(context);
    return ok;
}

Extents MeasureText(cairo_t* cr, const std::string& markup, const Font& font) {
    PangoLayout* layout = MakeLayout(cr, markup, font);
    const Extents e = InkOf(layout);
    g_object_unref(layout);
    return e;
}

Extents DrawText(cairo_t* cr, const std::string& markup, const Font& font, double x, double y, Align align) {
    PangoLayout* layout = MakeLayout(cr, markup, font);
    const Extents e = InkOf(layout);
    double left = x;
    if (align == Align::Centre) left = x - e.w / 2;
    if (align == Align::Right) left = x - e.w;
    cairo_move_to(cr, left - e.x, y - e.y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return {left, y, e.w, e.h};
}

void GlyphPath(cairo_t* cr, const std::string& text, const char* family, double x, double y, double w,
               double h) {
    PangoLayout* layout = MakeLayout(cr, text, Font{family, 200});
    const Extents e = InkOf(layout);
    double sx = w > 0 ? w / e.w : 0, sy = h > 0 ? h / e.h : 0;
    if (sx == 0) sx = sy;
    if (sy == 0) sy = sx;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, sx, sy);
    cairo_move_to(cr, -e.x, -e.y);
    pango_cairo_layout_path(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

}  // namespace resgen
