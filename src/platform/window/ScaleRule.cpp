#include "platform/window/ScaleRule.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"
#include "raster/DeviceScale.h"

namespace clavora {

namespace {

// A positive finite number, or 0.
double Number(const std::string& text) {
    if (text.empty()) return 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (!end || *end != '\0' || !std::isfinite(v) || v <= 0) return 0;
    return v;
}

}  // namespace

int ChooseScale(const ScaleClues& clues) {
    double wanted = Number(clues.clavoraScale);
    if (wanted == 0) wanted = clues.outputScale > 0 ? clues.outputScale : 0;
    if (wanted == 0) wanted = Number(clues.gdkScale);
    if (wanted == 0 && clues.xftDpi > 0) wanted = clues.xftDpi / 96.0;
    if (wanted == 0) wanted = 1;
    int scale = static_cast<int>(std::floor(wanted + 0.5));
    scale = scale < 1 ? 1 : scale > kMaxDeviceScale ? kMaxDeviceScale : scale;
    if (clues.usableWidth > 0 && clues.usableHeight > 0) {
        const auto fits = [&](int s) {
            return kFrameWidth * s * clues.unitsPerPixel <= clues.usableWidth &&
                   kFrameHeight * s * clues.unitsPerPixel <= clues.usableHeight;
        };
        while (scale > 1 && !fits(scale)) --scale;
    }
    return scale;
}

int XftDpiOf(const char* resources) {
    static constexpr char kName[] = "Xft.dpi:";
    for (const char* line = resources; line && *line;) {
        if (std::strncmp(line, kName, sizeof kName - 1) == 0) {
            const double dpi = std::strtod(line + sizeof kName - 1, nullptr);
            return dpi > 0 && dpi < 10000 ? static_cast<int>(std::lround(dpi)) : 0;
        }
        line = std::strchr(line, '\n');
        if (line) ++line;
    }
    return 0;
}

}  // namespace clavora
