#include "picdex/version.h"

namespace picdex {

const char* GetVersion() {
    return PICDEX_VERSION;
}

}  // namespace picdex
