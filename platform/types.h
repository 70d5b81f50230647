// The basic types are part of the public interface; see picdex/types.h.
#pragma once

#include "picdex/types.h"
