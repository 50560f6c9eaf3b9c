#include "Formats.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace resgen {

namespace {

void Put16(Bytes& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

size_t Stride(int width, int bits) { return ((size_t(width) * bits + 31) / 32) * 4; }

// BITMAPINFOHEADER; height as stored (twice the image for an icon's colour and mask).
void InfoHeader(Bytes& b, int width, int height, int bits, size_t imageBytes, int colours) {
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));  // positive: bottom-up
    Put16(b, 1);
    Put16(b, uint32_t(bits));
    Put32(b, 0);  // BI_RGB, no compression
    Put32(b, uint32_t(imageBytes));
    Put32(b, 2835);  // 72 dpi
    Put32(b, 2835);
    Put32(b, uint32_t(colours));
    Put32(b, 0);
}

void Palette(Bytes& b, const std::vector<uint32_t>& palette) {
    for (uint32_t c : palette) Put32(b, c & 0xFFFFFF);
}

// Pixel rows, bottom row first, of indices or colours packed at bits per pixel.
Bytes Rows(int width, int height, int bits, const std::vector<uint32_t>& values) {
    const size_t stride = Stride(width, bits);
    Bytes out(stride * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = values[size_t(y) * width + x];
            switch (bits) {
            case 1: if (v) row[x >> 3] |= uint8_t(0x80 >> (x & 7)); break;
            case 4: row[x >> 1] |= uint8_t((x & 1) ? (v & 0xF) : (v & 0xF) << 4); break;
            case 8: row[x] = uint8_t(v); break;
            default:
                row[3 * x] = Blue(v);
                row[3 * x + 1] = Green(v);
                row[3 * x + 2] = Red(v);
            }
        }
    }
    return out;
}

Bytes Bmp(int width, int height, int bits, const std::vector<uint32_t>& palette,
          const std::vector<uint32_t>& values) {
    const Bytes rows = Rows(width, height, bits, values);
    const size_t offset = 14 + 40 + 4 * palette.size();
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, uint32_t(offset + rows.size()));
    Put32(b, 0);
    Put32(b, uint32_t(offset));
    InfoHeader(b, width, height, bits, rows.size(), int(palette.size()));
    Palette(b, palette);
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

}  // namespace

int NearestIndex(uint32_t c, const std::vector<uint32_t>& palette) {
    int best = 0;
    long bestD = -1;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long dr = Red(c) - Red(palette[i]), dg = Green(c) - Green(palette[i]),
                   db = Blue(c) - Blue(palette[i]);
        const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = int(i);
        }
    }
    return best;
}

Bytes Bmp24(const Image& image) { return Bmp(image.w, image.h, 24, {}, image.px); }

Bytes Bmp4(const Image& image, const std::vector<uint32_t>& palette) {
    std::vector<uint32_t> idx(image.px.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint32_t(NearestIndex(image.px[i], palette));
    return Bmp(image.w, image.h, 4, palette, idx);
}

Bytes Bmp1(const Image& image) {
    std::vector<uint32_t> bits(image.px.size());
    for (size_t i = 0; i < bits.size(); ++i) {
        const uint32_t c = image.px[i];
        bits[i] = (Red(c) + Green(c) + Blue(c)) > 3 * 127 ? 1 : 0;
    }
    return Bmp(image.w, image.h, 1, {Rgb(0, 0, 0), Rgb(255, 255, 255)}, bits);
}

Bytes Wave(const std::vector<float>& samples, int channels) {
    const uint32_t rate = 44100, dataBytes = uint32_t(samples.size() * 2);
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, 36 + dataBytes);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, uint32_t(channels));
    Put32(b, rate);
    Put32(b, rate * 2 * channels);
    Put16(b, uint32_t(2 * channels));
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, dataBytes);
    for (float s : samples) {
        const long v = std::lround(std::clamp(double(s), -1.0, 1.0) * 32767.0);
        Put16(b, uint32_t(v) & 0xFFFF);
    }
    return b;
}

Bytes Ico(const std::vector<IconImage>& images) {
    std::vector<Bytes> blobs;
    for (const IconImage& im : images) {
        const int w = im.colour.w, h = im.colour.h;
        std::vector<uint32_t> idx(im.colour.px.size()), mask(idx.size());
        for (size_t i = 0; i < idx.size(); ++i) {
            // Transparent pixels: mask bit set and colour black, so the screen shows through.
            mask[i] = im.alpha[i] < 128 ? 1 : 0;
            idx[i] = mask[i] ? uint32_t(NearestIndex(0, im.palette))
                             : uint32_t(NearestIndex(im.colour.px[i], im.palette));
        }
        const Bytes xorRows = Rows(w, h, im.bits, idx);
        const Bytes andRows = Rows(w, h, 1, mask);
        Bytes b;
        InfoHeader(b, w, 2 * h, im.bits, xorRows.size() + andRows.size(), 0);
        std::vector<uint32_t> pal = im.palette;
        pal.resize(size_t(1) << im.bits, 0);
        Palette(b, pal);
        b.insert(b.end(), xorRows.begin(), xorRows.end());
        b.insert(b.end(), andRows.begin(), andRows.end());
        blobs.push_back(std::move(b));
    }
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, uint32_t(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& im = images[i];
        out.push_back(uint8_t(im.colour.w & 0xFF));
        out.push_back(uint8_t(im.colour.h & 0xFF));
        out.push_back(im.bits == 4 ? 16 : 0);  // colours in the palette, 0 for 256
        out.push_back(0);
        Put16(out, 1);
        Put16(out, uint32_t(im.bits));
        Put32(out, uint32_t(blobs[i].size()));
        Put32(out, uint32_t(offset));
        offset += blobs[i].size();
    }
    for (const Bytes& b : blobs) out.insert(out.end(), b.begin(), b.end());
    return out;
}

}  // namespace resgen
