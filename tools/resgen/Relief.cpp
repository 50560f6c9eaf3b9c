#include "Relief.h"

#include <algorithm>
#include <cmath>

namespace resgen {

const Material kWoodFinish{0.45, 0.62, 0.28, 18, Rgb(255, 228, 190), 1.0};
const Material kPolishedMetal{0.35, 0.7, 0.9, 24, Rgb(255, 255, 255), 1.4};
const Material kGold{0.4, 0.66, 0.85, 16, Rgb(255, 244, 200), 1.4};

void Relief::Put(int x, int y, double height, double cover) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || cover <= 0) return;
    const size_t i = Index(x, y);
    x0_ = std::min(x0_, x), y0_ = std::min(y0_, y), x1_ = std::max(x1_, x), y1_ = std::max(y1_, y);
    height_[i] = std::max(height_[i], static_cast<float>(height));
    cover_[i] = std::max(cover_[i], static_cast<float>(std::min(cover, 1.0)));
}

void Relief::Dome(double cx, double cy, double r, double height) {
    const int s = DevicePixels();
    cx *= s, cy *= s, r *= s;
    for (int y = int(std::floor(cy - r - 1)); y <= int(std::ceil(cy + r + 1)); ++y)
        for (int x = int(std::floor(cx - r - 1)); x <= int(std::ceil(cx + r + 1)); ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            const double cover = r - d + 0.5;
            if (cover <= 0) continue;
            const double q = std::min(d / r, 1.0);
            Put(x, y, height * std::sqrt(1 - q * q), cover);
        }
}

void Relief::Tube(const std::vector<Point>& path, const std::vector<double>& radius, double height) {
    for (size_t i = 0; i < path.size(); ++i) Dome(path[i].x, path[i].y, radius[i], height * radius[i]);
}

namespace {

// Distance from (px, py) inside a rounded rectangle to its edge (negative outside).
double InsetOf(double px, double py, double x, double y, double w, double h, double corner) {
    const double cx = std::clamp(px, x + corner, x + w - corner);
    const double cy = std::clamp(py, y + corner, y + h - corner);
    const double dx = px - cx, dy = py - cy;
    if (dx == 0 && dy == 0) return corner + std::min({px - x - corner, x + w - px - corner,
                                                      py - y - corner, y + h - py - corner});
    return corner - std::hypot(dx, dy);
}

}  // namespace

void Relief::Block(double x, double y, double w, double h, double corner, double bevel, double height) {
    const int s = DevicePixels();
    x *= s, y *= s, w *= s, h *= s, corner *= s, bevel *= s;
    for (int py = std::max(0, int(y) - 1); py < std::min(h_, int(y + h) + 1); ++py)
        for (int px = std::max(0, int(x) - 1); px < std::min(w_, int(x + w) + 1); ++px) {
            const double in = InsetOf(px + 0.5, py + 0.5, x, y, w, h, corner);
            const double cover = in + 0.5;
            if (cover <= 0) continue;
            const double q = std::clamp(1 - in / bevel, 0.0, 1.0);
            Put(px, py, height * std::sqrt(1 - q * q), cover);
        }
}

void Relief::Recess(double x, double y, double w, double h, double corner, double bevel, double depth) {
    const int s = DevicePixels();
    x *= s, y *= s, w *= s, h *= s, corner *= s, bevel *= s;
    for (int py = std::max(0, int(y) - 1); py < std::min(h_, int(y + h) + 1); ++py)
        for (int px = std::max(0, int(x) - 1); px < std::min(w_, int(x + w) + 1); ++px) {
            const double in = InsetOf(px + 0.5, py + 0.5, x, y, w, h, corner);
            if (in <= -0.5) continue;
            const double t = std::clamp(in / bevel, 0.0, 1.0);
            height_[Index(px, py)] -= static_cast<float>(depth * std::sin(t * 1.5707963));
        }
}

void Relief::Engrave(const std::vector<float>& mask, double depth) {
    for (size_t i = 0; i < height_.size(); ++i) height_[i] -= static_cast<float>(mask[i] * depth);
}

void CastShadow(Image& image, const Relief& relief, int dx, int dy, int blur, double strength) {
    const int scale = DevicePixels();
    dx *= scale, dy *= scale, blur *= scale;
    if (relief.x1() < relief.x0()) return;
    // Only the covered pixels, moved and spread by the blur, can darken: work in that
    // region alone. Past its edges the shadow is nothing, so clamping there reads what
    // the whole picture would hold.
    const int m = 2 * blur + 1;
    const int rx0 = std::max(0, relief.x0() + dx - m), rx1 = std::min(relief.w() - 1, relief.x1() + dx + m);
    const int ry0 = std::max(0, relief.y0() + dy - m), ry1 = std::min(relief.h() - 1, relief.y1() + dy + m);
    if (rx1 < rx0 || ry1 < ry0) return;
    const int w = rx1 - rx0 + 1, h = ry1 - ry0 + 1;
    std::vector<float> s(size_t(w) * h, 0.f), t(s.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = rx0 + x - dx, sy = ry0 + y - dy;
            if (sx >= 0 && sy >= 0 && sx < relief.w() && sy < relief.h()) s[size_t(y) * w + x] = relief.Cover(sx, sy);
        }
    // Two box blurs, across and down, twice: close to a gaussian.
    for (int pass = 0; pass < 2 && blur > 0; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                for (int k = -blur; k <= blur; ++k) sum += s[size_t(y) * w + std::clamp(x + k, 0, w - 1)];
                t[size_t(y) * w + x] = sum / (2 * blur + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                for (int k = -blur; k <= blur; ++k) sum += t[size_t(std::clamp(y + k, 0, h - 1)) * w + x];
                s[size_t(y) * w + x] = sum / (2 * blur + 1);
            }
    }
    for (int y = 0; y < h && ry0 + y < image.h; ++y)
        for (int x = 0; x < w && rx0 + x < image.w; ++x) {
            const double k = 1 - strength * s[size_t(y) * w + x] * (1 - relief.Cover(rx0 + x, ry0 + y));
            image.at(rx0 + x, ry0 + y) = Scale(image.at(rx0 + x, ry0 + y), k);
        }
}

void Shade(Image& image, const Relief& relief, const Albedo& albedo, const Material& m) {
    // The lamp stands at the top left, in front of the picture.
    const double lx = -0.45, ly = -0.55, lz = 0.70;
    const double ln = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double Lx = lx / ln, Ly = ly / ln, Lz = lz / ln;
    // Half-way vector between the lamp and the viewer straight in front.
    const double hn = std::sqrt(Lx * Lx + Ly * Ly + (Lz + 1) * (Lz + 1));
    const double Hx = Lx / hn, Hy = Ly / hn, Hz = (Lz + 1) / hn;
    const int w = relief.w(), h = relief.h();
    // Heights are in layout pixels: a slope across one layout pixel is the same at
    // every scale.
    const int s = DevicePixels();
    for (int y = std::max(0, relief.y0()); y <= relief.y1(); ++y)
        for (int x = std::max(0, relief.x0()); x <= relief.x1(); ++x) {
            const double cover = relief.Cover(x, y);
            if (cover <= 0) continue;
            auto H = [&](int i, int j) {
                i = std::clamp(i, 0, w - 1);
                j = std::clamp(j, 0, h - 1);
                return relief.Cover(i, j) > 0 ? relief.Height(i, j) : 0.f;
            };
            double nx = -(H(x + 1, y) - H(x - 1, y)) * 0.5 * m.relief * s;
            double ny = -(H(x, y + 1) - H(x, y - 1)) * 0.5 * m.relief * s;
            double nz = 1;
            const double nn = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= nn; ny /= nn; nz /= nn;
            const double diffuse = std::max(0.0, nx * Lx + ny * Ly + nz * Lz) / Lz;
            const double spec = std::pow(std::max(0.0, nx * Hx + ny * Hy + nz * Hz), m.shininess);
            const double k = m.ambient + m.diffuse * diffuse;
            const uint32_t a = albedo(x, y);
            const uint32_t lit = RgbF(Red(a) * k + Red(m.glint) * m.specular * spec,
                                      Green(a) * k + Green(m.glint) * m.specular * spec,
                                      Blue(a) * k + Blue(m.glint) * m.specular * spec);
            image.at(x, y) = Mix(image.at(x, y), lit, cover);
        }
}

}  // namespace resgen
