#include "exiflib/appsegmgr.h"

#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"
#include "exiflib/ifd_seg.h"
#include "exiflib/iptc.h"
#include "exiflib/markers.h"
#include "exiflib/registry.h"

namespace ExifLib {
namespace {

// Identifiers are matched on at most this many body bytes.
constexpr int kMaxIdentifier = 128;

// Skips a segment by its length field. False when the stream holds no room for it:
// the position after the length plus the length must stay below the size minus one.
bool SkipByLength(IIO* io) {
    WORD length;
    if (!ReadBE16(io, &length) || length < 2) return false;
    std::int64_t p = io->Tell();
    if (p + length + 1 >= io->GetSize()) return false;
    SeekClamped(io, p + length - 2);
    return true;
}

}  // namespace

bool IsJpeg(IIO* io) {
    if (io == nullptr) return false;
    io->Seek(0, 0);
    BYTE head[12];
    return io->Tell() == 0 && io->Read(head, 12, true) == 12 && head[0] == 0xFF && head[1] == 0xD8;
}

CRawSeg* MakeRawSegment(IIO* io, BYTE marker, unsigned short length, bool check) {
    // A null stream, and a length too small to hold the length field itself (a negative
    // body), are refused with or without `check`: neither can be read at all.
    if (io == nullptr || length < 2) return nullptr;
    if (check && (!IsValidRawMarker(marker) || length < 3)) return nullptr;
    std::int64_t pos = io->Tell();
    if (pos < 0 || pos + length > io->GetSize()) return nullptr;
    int bodyLength = length - 2;
    std::unique_ptr<BYTE[]> body = NewBytes(size_t(bodyLength));
    if (!body || !ReadAll(io, body.get(), bodyLength)) return nullptr;
    return CRawSeg::Create(marker, body.release(), WORD(bodyLength), true);
}

CRawSeg* ReadRawSegment(IIO* io, BYTE marker, bool check) {
    // As in MakeRawSegment, a null stream is refused with or without `check`.
    if (io == nullptr || (check && !IsValidRawMarker(marker))) return nullptr;
    WORD length;
    if (!ReadBE16(io, &length) || length < 3) return nullptr;
    if (std::int64_t(io->Tell()) + length > io->GetSize()) return nullptr;
    return MakeRawSegment(io, marker, length, check);
}

IMarkerSegment* CreateAppSegment(IIO* io, BYTE marker, bool check) {
    // A null stream is refused with or without `check`: there is nothing to read from.
    if (io == nullptr || (check && (marker < 0xE0 || marker > 0xEF))) return nullptr;
    WORD length;
    if (!ReadBE16(io, &length) || length < 2) return nullptr;
    const std::int64_t bodyStart = io->Tell();
    const std::int64_t bodyEnd = bodyStart + length - 2;
    const int n = length - 2 < kMaxIdentifier ? length - 2 : kMaxIdentifier;
    char key[kMaxIdentifier + 1];
    key[0] = char(marker);
    if (!ReadAll(io, key + 1, n)) return nullptr;

    const CSegmentTrie::Node* node = GetSegmentRegistry().FindFirst(key, size_t(n) + 1);
    if (node == nullptr) {
        if (!SeekExact(io, bodyStart)) return nullptr;
        return MakeRawSegment(io, marker, length, false);
    }
    const int idLength = int(node->prefix.size()) - 1;
    if (!SeekExact(io, bodyStart + idLength)) return nullptr;
    IMarkerSegment* seg = nullptr;
    try {
        seg = node->value(io, static_cast<unsigned short>(length - 2 - idLength));
    } catch (const std::bad_alloc&) {
        ShowFatalError();
    }
    // Whatever the factory read, the walk goes on after this body (or at the end of the
    // data when the body runs past it), so every segment moves the walk forward.
    SeekClamped(io, bodyEnd);
    return seg;
}

CAppSegMgr::CAppSegMgr() {
    BuildMarkerTables();
}

CAppSegMgr::~CAppSegMgr() {
    Clear();
}

void CAppSegMgr::Clear() {
    for (IMarkerSegment* seg : m_vecSegments)
        delete seg;
    m_vecSegments.clear();
    m_nCount = 0;
    delete m_pComment;
    m_pComment = nullptr;
}

IMarkerSegment* CAppSegMgr::GetSegment(int index) const {
    return index >= 0 && index < m_nCount ? m_vecSegments[size_t(index)] : nullptr;
}

CExifApp1Seg* CAppSegMgr::GetExif() const {
    for (IMarkerSegment* seg : m_vecSegments)
        if (auto* exif = dynamic_cast<CExifApp1Seg*>(seg)) return exif;
    return nullptr;
}

CIptc* CAppSegMgr::GetIptc() const {
    for (IMarkerSegment* seg : m_vecSegments)
        if (auto* iptc = dynamic_cast<CIptc*>(seg)) return iptc;
    return nullptr;
}

void CAppSegMgr::Append(IMarkerSegment* seg) {
    try {
        m_vecSegments.push_back(seg);
        ++m_nCount;
    } catch (const std::bad_alloc&) {
        delete seg;
        ShowFatalError();
    }
}

bool CAppSegMgr::Parse(IIO* io) {
    // Data that is not a JPEG file is refused before anything changes: the segments of
    // an earlier parse stay until a JPEG file replaces them.
    if (io == nullptr || !IsJpeg(io)) return false;
    Clear();
    return Walk(io);
}

bool CAppSegMgr::Walk(IIO* io) {
    BYTE m[2];
    io->Seek(0, 0);
    if (io->Read(m, 2, true) != 2) return true;
    do {
        if (m[0] != 0xFF) return true;
        const BYTE marker = m[1];
        switch (GetMarkerKind(marker)) {
            case kMarkerUnknown:
                return true;
            case kMarkerEnd:
                return std::int64_t(io->Tell()) + 1 == io->GetSize();
            case kMarkerStandalone:
                break;
            case kMarkerFrame: {
                WORD length;
                BYTE frame[6];  // precision, height, width, component count
                if (!ReadBE16(io, &length) || length < 2 || !ReadAll(io, frame, 6)) return true;
                SeekClamped(io, std::int64_t(io->Tell()) + 3 * frame[5]);
                break;
            }
            case kMarkerScan: {
                WORD length;
                if (!ReadBE16(io, &length)) return true;
                // The scan and everything after it are not looked at.
                io->Seek(0, 2);
                return true;
            }
            case kMarkerComment:
                if (m_pComment == nullptr) {
                    m_pComment = ReadRawSegment(io, marker, false);
                    if (m_pComment == nullptr) return true;
                } else if (!SkipByLength(io)) {
                    return true;
                }
                break;
            case kMarkerTable:
            case kMarkerOther:
                if (!SkipByLength(io)) return true;
                break;
            case kMarkerApplication:
                if (IMarkerSegment* seg = CreateAppSegment(io, marker, false)) Append(seg);
                break;
        }
    } while (io->Read(m, 2, true) == 2);
    return true;
}

}  // namespace ExifLib
