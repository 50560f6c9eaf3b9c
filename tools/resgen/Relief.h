// Carved and raised shapes as a height field, lit from the top left: the wooden scrolls,
// the end blocks, the metal and gold frames. Each pixel has a height and a coverage
// (0..1, for smooth edges); Shade lights the covered pixels over an image.
#pragma once

#include <vector>

#include "Image.h"

namespace resgen {

struct Point {
    double x, y;
};

class Relief {
public:
    Relief(int w, int h) : w_(w), h_(h), height_(size_t(w) * h, 0.f), cover_(size_t(w) * h, 0.f) {}

    // A dome of radius r rising to height at its centre (a rounded bead).
    void Dome(double cx, double cy, double r, double height);
    // A rounded bead along a path: one dome per point, radius per point.
    void Tube(const std::vector<Point>& path, const std::vector<double>& radius, double height);
    // A rounded rectangle with a flat top and a rounded bevel of width bevel around it.
    void Block(double x, double y, double w, double h, double corner, double bevel, double height);
    // Lowers the height inside a rounded rectangle to a flat floor (a recess in a block).
    void Recess(double x, double y, double w, double h, double corner, double bevel, double depth);
    // Lowers the height where a mask (0..1) is set: engraving.
    void Engrave(const std::vector<float>& mask, double depth);

    float Height(int x, int y) const { return height_[Index(x, y)]; }
    float Cover(int x, int y) const { return cover_[Index(x, y)]; }
    int w() const { return w_; }
    int h() const { return h_; }

private:
    size_t Index(int x, int y) const { return size_t(y) * w_ + x; }
    void Put(int x, int y, double height, double cover);

    int w_, h_;
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

// A soft shadow of the relief, offset by (dx, dy), darkening the image around it.
void CastShadow(Image& image, const Relief& relief, int dx, int dy, int blur, double strength);
// Lights every covered pixel: albedo colour of the same pixel times the light, blended
// over the image by coverage.
void Shade(Image& image, const Relief& relief, const Image& albedo, const Material& m);

}  // namespace resgen
