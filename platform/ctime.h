// Calendar times are part of the public interface; see picdex/ctime.h.
#pragma once

#include "picdex/ctime.h"
