// Carved and raised shapes as a height field, lit from the top left: the wooden scrolls,
// the end blocks, the metal and gold frames. Each pixel has a height and a coverage
// (0..1, for smooth edges); Shade lights the covered pixels over an image. Shapes are
// given in layout pixels and heights in layout pixels too, so that a relief drawn at
// two device pixels per layout pixel has the same slopes, only finer.
#pragma once

#include <functional>
#include <vector>

#include "Image.h"

namespace resgen {

struct Point {
    double x, y;
};

class Relief {
public:
    // A flat, empty relief of w x h layout pixels.
    Relief(int w, int h)
        : w_(w * DevicePixels()), h_(h * DevicePixels()), height_(size_t(w_) * h_, 0.f),
          cover_(size_t(w_) * h_, 0.f) {}

    // A dome of radius r rising to height at its centre (a rounded bead).
    void Dome(double cx, double cy, double r, double height);
    // A rounded bead along a path: one dome per point, radius per point.
    void Tube(const std::vector<Point>& path, const std::vector<double>& radius, double height);
    // A rounded rectangle with a flat top and a rounded bevel of width bevel around it.
    void Block(double x, double y, double w, double h, double corner, double bevel, double height);
    // Lowers the height inside a rounded rectangle to a flat floor (a recess in a block).
    void Recess(double x, double y, double w, double h, double corner, double bevel, double depth);
    // Lowers the height where a mask (0..1, one value per device pixel) is set: engraving.
    void Engrave(const std::vector<float>& mask, double depth);

    // Per device pixel.
    float Height(int x, int y) const { return height_[Index(x, y)]; }
    float Cover(int x, int y) const { return cover_[Index(x, y)]; }
    int w() const { return w_; }
    int h() const { return h_; }
    // The device pixels that any shape covers: columns x0..x1, rows y0..y1 (empty when
    // x1 < x0).
    int x0() const { return x0_; }
    int y0() const { return y0_; }
    int x1() const { return x1_; }
    int y1() const { return y1_; }

private:
    size_t Index(int x, int y) const { return size_t(y) * w_ + x; }
    void Put(int x, int y, double height, double cover);

    int w_, h_;
    int x0_ = 1 << 30, y0_ = 1 << 30, x1_ = -1, y1_ = -1;
    std::vector<float> height_;
    std::vector<float> cover_;
};

struct Material {
    double ambient;    // light that reaches every face
    double diffuse;    // light from the lamp at the top left
    double specular;   // strength of the highlight
    double shininess;  // tightness of the highlight
    uint32_t glint;    // colour of the highlight
    double relief;     // how strongly height differences tilt the surface
};

extern const Material kWoodFinish;
extern const Material kPolishedMetal;
extern const Material kGold;

// The colour of a surface at device pixel (x, y).
using Albedo = std::function<uint32_t(int x, int y)>;

// A soft shadow of the relief, offset by (dx, dy) layout pixels and blurred over about
// blur of them, darkening the image around it.
void CastShadow(Image& image, const Relief& relief, int dx, int dy, int blur, double strength);
// Lights every covered pixel: albedo colour of the same pixel times the light, blended
// over the image by coverage.
void Shade(Image& image, const Relief& relief, const Albedo& albedo, const Material& m);

}  // namespace resgen
