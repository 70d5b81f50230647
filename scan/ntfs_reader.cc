#include "scan/ntfs_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/drives.h"
#include "platform/file.h"
#include "platform/raw_volume.h"
#include "scan/common_func.h"

namespace {

constexpr DWORD kFileSignature = 0x454C4946;  // "FILE"
constexpr DWORD kEndOfAttributes = 0xFFFFFFFFu;
constexpr DWORD kStandardInformation = 0x10;
constexpr DWORD kAttributeList = 0x20;
constexpr DWORD kFileName = 0x30;
constexpr DWORD kData = 0x80;
constexpr WORD kRecordInUse = 0x0001;
constexpr WORD kRecordIsDirectory = 0x0002;
constexpr BYTE kDosNamespace = 2;
constexpr ULONGLONG kRootRecord = 5;
constexpr ULONGLONG kRecordNumberMask = 0xFFFFFFFFFFFFull;  // 48 bits

// Geometry a real volume can have. Anything outside is a damaged boot sector.
constexpr DWORD kMinSectorSize = 256;
constexpr DWORD kMaxSectorSize = 4096;
constexpr DWORD kMaxClusterSize = 2u << 20;
constexpr DWORD kMinRecordSize = 256;
constexpr DWORD kMaxRecordSize = 64u << 10;
constexpr DWORD kMaxAttributeList = 256u << 10;  // the format's own limit

// Folder paths are built in a buffer of this many characters (terminator included).
constexpr size_t kPathBufferChars = 1024;

// Directory states kept in bPathKnown besides 0 (not built yet) and 1 (path built).
// They are set for every directory of a chain that cannot give a path, so that the
// files below them are settled without walking the chain again.
constexpr BYTE kPathOnChain = 2;  // on the chain being walked right now
constexpr BYTE kPathBroken = 3;   // an ancestor is missing or the chain loops
constexpr BYTE kPathTooLong = 4;  // the path does not fit the buffer

inline WORD Get16(const BYTE* p) {
    return WORD(p[0] | (p[1] << 8));
}
inline DWORD Get32(const BYTE* p) {
    return DWORD(p[0]) | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24);
}
inline ULONGLONG Get64(const BYTE* p) {
    return ULONGLONG(Get32(p)) | (ULONGLONG(Get32(p + 4)) << 32);
}

bool IsPowerOfTwo(DWORD v) {
    return v && !(v & (v - 1));
}

// The update sequence: the last word of every 512-byte stride of the record is put
// back from the array. False when the array, or the strides it names, do not fit the
// record; such a record is not parsed. The check value is not compared: a torn write
// shows up as a damaged record at worst, never as a reason to drop the whole record.
bool ApplyFixup(BYTE* rec, DWORD size) {
    DWORD offset = Get16(rec + 4);
    DWORD count = Get16(rec + 6);
    if (count < 2) return true;
    if (offset < 8 || offset + 2 * count > size || 512 * (count - 1) > size) return false;
    for (DWORD i = 1; i < count; ++i)
        std::memcpy(rec + 512 * i - 2, rec + offset + 2 * i, 2);
    return true;
}

// One attribute of a record: where it starts and how long it is, already checked to
// lie inside the record.
struct Attribute {
    const BYTE* p;
    DWORD length;
    DWORD type() const { return Get32(p); }
    bool nonResident() const { return p[8] != 0; }
    BYTE nameLength() const { return p[9]; }
};

// Walks the attributes of a fixed-up record from its first-attribute offset up to the
// end marker or the end of the record. An attribute whose length is too short to hold
// its header or runs past the record ends the walk.
template <typename Fn>
void ForEachAttribute(const BYTE* rec, DWORD size, Fn&& fn) {
    DWORD offset = Get16(rec + 0x14);
    while (offset <= size - 8) {
        if (Get32(rec + offset) == kEndOfAttributes) return;
        if (offset > size - 16) return;
        DWORD length = Get32(rec + offset + 4);
        if (length < 16 || length > size - offset) return;
        if (!fn(Attribute{rec + offset, length})) return;
        offset += length;
    }
}

// One name of a record ($FILE_NAME outside the short-name namespace).
struct RecordName {
    ULONGLONG parent;
    const BYTE* utf16;  // little-endian UTF-16 code units
    int units;
};

// What the record pass takes from one record.
struct RecordFacts {
    bool inUse = false;
    bool directory = false;
    ULONGLONG modifyTime = 0;
    ULONGLONG size = 0;
    bool hasData = false;
    // The first $DATA is the unnamed one and starts the file's data (it holds the sizes).
    bool dataStartsFile = false;
    bool hasList = false;  // the record has an $ATTRIBUTE_LIST: it has extension records
    ULONGLONG base = 0;    // for an extension record, the record number it extends; else 0
    RecordName names[8];   // the last kept names (more are hard links beyond any use)
    int nameCount = 0;
    int namesSeen = 0;
};

void ParseRecord(const BYTE* rec, DWORD size, RecordFacts& f) {
    if (Get32(rec) != kFileSignature) return;
    WORD flags = Get16(rec + 0x16);
    if (!(flags & kRecordInUse)) return;
    f.inUse = true;
    f.directory = (flags & kRecordIsDirectory) != 0;
    f.base = Get64(rec + 0x20) & kRecordNumberMask;
    ForEachAttribute(rec, size, [&](const Attribute& a) {
        switch (a.type()) {
            case kStandardInformation:
                if (!a.nonResident() && a.length >= 0x28) f.modifyTime = Get64(a.p + 0x20);
                break;
            case kAttributeList:
                f.hasList = true;
                break;
            case kFileName: {
                if (a.nonResident() || a.length < 0x5A) break;
                int units = a.p[0x58];
                if (0x5A + 2 * DWORD(units) > a.length) break;
                ULONGLONG parent = Get32(a.p + 0x18) | (ULONGLONG(Get16(a.p + 0x1C)) << 32);
                if (a.p[0x59] == kDosNamespace || units == 0) break;
                RecordName n{parent, a.p + 0x5A, units};
                // Keep the last names when a record carries more than fit.
                if (f.nameCount < int(std::size(f.names))) {
                    f.names[f.nameCount++] = n;
                } else {
                    std::move(f.names + 1, f.names + f.nameCount, f.names);
                    f.names[f.nameCount - 1] = n;
                }
                ++f.namesSeen;
                break;
            }
            case kData:
                if (f.hasData) break;
                f.hasData = true;
                f.dataStartsFile =
                    a.nameLength() == 0 &&
                    (!a.nonResident() || (a.length >= 0x18 && Get64(a.p + 0x10) == 0));
                if (a.nonResident()) {
                    if (a.length >= 0x38) f.size = Get64(a.p + 0x30);
                } else if (a.length >= 0x14) {
                    f.size = Get32(a.p + 0x10);
                }
                break;
            default:
                break;
        }
        return true;
    });
}

// UTF-16 to the library's wide text. A lone surrogate becomes U+FFFD. Names that
// cannot stand as one component of a library path (empty, ".", "..", or holding a
// zero, '\' or '/') give false: such records are treated as having no name.
bool DecodeName(const BYTE* utf16, int units, std::wstring& out) {
    out.clear();
    for (int i = 0; i < units; ++i) {
        DWORD c = Get16(utf16 + 2 * i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            DWORD low = Get16(utf16 + 2 * (i + 1));
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c == 0 || c == L'\\' || c == L'/') return false;
        out.push_back(wchar_t(c));
    }
    return !out.empty() && out != L"." && out != L"..";
}

// Texts of one ReadAll (names and folder paths), freed all at once when it ends.
class TextPool {
public:
    wchar_t* Copy(const wchar_t* text, size_t length) {
        size_t need = length + 1;
        if (m_blocks.empty() || m_used + need > m_blockSize) {
            size_t size = std::max(need, kBlockChars);
            m_blocks.emplace_back(new wchar_t[size]);
            m_blockSize = size;
            m_used = 0;
        }
        wchar_t* p = m_blocks.back().get() + m_used;
        std::memcpy(p, text, length * sizeof(wchar_t));
        p[length] = 0;
        m_used += need;
        return p;
    }

private:
    static constexpr size_t kBlockChars = 64 * 1024;
    std::vector<std::unique_ptr<wchar_t[]>> m_blocks;
    size_t m_blockSize = 0;
    size_t m_used = 0;
};

// A run of $MFT's data: `clusters` clusters from cluster `lcn`; lcn < 0 for a sparse run.
struct Run {
    LONGLONG lcn;
    ULONGLONG clusters;
};

// Decodes a non-resident attribute's data runs. Each run starts with a header byte:
// its low 4 bits give the byte count of the length (unsigned), its high 4 bits that of
// the offset (signed, added to the previous run's cluster); a header of 0 ends the
// list. A run that would read past the attribute, a length of 0 or more than 8 bytes,
// or a cluster number out of range ends the list. So does a run that starts before
// cluster 0: no read can be placed there, and the runs after it are not trusted.
std::vector<Run> DecodeRuns(const BYTE* attr, DWORD length) {
    std::vector<Run> runs;
    if (length < 0x40) return runs;
    DWORD at = Get16(attr + 0x20);
    LONGLONG lcn = 0;
    while (at < length) {
        BYTE header = attr[at];
        if (header == 0) break;
        DWORD lenBytes = header & 0x0F;
        DWORD offBytes = header >> 4;
        if (lenBytes == 0 || lenBytes > 8 || offBytes > 8 || 1 + lenBytes + offBytes > length - at)
            break;
        const BYTE* p = attr + at + 1;
        ULONGLONG clusters = 0;
        for (DWORD i = 0; i < lenBytes; ++i)
            clusters |= ULONGLONG(p[i]) << (8 * i);
        if (clusters == 0) break;
        if (offBytes == 0) {
            runs.push_back(Run{-1, clusters});
        } else {
            ULONGLONG raw = 0;
            for (DWORD i = 0; i < offBytes; ++i)
                raw |= ULONGLONG(p[lenBytes + i]) << (8 * i);
            if (offBytes < 8 && (raw >> (8 * offBytes - 1)) & 1) raw |= ~0ull << (8 * offBytes);
            LONGLONG next;
            if (__builtin_add_overflow(lcn, LONGLONG(raw), &next) || next < 0) break;
            lcn = next;
            runs.push_back(Run{lcn, clusters});
        }
        at += 1 + lenBytes + offBytes;
    }
    return runs;
}

// The offset of the first attribute of `type` with no name (and, when `vcn` is given,
// non-resident and starting at that cluster of the data) in a fixed-up record, or 0.
DWORD FindUnnamed(const BYTE* rec, DWORD size, DWORD type, const ULONGLONG* vcn = nullptr) {
    DWORD found = 0;
    ForEachAttribute(rec, size, [&](const Attribute& a) {
        if (a.type() != type || a.nameLength() != 0) return true;
        if (vcn && (!a.nonResident() || a.length < 0x40 || Get64(a.p + 0x10) != *vcn)) return true;
        found = DWORD(a.p - rec);
        return false;
    });
    return found;
}

struct Volume {
    HANDLE handle;
    ULONGLONG cluster;  // bytes per cluster
    ULONGLONG bytes;    // readable size
};

// Reads `length` bytes from `offset` of the data that `runs` map onto the volume. False
// when a byte lies past the runs, in a sparse run, or outside the volume, or a read
// fails.
bool ReadMapped(const Volume& v, const std::vector<Run>& runs, ULONGLONG offset, BYTE* out,
                DWORD length) {
    while (length) {
        ULONGLONG vcn = offset / v.cluster, first = 0;
        const Run* hit = nullptr;
        for (const Run& r : runs) {
            if (vcn - first < r.clusters) {
                hit = &r;
                break;
            }
            if (__builtin_add_overflow(first, r.clusters, &first)) return false;
        }
        if (!hit || hit->lcn < 0) return false;
        ULONGLONG lcn = ULONGLONG(hit->lcn) + (vcn - first);
        if (lcn >= v.bytes / v.cluster) return false;
        ULONGLONG at = lcn * v.cluster + offset % v.cluster;
        DWORD n = DWORD(std::min<ULONGLONG>(length, v.cluster - offset % v.cluster));
        DWORD got = 0;
        if (at + n > v.bytes || !ReadFileAt(v.handle, out, n, LONGLONG(at), &got) || got != n)
            return false;
        offset += n;
        out += n;
        length -= n;
    }
    return true;
}

// A large or fragmented MFT keeps the runs that do not fit record 0 in extension
// records, listed in record 0's $ATTRIBUTE_LIST: each holds a further piece of the
// unnamed $DATA, starting at a given cluster of the data. Those pieces are read here,
// through the runs already known, and their runs appended in order. A piece that is
// missing, damaged or does not follow on ends the MFT there.
void AppendMftExtents(const Volume& v, const BYTE* record0, DWORD recordSize,
                      std::vector<Run>& runs) {
    DWORD listAt = FindUnnamed(record0, recordSize, kAttributeList);
    if (!listAt) return;
    const BYTE* attr = record0 + listAt;
    DWORD attrLength = Get32(attr + 4);
    std::vector<BYTE> list;
    if (!attr[8]) {
        DWORD at = Get16(attr + 0x14), length = Get32(attr + 0x10);
        if (attrLength < 0x18 || at > attrLength || length > attrLength - at) return;
        list.assign(attr + at, attr + at + length);
    } else {
        if (attrLength < 0x40 || Get64(attr + 0x30) > kMaxAttributeList) return;
        list.resize(size_t(Get64(attr + 0x30)));
        if (!ReadMapped(v, DecodeRuns(attr, attrLength), 0, list.data(), DWORD(list.size())))
            return;
    }
    // Entries: type (32-bit at 0), entry length (16-bit at 4), name length (8-bit at
    // 6), first cluster of the piece (64-bit at 8), the record holding it (at 0x10).
    std::vector<std::pair<ULONGLONG, ULONGLONG>> pieces;  // (first cluster, record)
    for (size_t at = 0; at + 0x18 <= list.size();) {
        DWORD length = Get16(&list[at + 4]);
        if (length < 0x18 || length > list.size() - at) break;
        ULONGLONG vcn = Get64(&list[at + 8]);
        if (Get32(&list[at]) == kData && list[at + 6] == 0 && vcn > 0)
            pieces.emplace_back(vcn, Get64(&list[at + 0x10]) & kRecordNumberMask);
        at += length;
    }
    std::sort(pieces.begin(), pieces.end());
    ULONGLONG covered = 0;
    for (const Run& r : runs)
        if (__builtin_add_overflow(covered, r.clusters, &covered)) return;
    std::vector<BYTE> rec(recordSize);
    for (const auto& [vcn, number] : pieces) {
        if (vcn < covered) continue;  // listed twice
        if (vcn > covered || !ReadMapped(v, runs, number * recordSize, rec.data(), recordSize) ||
            !ApplyFixup(rec.data(), recordSize) || Get32(rec.data()) != kFileSignature ||
            !(Get16(&rec[0x16]) & kRecordInUse) || Get64(&rec[0x20]) == 0 ||
            (Get64(&rec[0x20]) & kRecordNumberMask) != 0)
            return;
        DWORD dataAt = FindUnnamed(rec.data(), recordSize, kData, &vcn);
        if (!dataAt) return;
        std::vector<Run> more = DecodeRuns(rec.data() + dataAt, Get32(&rec[dataAt + 4]));
        for (const Run& r : more) {
            runs.push_back(r);
            if (__builtin_add_overflow(covered, r.clusters, &covered)) return;
        }
        if (more.empty()) return;
    }
}

}  // namespace

struct CNtfsReader::Pass {
    TextPool texts;
    wchar_t* root = nullptr;
    std::wstring name;               // scratch for decoded names
    std::vector<size_t> chain;       // folder indexes, bottom up
    wchar_t path[kPathBufferChars];  // where folder paths are built
    // Files with extension records. Their names may lie in an extension record, which
    // has no $STANDARD_INFORMATION, and their $DATA too. Kept: the pictures that take
    // their size or time from elsewhere (indexes), what the records with an attribute
    // list hold themselves, and the data sizes found in extension records.
    struct Base {
        ULONGLONG number, size, time;
        bool hasData;
        bool operator<(const Base& o) const { return number < o.number; }
    };
    std::vector<size_t> incomplete;
    std::vector<Base> bases;
    std::vector<std::pair<ULONGLONG, ULONGLONG>> extensionSizes;
};

CNtfsReader::CNtfsReader() = default;

CNtfsReader::~CNtfsReader() {
    CloseVolume();
}

void CNtfsReader::CloseVolume() {
    if (m_hVolume) {
        CloseHandle(m_hVolume);
        m_hVolume = nullptr;
    }
    m_bBootOk = false;
}

bool CNtfsReader::OpenVolume(char letter) {
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return false;
    wchar_t root[4] = {wchar_t(letter), L':', L'\\', 0};
    wchar_t fsName[8] = {};
    if (!GetVolumeInformationW(root, fsName, 8) || std::wcscmp(fsName, L"NTFS") != 0) return false;
    std::memcpy(m_szDevice, "\\\\.\\X:", 7);
    m_szDevice[4] = letter;
    m_szRoot = root;
    return true;
}

bool CNtfsReader::ReadBoot() {
    CloseVolume();
    m_bKeepReading = 0;
    m_nDataAttrOffset = 0;
    if (!m_szDevice[0]) return false;
    CString device(m_szDevice, m_szDevice + std::strlen(m_szDevice));
    HANDLE h = CreateFileW(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_hVolume = h;

    DWORD got = 0;
    if (!GetFileSizeEx(h, &m_nVolumeBytes) || !ReadFileAt(h, m_boot, 512, 0, &got) || got != 512)
        return false;

    // Geometry. Sectors per cluster above 128 are written as a negative power of two
    // (large clusters); record sizes as clusters when positive, 2^-v bytes when
    // negative.
    DWORD sectorSize = Get16(m_boot + 0x0B);
    if (!IsPowerOfTwo(sectorSize) || sectorSize < kMinSectorSize || sectorSize > kMaxSectorSize)
        return false;
    BYTE spc = m_boot[0x0D];
    ULONGLONG clusterSize = 0;
    if (spc >= 1 && spc <= 0x80 && IsPowerOfTwo(spc))
        clusterSize = ULONGLONG(spc) * sectorSize;
    else if (spc > 0x80 && 256 - spc <= 20)
        clusterSize = ULONGLONG(sectorSize) << (256 - spc);
    if (clusterSize == 0 || clusterSize > kMaxClusterSize) return false;
    m_nBytesPerCluster = DWORD(clusterSize);

    signed char v = static_cast<signed char>(m_boot[0x40]);
    ULONGLONG recordSize = 0;
    if (v > 0)
        recordSize = ULONGLONG(v) * clusterSize;
    else if (v < 0 && -v <= 16)
        recordSize = 1ull << -v;
    if (recordSize < kMinRecordSize || recordSize > kMaxRecordSize) return false;
    m_nMftRecordSize = DWORD(recordSize);

    // MFT record 0 ($MFT itself), read where the boot sector says the MFT starts.
    ULONGLONG mftLcn = Get64(m_boot + 0x30);
    if (m_nVolumeBytes <= 0 || mftLcn > ULONGLONG(m_nVolumeBytes) / clusterSize) return false;
    ULONGLONG at = mftLcn * clusterSize;
    if (at + recordSize > ULONGLONG(m_nVolumeBytes)) return false;
    m_pRecord0.reset(new BYTE[recordSize]);
    if (!ReadFileAt(h, m_pRecord0.get(), m_nMftRecordSize, LONGLONG(at), &got) ||
        got != m_nMftRecordSize)
        return false;
    if (!ApplyFixup(m_pRecord0.get(), m_nMftRecordSize) ||
        Get32(m_pRecord0.get()) != kFileSignature)
        return false;
    m_nDataAttrOffset = FindUnnamed(m_pRecord0.get(), m_nMftRecordSize, kData);
    m_bBootOk = true;
    return true;
}

void CNtfsReader::ReadAll() {
    m_bKeepReading = 1;
    m_vecPictures.clear();
    m_vecFolders.clear();
    {
        Pass pass;
        CString root = m_szRoot;
        pass.root = pass.texts.Copy(root.c_str(), root.size());
        if (m_bKeepReading) {
            m_bSecondPass = 0;
            m_nRecordsSeen = 0;
            m_nPictureCount = 0;
            if (m_bBootOk) RecordPass(pass);
        }
        if (m_bKeepReading) {
            m_bSecondPass = 1;
            FolderPass(pass);
        }
        m_nPictureCount = LONG(m_vecPictures.size());
        // The entries point into the pass's texts: both go together.
        std::vector<_tagMftEntry>().swap(m_vecPictures);
        std::vector<_tagMftEntry>().swap(m_vecFolders);
    }
    // Back to "not reading" so that a status read between drives shows the first pass.
    m_bSecondPass = 0;
    m_bKeepReading = 0;
}

void CNtfsReader::RecordPass(Pass& pass) {
    if (!m_nDataAttrOffset) return;
    const BYTE* attr = m_pRecord0.get() + m_nDataAttrOffset;
    DWORD attrLength = Get32(attr + 4);
    // A resident $MFT data, or one too short for its sizes, is no MFT to read.
    if (!attr[8] || attrLength < 0x40) return;
    const ULONGLONG cluster = m_nBytesPerCluster;
    const DWORD recordSize = m_nMftRecordSize;
    const ULONGLONG volume = ULONGLONG(m_nVolumeBytes);
    std::vector<Run> runs = DecodeRuns(attr, attrLength);
    AppendMftExtents(Volume{m_hVolume, cluster, volume}, m_pRecord0.get(), recordSize, runs);
    // Records beyond the MFT's data size are not initialised (they may hold records of
    // an older file system), and the MFT cannot be larger than the volume: together
    // these bound the bytes read, however many or long the runs claim to be.
    ULONGLONG left = std::min(Get64(attr + 0x30), volume);

    // Records may straddle chunk and run boundaries (small clusters, or a record size
    // that is not a whole number of clusters), so the runs are read as one stream and
    // the bytes of an unfinished record are carried to the next read.
    const ULONGLONG chunk = std::max<ULONGLONG>(4 * cluster, recordSize);
    std::vector<BYTE> buffer(chunk + recordSize);
    size_t have = 0;          // bytes in buffer, from the start of a record
    ULONGLONG streamPos = 0;  // MFT offset of the next byte read
    RecordFacts facts;

    auto parse = [&](BYTE* rec, ULONGLONG index) {
        if (!ApplyFixup(rec, recordSize)) return;
        facts = RecordFacts{};
        ParseRecord(rec, recordSize, facts);
        // Records laid out before version 3.1 carry no number of their own: their
        // place in the MFT is their number.
        ULONGLONG number = Get16(rec + 4) >= 0x30 ? Get32(rec + 0x2C) : index;
        if (facts.hasList)
            pass.bases.push_back({number, facts.size, facts.modifyTime, facts.dataStartsFile});
        if (facts.base && facts.dataStartsFile)
            pass.extensionSizes.emplace_back(facts.base, facts.size);
        if (!facts.inUse || facts.nameCount == 0) return;
        bool kept = false;
        if (facts.directory) {
            const RecordName& n = facts.names[facts.nameCount - 1];
            if (DecodeName(n.utf16, n.units, pass.name)) {
                _tagMftEntry e;
                e.nRecordNumber = number;
                e.nParentRef = n.parent & kRecordNumberMask;
                e.szName = pass.texts.Copy(pass.name.c_str(), pass.name.size());
                e.bDirectory = 1;
                e.nLastModifyTime = facts.modifyTime;
                m_vecFolders.push_back(e);
                kept = true;
            }
        } else {
            // Hard links: every name of the file is a path to it, as a walk of the
            // folders would find, so each name that is a picture gives an entry of its
            // own (same record, its own parent). Names in an extension record are
            // those of the file it extends.
            for (int i = 0; i < facts.nameCount; ++i) {
                const RecordName& n = facts.names[i];
                if (!DecodeName(n.utf16, n.units, pass.name)) continue;
                kept = true;
                if (!CCommonFunc::IsPicFile(pass.name.c_str(), int(pass.name.size()))) continue;
                _tagMftEntry e;
                e.nRecordNumber = facts.base ? facts.base : number;
                e.nParentRef = n.parent & kRecordNumberMask;
                e.szName = pass.texts.Copy(pass.name.c_str(), pass.name.size());
                e.nFileSize = facts.size;
                e.nLastModifyTime = facts.modifyTime;
                if (facts.base || !facts.dataStartsFile)
                    pass.incomplete.push_back(m_vecPictures.size());
                m_vecPictures.push_back(e);
                m_nPictureCount.fetch_add(1, std::memory_order_relaxed);
            }
        }
        if (kept) m_nRecordsSeen.fetch_add(1, std::memory_order_relaxed);
    };

    for (const Run& run : runs) {
        if (!m_bKeepReading || left == 0) break;
        // The bytes the run holds in the MFT, and those of them that the volume has: a
        // sparse run, or the part of a run past the end of the volume, cannot be read.
        ULONGLONG claimed = run.clusters > left / cluster ? left : run.clusters * cluster;
        ULONGLONG start = 0, readable = 0;
        if (run.lcn >= 0 && ULONGLONG(run.lcn) < volume / cluster) {
            start = ULONGLONG(run.lcn) * cluster;
            readable = std::min(claimed, (volume - start) / cluster * cluster);
        }
        ULONGLONG done = 0;
        while (done < readable && m_bKeepReading) {
            DWORD want = DWORD(
                std::min<ULONGLONG>({chunk, readable - done, ULONGLONG(buffer.size() - have)}));
            // After a gap the stream resumes at the next record boundary.
            DWORD skip = 0;
            if (have == 0 && streamPos % recordSize)
                skip = DWORD(recordSize - streamPos % recordSize);
            DWORD got = 0;
            if (!ReadFileAt(m_hVolume, buffer.data() + have, want, LONGLONG(start + done), &got) ||
                got == 0)
                break;
            done += got;
            streamPos += got;
            if (skip < got) {
                if (skip) {
                    std::memmove(buffer.data() + have, buffer.data() + have + skip, got - skip);
                    got -= skip;
                }
                have += got;
                size_t at = 0;
                for (; at + recordSize <= have && m_bKeepReading; at += recordSize)
                    parse(buffer.data() + at, (streamPos - (have - at)) / recordSize);
                if (at) std::memmove(buffer.data(), buffer.data() + at, have - at);
                have -= at;
            }
            // The owner may pause here (the hook blocks) or stop (it clears the flag).
            if (m_pfnChunk) m_pfnChunk(m_pContext);
        }
        if (done < claimed) {
            // A failed read, or bytes that cannot be read: what is missing is skipped
            // and the pass goes on with the next run, in step with the records.
            streamPos += claimed - done;
            have = 0;
        }
        left -= claimed;
    }

    // Parent lookups search the directories by record number. A damaged volume can
    // number its records out of order; sorting keeps the search sound.
    auto byNumber = [](const _tagMftEntry& a, const _tagMftEntry& b) {
        return a.nRecordNumber < b.nRecordNumber;
    };
    if (!std::is_sorted(m_vecFolders.begin(), m_vecFolders.end(), byNumber))
        std::stable_sort(m_vecFolders.begin(), m_vecFolders.end(), byNumber);

    // A picture named in an extension record, or whose record holds no unnamed $DATA,
    // takes its time from its base record (the one with the attribute list) and its
    // size from the base's $DATA, else from the extension record that starts it (0
    // when there is none).
    if (pass.incomplete.empty() || pass.bases.empty()) return;
    std::vector<std::pair<ULONGLONG, ULONGLONG>>& sizes = pass.extensionSizes;
    std::sort(sizes.begin(), sizes.end());
    std::sort(pass.bases.begin(), pass.bases.end());
    for (size_t i : pass.incomplete) {
        _tagMftEntry& e = m_vecPictures[i];
        auto b = std::lower_bound(pass.bases.begin(), pass.bases.end(),
                                  Pass::Base{e.nRecordNumber, 0, 0, false});
        if (b == pass.bases.end() || b->number != e.nRecordNumber) continue;
        e.nLastModifyTime = b->time;
        e.nFileSize = b->size;
        if (b->hasData) continue;
        auto s = std::lower_bound(sizes.begin(), sizes.end(),
                                  std::make_pair(e.nRecordNumber, ULONGLONG(0)));
        e.nFileSize = s != sizes.end() && s->first == e.nRecordNumber ? s->second : 0;
    }
}

void CNtfsReader::FolderPass(Pass& pass) {
    auto find = [this](ULONGLONG ref) -> long {
        DWORD key = DWORD(ref);
        auto it =
            std::lower_bound(m_vecFolders.begin(), m_vecFolders.end(), key,
                             [](const _tagMftEntry& e, DWORD k) { return e.nRecordNumber < k; });
        if (it == m_vecFolders.end() || it->nRecordNumber != key) return -1;
        return long(it - m_vecFolders.begin());
    };

    // The folder path of a file whose parent is `ref`: the root, a directory's
    // memoised path, or null when the file is not to be delivered.
    auto folderPath = [&](ULONGLONG ref) -> wchar_t* {
        std::vector<size_t>& chain = pass.chain;
        chain.clear();
        wchar_t* base = pass.root;
        BYTE failure = 0;
        while (ref != kRootRecord) {
            long i = find(ref);
            if (i < 0) {
                failure = kPathBroken;
                break;
            }
            _tagMftEntry& d = m_vecFolders[size_t(i)];
            if (d.bPathKnown == 1) {
                base = d.szFolderPath;
                break;
            }
            if (d.bPathKnown != 0) {
                // Marked earlier, or met twice on this walk: the chain loops.
                failure = d.bPathKnown == kPathTooLong ? kPathTooLong : kPathBroken;
                break;
            }
            d.bPathKnown = kPathOnChain;
            chain.push_back(size_t(i));
            ref = d.nParentRef;
        }
        if (failure) {
            for (size_t i : chain)
                m_vecFolders[i].bPathKnown = failure;
            // A file whose chain is broken (a parent that is not a directory of the
            // volume, or parents that loop) lies in the root. One whose folder path
            // does not fit the buffer is left out: a shortened path would name
            // another folder.
            return failure == kPathBroken ? pass.root : nullptr;
        }
        if (chain.empty()) return base;
        size_t length = std::wcslen(base);
        std::memcpy(pass.path, base, length * sizeof(wchar_t));
        for (size_t k = chain.size(); k-- > 0;) {
            _tagMftEntry& d = m_vecFolders[chain[k]];
            size_t nameLength = std::wcslen(d.szName);
            bool separator = length == 0 || pass.path[length - 1] != L'\\';
            size_t total = length + (separator ? 1 : 0) + nameLength;
            if (total + 1 > kPathBufferChars) {
                for (size_t j = 0; j <= k; ++j)
                    m_vecFolders[chain[j]].bPathKnown = kPathTooLong;
                return nullptr;
            }
            if (separator) pass.path[length++] = L'\\';
            std::memcpy(pass.path + length, d.szName, nameLength * sizeof(wchar_t));
            length = total;
            d.szFolderPath = pass.texts.Copy(pass.path, length);
            d.bPathKnown = 1;
        }
        return m_vecFolders[chain.front()].szFolderPath;
    };

    for (_tagMftEntry& e : m_vecPictures) {
        if (m_pfnChunk && m_bKeepReading) m_pfnChunk(m_pContext);
        if (!m_bKeepReading) break;
        wchar_t* path = folderPath(e.nParentRef);
        if (!path) continue;
        e.szFolderPath = path;
        if (m_pfnFound) m_pfnFound(&e, 0, m_pContext);
        e.szFolderPath = nullptr;
    }
}
