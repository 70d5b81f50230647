// Symbol visibility for the library's exported interface. Everything else in
// libpicdex.so is hidden.
#pragma once

#define PICDEX_API __attribute__((visibility("default")))
