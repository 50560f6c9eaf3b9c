// The program icon as an .ico file, and as the pictures a desktop shows for it.
#pragma once

#include <string>

#include "Formats.h"

namespace resgen {

// Three images: 32 x 32 and 16 x 16 in sixteen colours and 32 x 32 in 256 colours,
// each side times scale, drawn at that size.
Bytes ProgramIcon(int scale);

// The same design at side x side pixels, drawn at that size, as a PNG file.
bool WriteDesktopIconPng(int side, const std::string& path);
// The same design as a scalable SVG file.
bool WriteDesktopIconSvg(const std::string& path);

}  // namespace resgen
