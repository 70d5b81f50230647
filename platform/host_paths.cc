#include "picdex/host_paths.h"

#include "platform/codepage.h"
#include "platform/drives.h"

namespace picdex {

bool HostToLibraryPath(const std::string& hostPath, CString* path) {
    CString out;
    if (!plat::ToLibraryPath(hostPath, out)) return false;
    if (path) *path = std::move(out);
    return true;
}

bool LibraryToHostPath(const CString& path, std::string* hostPath) {
    std::string out;
    if (!plat::ToHostPath(path, out)) return false;
    if (hostPath) *hostPath = std::move(out);
    return true;
}

CString Utf8ToText(const std::string& utf8) {
    return plat::MultiByteToWide(CP_UTF8, utf8);
}

std::string TextToUtf8(const CString& text) {
    return plat::WideToMultiByte(CP_UTF8, text);
}

}  // namespace picdex
