// The library's version text.
#pragma once

#include "picdex/export.h"

namespace picdex {

// "major.minor.patch"; a static string owned by the library.
PICDEX_API const char* GetVersion();

}  // namespace picdex
