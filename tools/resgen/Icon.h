// The program icon as an .ico file.
#pragma once

#include "Formats.h"

namespace resgen {

Bytes ProgramIcon();

}  // namespace resgen
