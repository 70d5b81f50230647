// What a host needs to talk to the library in its own terms: host paths to and from the
// library's form (C:\Photos\a.jpg), and the library's wide text to and from UTF-8.
// Thread-safe; never throws.
#pragma once

#include <string>

#include "picdex/export.h"
#include "picdex/types.h"

namespace picdex {

// An absolute host path as the library writes it, on the drive whose folder holds it
// most closely ("/home/a/Pictures" -> "C:\home\a\Pictures"). Folders come back without
// a trailing backslash, except drive roots ("C:\"). False when no drive holds it or a
// name in it cannot be written in the library's form (a backslash, bytes that are not
// UTF-8).
PICDEX_API bool HostToLibraryPath(const std::string& hostPath, CString* path);

// A library path as a host path ("C:\Photos\a.jpg" -> "/Photos/a.jpg" with C: = "/").
// False when its drive is not mapped.
PICDEX_API bool LibraryToHostPath(const CString& path, std::string* hostPath);

// UTF-8 to and from the library's wide text. Bytes that are not UTF-8 become U+FFFD.
PICDEX_API CString Utf8ToText(const std::string& utf8);
PICDEX_API std::string TextToUtf8(const CString& text);

}  // namespace picdex
