// libFuzzer target: the input is the start of an NTFS volume (boot sector and master
// file table). It is written to a memory file that drive Z: reads as its raw device,
// and the reader runs both passes over it. Every picture delivered must have a sane
// folder path: the drive root, or a path below it without a trailing backslash that
// fits the reader's path buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "picdex/drives.h"
#include "scan/common_func.h"
#include "scan/ntfs_reader.h"

namespace {

int g_fd = -1;

void Check(_tagMftEntry* e, int, void*) {
    const wchar_t* folder = e->szFolderPath;
    if (!folder || !e->szName || !e->szName[0]) std::abort();
    std::wstring f(folder);
    if (f.size() < 3 || f.compare(0, 3, L"Z:\\") != 0 || f.size() >= 1024) std::abort();
    if (f.size() > 3 && (f.back() == L'\\' || f.find(L"\\\\") != std::wstring::npos)) std::abort();
    if (std::wstring(e->szName).find_first_of(L"\\/") != std::wstring::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_fd = memfd_create("volume", 0);
    if (g_fd < 0) std::abort();
    std::string table = "Z=/,fs=NTFS,device=/proc/self/fd/" + std::to_string(g_fd);
    if (!picdex::SetDriveTable(table, nullptr)) std::abort();
    CCommonFunc::InitPicExt({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, data, size, 0) != ssize_t(size)) std::abort();
    CNtfsReader reader;
    reader.m_pfnFound = Check;
    if (!reader.OpenVolume('Z')) std::abort();
    if (reader.ReadBoot()) reader.ReadAll();
    return 0;
}
