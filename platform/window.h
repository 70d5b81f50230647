// Host windows are part of the public interface; see picdex/window.h.
#pragma once

#include "picdex/window.h"
