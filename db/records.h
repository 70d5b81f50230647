// The records are part of the public interface (the host reads folder and month rows
// through the service operations); see picdex/records.h.
#pragma once

#include "picdex/records.h"
