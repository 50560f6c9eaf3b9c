#include "Image.h"

namespace resgen {

namespace {
int g_devicePixels = 1;
}

int DevicePixels() { return g_devicePixels; }
void SetDevicePixels(int scale) { g_devicePixels = scale; }

void Image::Fill(int x, int y, int fw, int fh, uint32_t c) {
    const int s = DevicePixels();
    x *= s, y *= s, fw *= s, fh *= s;
    for (int j = std::max(0, y); j < std::min(h, y + fh); ++j)
        for (int i = std::max(0, x); i < std::min(w, x + fw); ++i) at(i, j) = c;
}

Image Image::Crop(int x, int y, int cw, int ch) const {
    const int s = DevicePixels();
    x *= s, y *= s, cw *= s, ch *= s;
    Image out(cw, ch);
    for (int j = 0; j < ch; ++j)
        for (int i = 0; i < cw; ++i)
            if (Inside(x + i, y + j)) out.at(i, j) = at(x + i, y + j);
    return out;
}

void Image::Paste(const Image& src, int x, int y) {
    const int s = DevicePixels();
    x *= s, y *= s;
    for (int j = 0; j < src.h; ++j)
        for (int i = 0; i < src.w; ++i)
            if (Inside(x + i, y + j)) at(x + i, y + j) = src.at(i, j);
}

void Image::Clean() {
    for (uint32_t& p : px) p &= 0x00FFFFFF;
}

cairo_surface_t* SurfaceOf(Image& image) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(image.px.data()),
                                               CAIRO_FORMAT_RGB24, image.w, image.h, image.w * 4);
}

Painter::Painter(Image& image) : image_(image), surface_(SurfaceOf(image)), cr_(cairo_create(surface_)) {
    if (DevicePixels() != 1) cairo_scale(cr_, DevicePixels(), DevicePixels());
}

Painter::~Painter() {
    cairo_destroy(cr_);
    cairo_surface_flush(surface_);
    cairo_surface_destroy(surface_);
    image_.Clean();
}

}  // namespace resgen
