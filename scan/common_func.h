// CCommonFunc and _tagSimpleFileInfo are part of the public interface; see
// picdex/common_func.h.
#pragma once

#include "picdex/common_func.h"
