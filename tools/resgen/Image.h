// Pictures in memory for the art generator: 0x00RRGGBB pixels, top row first, the same
// layout as cairo's RGB24 surfaces, so cairo can draw straight into an Image.
//
// The art is laid out in layout pixels (the 800 x 520 window) and drawn in device
// pixels: the set being drawn has DevicePixels() of them per layout pixel across and
// down. Pixel access (at, w, h, px) is in device pixels; Fill, Crop and Paste, Canvas
// and every cairo drawing through a Painter take layout pixels.
#pragma once

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace resgen {

constexpr uint32_t Rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r & 0xFF) << 16) | (static_cast<uint32_t>(g & 0xFF) << 8) |
           static_cast<uint32_t>(b & 0xFF);
}
constexpr int Red(uint32_t c) { return (c >> 16) & 0xFF; }
constexpr int Green(uint32_t c) { return (c >> 8) & 0xFF; }
constexpr int Blue(uint32_t c) { return c & 0xFF; }

inline int Clamp255(double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); }
inline uint32_t RgbF(double r, double g, double b) { return Rgb(Clamp255(r), Clamp255(g), Clamp255(b)); }

// a + (b - a) t, per channel.
inline uint32_t Mix(uint32_t a, uint32_t b, double t) {
    return RgbF(Red(a) + (Red(b) - Red(a)) * t, Green(a) + (Green(b) - Green(a)) * t,
                Blue(a) + (Blue(b) - Blue(a)) * t);
}
// Every channel times f.
inline uint32_t Scale(uint32_t c, double f) { return RgbF(Red(c) * f, Green(c) * f, Blue(c) * f); }

// Device pixels per layout pixel of the set being drawn: 1, or 2 for the 2x set.
int DevicePixels();
void SetDevicePixels(int scale);
// The centre of device column (or row) i in layout pixels, such that the mean of a
// function sampled at the device pixels of one layout pixel comes close to its value
// at that layout pixel (exactly i when the scale is 1).
inline double LayoutAt(int i) { return (i + 0.5) / DevicePixels() - 0.5; }

struct Image {
    int w = 0;
    int h = 0;
    std::vector<uint32_t> px;

    Image() = default;
    Image(int width, int height, uint32_t fill = 0)
        : w(width), h(height), px(static_cast<size_t>(width) * height, fill) {}

    uint32_t& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }

    // In layout pixels.
    void Fill(int x, int y, int fw, int fh, uint32_t c);
    Image Crop(int x, int y, int cw, int ch) const;
    void Paste(const Image& src, int x, int y);
    // Every device pixel of layout pixel (x, y).
    void FillPixel(int x, int y, uint32_t c) { Fill(x, y, 1, 1, c); }
    // Drops the byte cairo may leave above the colour.
    void Clean();
};

// An image of w x h layout pixels at the scale being drawn.
inline Image Canvas(int w, int h, uint32_t fill = 0) {
    return Image(w * DevicePixels(), h * DevicePixels(), fill);
}

// A cairo context drawing into an Image in layout pixels; flushes back when it goes.
class Painter {
public:
    explicit Painter(Image& image);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;
    cairo_t* cr() const { return cr_; }
    operator cairo_t*() const { return cr_; }

private:
    Image& image_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

// A cairo surface sharing an Image's pixels, for use as a source pattern.
cairo_surface_t* SurfaceOf(Image& image);

inline void SetColor(cairo_t* cr, uint32_t c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, Red(c) / 255.0, Green(c) / 255.0, Blue(c) / 255.0, alpha);
}

}  // namespace resgen
