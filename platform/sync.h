// Events, waits, locks and interlocked operations are part of the public interface
// (hosts wait on the worker threads' handles); see picdex/sync.h.
#pragma once

#include "picdex/sync.h"
