// The program icon as an .ico file, and as the pictures a desktop shows for it.
#pragma once

#include <string>

#include "Formats.h"

namespace resgen {

Bytes ProgramIcon();

// The same design at side x side pixels, drawn at that size, as a PNG file.
bool WriteDesktopIconPng(int side, const std::string& path);
// The same design as a scalable SVG file.
bool WriteDesktopIconSvg(const std::string& path);

}  // namespace resgen
