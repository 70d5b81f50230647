#include "scan/common_func.h"

#include <map>
#include <string>
#include <vector>

#include "picdex/sync.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/filefind.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "scan/date_text.h"
#include "scan/md5_checksum.h"
#include "scan/number_text.h"

namespace {

// The process-wide picture extension table.
std::set<DWORD> g_picExtKeys;
CString g_picExtFilter;

// The extensions in force when the host names none, in this order. PNG and EPS appear
// twice on purpose: the filter text names them twice, the key set holds them once.
const wchar_t* const kDefaultPicExts[] = {
    L"JPG", L"BMP", L"GIF", L"ICO", L"PNG", L"IMG", L"TIFF", L"TIF", L"EMF",
    L"PSD", L"EPS", L"RAW", L"PXR", L"MAC", L"TGA", L"VST",  L"PCD", L"PCT",
    L"AI",  L"FPX", L"CAL", L"WI",  L"PNG", L"EPS", L"SCT",  L"PDP", L"DXF",
};

// The full character code as a 32-bit value; 8-bit text is taken as signed bytes, so
// a byte 0x80..0xFF enters a key sign-extended (0xE9 as 0xFFFFFFE9).
inline DWORD CharCode(wchar_t c) {
    return DWORD(c);
}
inline DWORD CharCode(char c) {
    return DWORD(int(static_cast<signed char>(c)));
}

// Whether the walk towards the dot refuses the name at this character: a code above
// 127. A signed byte never is, so 8-bit names are never refused here and their bytes
// above 0x7F reach the key as signed bytes.
inline bool AboveAscii(wchar_t c) {
    return DWORD(c) > 127u;
}
inline bool AboveAscii(char) {
    return false;
}

// The key of an extension: its first one to four characters, each ORed with 0x20 (ASCII
// letters fold to lower case) and placed from the high byte down.
template <class Ch>
DWORD ExtKey(const Ch* ext, size_t length) {
    DWORD key = 0;
    for (size_t i = 0; i < 4 && i < length && ext[i] != Ch(0); ++i)
        key |= (CharCode(ext[i]) | 0x20u) << (24 - 8 * i);
    return key;
}

// Walks back from the last character to the second one, stopping at the first dot;
// any character above code 127 on the way rules the name out. Without a dot, the
// extension is the text after the first character.
template <class Ch>
int IsPicFileT(const Ch* name, int len) {
    if (name == nullptr) return 0;
    size_t length = len < 1 ? std::char_traits<Ch>::length(name) : size_t(len);
    size_t extStart = length == 0 ? 0 : 1;
    for (size_t i = length; i-- > 1;) {
        if (name[i] == Ch('.')) {
            extStart = i + 1;
            break;
        }
        if (AboveAscii(name[i])) return 0;
    }
    DWORD key = ExtKey(name + extStart, length - extStart);
    return g_picExtKeys.count(key) ? 1 : 0;
}

// Paths longer than the longest path the system's file API takes are refused by the
// folder creation, which would otherwise walk up a huge text level by level.
constexpr size_t kMaxPathLength = 32767;

// Lists `folder` + "*": sub-folders' full paths go into `subFolders`, every picture file
// is handed to `addPicture`. `stop` (may be 0) is polled before each entry.
template <class AddPicture>
int ListFolder(const CString& folder, std::set<CString>& subFolders, HANDLE stop,
               AddPicture addPicture) {
    CFileFind finder;
    if (!finder.FindFile(folder + L"*")) return 0;
    for (BOOL more = TRUE; more;) {
        if (stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return 0;
        more = finder.FindNextFile();
        if (finder.IsDots()) continue;
        if (finder.IsDirectory()) {
            subFolders.insert(finder.GetFilePath());
            continue;
        }
        CString name = finder.GetFileName();
        if (CCommonFunc::IsPicFile(name)) addPicture(finder, std::move(name));
    }
    return 1;
}

}  // namespace

// ---- Picture recognition --------------------------------------------------------------

void CCommonFunc::InitPicExt(const std::set<CString>& exts) {
    g_picExtFilter.clear();
    g_picExtKeys.clear();
    if (exts.empty()) {
        for (const wchar_t* ext : kDefaultPicExts) {
            g_picExtKeys.insert(ExtKey(ext, std::char_traits<wchar_t>::length(ext)));
            g_picExtFilter += g_picExtFilter.empty() ? L"*." : L" | *.";
            g_picExtFilter += ext;
        }
        return;
    }
    for (const CString& ext : exts) {
        g_picExtKeys.insert(ExtKey(ext.c_str(), ext.size()));
        g_picExtFilter += g_picExtFilter.empty() ? L"*." : L" | *.";
        g_picExtFilter += ext;
    }
}

const CString& CCommonFunc::GetPicExtFilter() {
    return g_picExtFilter;
}

int CCommonFunc::IsPicFile(const wchar_t* name, int len) {
    return IsPicFileT(name, len);
}

int CCommonFunc::IsPicFile(const char* name, int len) {
    return IsPicFileT(name, len);
}

int CCommonFunc::IsPicFile(const CString& name) {
    return IsPicFileT(name.c_str(), int(name.size()));
}

// ---- Path texts -------------------------------------------------------------------------

CString CCommonFunc::GetCurModulePath() {
    CString module;
    if (GetModuleFileNameW(nullptr, module) == 0) return L".";
    int pos = plat::ReverseFind(module, L'\\');
    if (pos <= 0) return L".";
    return plat::Left(module, pos + 1);
}

void CCommonFunc::CheckFolderName(CString& path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
}

CString CCommonFunc::GetParentFolder(CString path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    int pos = plat::ReverseFind(path, L'\\');
    if (pos <= 0) return CString();
    return plat::Left(path, pos + 1);
}

CString CCommonFunc::GetTitle(CString path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    int pos = plat::ReverseFind(path, L'\\');
    if (pos <= 0) return path;
    return plat::Mid(path, pos + 1);
}

CString CCommonFunc::GetFileExt(const CString& name) {
    int pos = plat::ReverseFind(name, L'.');
    if (pos <= 0) return CString();
    return plat::Mid(name, pos + 1);
}

int CCommonFunc::IsDirectory(const CString& path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int CCommonFunc::IsInNTFS(const CString& path) {
    if (path.size() < 2 || path[1] != L':') return 0;
    const wchar_t root[] = {path[0], L':', L'\\', 0};
    wchar_t fsName[261] = {0};
    if (!GetVolumeInformationW(root, fsName, 261)) return 0;
    return CString(fsName) == L"NTFS" ? 1 : 0;
}

// ---- File system ------------------------------------------------------------------------

int CCommonFunc::CreatePathR(const CString& folder) {
    if (IsDirectory(folder)) return 1;
    if (folder.size() > kMaxPathLength) return 0;
    // Walk up to the first level that exists (or to a path without parent), then create
    // the missing levels from the top down.
    std::vector<CString> missing{folder};
    for (;;) {
        CString parent = GetParentFolder(missing.back());
        if (parent.empty() || IsDirectory(parent)) break;
        missing.push_back(std::move(parent));
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        CreateDirectoryW(*level);
        if (!IsDirectory(*level)) return 0;
    }
    return 1;
}

int CCommonFunc::CreateFileIfNotExist(const CString& file) {
    if (PathFileExistsW(file)) return 1;
    // A name without a folder part ("C:name") has the parent "", which cannot be made.
    if (!CreatePathR(GetParentFolder(file))) return 0;
    HANDLE h = CreateFileW(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(h);
    return 1;
}

int CCommonFunc::EnumFolderChild(const CString& folder, std::set<CString>& picNames,
                                 std::set<CString>& subFolders) {
    try {
        return ListFolder(folder, subFolders, nullptr, [&](const CFileFind&, CString&& name) {
            picNames.insert(std::move(name));
        });
    } catch (...) {
        return 0;  // out of memory: what was inserted stays
    }
}

int CCommonFunc::EnumFolderChild(const CString& folder, std::set<_tagSimpleFileInfo>& pics,
                                 std::set<CString>& subFolders, HANDLE stop) {
    try {
        return ListFolder(folder, subFolders, stop, [&](const CFileFind& finder, CString&& name) {
            _tagSimpleFileInfo info;
            info.strFileName = std::move(name);
            info.iFileSize = finder.GetLength();
            finder.GetLastWriteTime(info.tFileModify);
            pics.insert(std::move(info));
        });
    } catch (...) {
        return 0;
    }
}

// ---- Number and date texts --------------------------------------------------------------

int CCommonFunc::CanBeInt(const wchar_t* text, int& value) {
    return scan::IsIntText(text, value) ? 1 : 0;
}

int CCommonFunc::CanBeDouble(const wchar_t* text, double& value) {
    return scan::IsDoubleText(text, value) ? 1 : 0;
}

int CCommonFunc::CanBeFrac(const wchar_t* text, int& numerator, int& denominator) {
    return scan::IsFracText(text, numerator, denominator) ? 1 : 0;
}

int CCommonFunc::CanBeTime(const wchar_t* text, CTime& from, CTime& to) {
    return scan::ParseDateRange(text, from, to) ? 1 : 0;
}

int CCommonFunc::CanBeTime(const char* text, CTime& from, CTime& to) {
    return scan::ParseDateRange(text, from, to) ? 1 : 0;
}

// ---- Digests ----------------------------------------------------------------------------

int CCommonFunc::GetMD5(const CString& file, CString& digest) {
    try {
        CString text = CMD5Checksum::GetMD5(file);
        if (text.empty()) return 0;
        digest = std::move(text);
        return 1;
    } catch (...) {
        return 0;
    }
}

CString CCommonFunc::GetMD5(const char* buffer, DWORD length) {
    return CMD5Checksum::GetMD5(reinterpret_cast<const BYTE*>(buffer), length);
}

// ---- Searchable fields ------------------------------------------------------------------

namespace {

struct FieldRow {
    int id;
    int type;
    const wchar_t* name;
    const char* table;
    const char* column;
    int flag;
};

// The searchable fields in the order the table is built. File facts have negative ids,
// EXIF and GPS fields their tag numbers, IPTC fields 512 plus the dataset number. The
// column expressions are SQL over the joined tables of a search statement.
const FieldRow kFieldRows[] = {
    {-1, kFieldText, L"文件全名", "tb_file_info", "(strFullPath || strFileName)", 1},
    {-12, kFieldText, L"文件名", "tb_file_info", "strFileName", 1},
    {-2, kFieldInteger, L"文件大小", "tb_file_info", "iFileSize", 1},
    {-3, kFieldText, L"扩展名", "tb_file_info", "strExt", 1},
    {-4, kFieldText, L"MD5特征码", "tb_file_info", "strMD5", 1},
    {-13, kFieldTime, L"拍照时间", "tb_file_info", "tSnapTime", 1},
    {-5, kFieldTime, L"创建时间", "tb_file_info", "tFileCreate", 1},
    {-6, kFieldTime, L"修改时间", "tb_file_info", "tFileModify", 1},
    {-7, kFieldInteger, L"索引时间", "tb_file_info", "tFileSearch", 1},
    {-8, kFieldInteger, L"图片高度", "tb_file_info", "iHeight", 1},
    {-9, kFieldInteger, L"图片宽度", "tb_file_info", "iWidth", 1},
    {-10, kFieldInteger, L"象素位数", "tb_file_info", "iBPP", 1},
    {-11, kFieldInteger, L"页数", "tb_file_info", "iPageCount", 1},
    {-14, kFieldText, L"快速匹配", "tb_file_info", "strFileName", 0},
    {2, kFieldInteger, L"GPS纬度", "tb_gps_info", "iLatitude", 1},
    {4, kFieldInteger, L"GPS经度", "tb_gps_info", "iLongitute", 1},
    {6, kFieldInteger, L"GPS海拔", "tb_gps_info", "iAltitute", 1},
    {7, kFieldTime, L"卫星时间", "tb_gps_info", "tGpsTime", 1},
    {13, kFieldInteger, L"GPS速度", "tb_gps_info", "iGpsSpeed", 1},
    {527, kFieldText, L"类别", "tb_iptc_info", "strClass", 1},
    {537, kFieldText, L"关健字", "tb_iptc_info", "strKeyWord", 1},
    {632, kFieldText, L"标题", "tb_iptc_info", "strTitle", 1},
    {602, kFieldText, L"城市", "tb_iptc_info", "strCity", 1},
    {604, kFieldText, L"位置", "tb_iptc_info", "strLocation", 1},
    {613, kFieldText, L"国家", "tb_iptc_info", "strCountry", 1},
    {628, kFieldText, L"版权", "tb_iptc_info", "strCopyRight", 1},
    {634, kFieldText, L"作者", "tb_iptc_info", "strWriter", 1},
    {271, kFieldText, L"相机厂商", "tb_exif_info", "strManufacturer", 1},
    {272, kFieldText, L"相机型号", "tb_exif_info", "strModel", 1},
    {34855, kFieldInteger, L"ISO速率", "tb_exif_info", "iISO", 1},
    {33434, kFieldFraction, L"快门", "tb_exif_info", "iExposureTimeL / iExposureTimeR", 1},
    {33437, kFieldFraction, L"光圈", "tb_exif_info", "iApertureL / iApertureR", 1},
    {36867, kFieldTime, L"原始时间", "tb_exif_info", "tOrgTime", 1},
    {36868, kFieldTime, L"数字化时间", "tb_exif_info", "tDigitTime", 1},
    {37380, kFieldFraction, L"曝光补偿", "tb_exif_info", "iExposureCompL / iExposureCompR", 1},
    {37381, kFieldFraction, L"最大光圈", "tb_exif_info", "iWTL / iWTR", 1},
    {37386, kFieldFraction, L"焦距", "tb_exif_info", "iFocalLenL / iFocalLenR", 1},
};

CString Widen(const char* ascii) {
    return CString(ascii, ascii + std::char_traits<char>::length(ascii));
}

// Built once per process on first use and never rebuilt; the function-local static
// also makes a first use from two threads at once safe.
const std::map<int, _tagFieldInfo>& FieldTable() {
    static const std::map<int, _tagFieldInfo> table = [] {
        std::map<int, _tagFieldInfo> t;
        for (const FieldRow& row : kFieldRows)
            t.emplace(row.id, _tagFieldInfo{row.id, row.type, row.name, Widen(row.table),
                                            Widen(row.column), row.flag});
        return t;
    }();
    return table;
}

}  // namespace

int CCommonFunc::GetFieldInfo(int iFieldID, _tagFieldInfo& info) {
    const auto& table = FieldTable();
    auto it = table.find(iFieldID);
    if (it == table.end()) return 0;
    info = it->second;
    return 1;
}
