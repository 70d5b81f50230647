#include "exiflib/jfif.h"

#include <cstddef>
#include <memory>
#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"

namespace ExifLib {
namespace {
constexpr BYTE kJfifId[] = {'J', 'F', 'I', 'F', 0};
constexpr BYTE kJfxxId[] = {'J', 'F', 'X', 'X', 0};
}  // namespace

CJFIFApp0Seg::CJFIFApp0Seg(WORD version, BYTE units, WORD xDensity, WORD yDensity, BYTE thumbWidth,
                           BYTE thumbHeight, BYTE* thumbnail, bool ownsThumbnail)
    : m_wVersion(version),
      m_byUnits(units),
      m_wXDensity(xDensity),
      m_wYDensity(yDensity),
      m_byThumbWidth(thumbWidth),
      m_byThumbHeight(thumbHeight),
      m_pThumbnail(thumbnail),
      m_bOwnThumbnail(ownsThumbnail) {}

CJFIFApp0Seg* CJFIFApp0Seg::Make(WORD version, BYTE units, WORD xDensity, WORD yDensity,
                                 BYTE thumbWidth, BYTE thumbHeight, BYTE* thumbnail,
                                 bool ownsThumbnail) {
    const std::size_t thumbBytes = std::size_t(3) * thumbWidth * thumbHeight;
    if (thumbBytes == 0 && ownsThumbnail) {
        delete[] thumbnail;  // no pixels: the segment holds no thumbnail
        thumbnail = nullptr;
    }
    CJFIFApp0Seg* seg = nullptr;
    if (CheckSegmentBody(thumbnail, thumbBytes)) {
        seg = new (std::nothrow)
            CJFIFApp0Seg(version, units, xDensity, yDensity, thumbWidth, thumbHeight,
                         thumbBytes ? thumbnail : nullptr, ownsThumbnail);
        if (seg == nullptr) ShowFatalError();
    }
    if (seg == nullptr && ownsThumbnail) delete[] thumbnail;
    return seg;
}

CJFIFApp0Seg::~CJFIFApp0Seg() {
    if (m_bOwnThumbnail) delete[] m_pThumbnail;
}

IMarkerSegment* CJFIFApp0Seg::Create(IIO* io, unsigned short bodyLength) {
    if (io == nullptr || bodyLength < 9) return nullptr;
    BYTE f[9];
    if (!ReadAll(io, f, 9)) return nullptr;
    BYTE width = f[7], height = f[8];
    int thumbBytes = 3 * width * height;
    if (bodyLength - 9 != thumbBytes) return nullptr;
    std::unique_ptr<BYTE[]> thumb;
    if (thumbBytes > 0) {
        if (thumbBytes > io->GetSize() - io->Tell()) return nullptr;
        thumb = NewBytes(size_t(thumbBytes));
        if (!thumb || !ReadAll(io, thumb.get(), thumbBytes)) return nullptr;
    }
    return Make(Get16(f, true), f[2], Get16(f + 3, true), Get16(f + 5, true), width, height,
                thumb.release(), true);
}

bool CJFIFApp0Seg::Write(IIO* out) {
    BYTE f[9];
    Put16(f, m_wVersion, true);
    f[2] = m_byUnits;
    Put16(f + 3, m_wXDensity, true);
    Put16(f + 5, m_wYDensity, true);
    f[7] = m_byThumbWidth;
    f[8] = m_byThumbHeight;
    return WriteSegmentHeader(out, GetMarker(), GetLength()) &&
           WriteAll(out, kJfifId, sizeof kJfifId) && WriteAll(out, f, 9) &&
           WriteAll(out, m_pThumbnail, 3 * m_byThumbWidth * m_byThumbHeight);
}

void CJFIFApp0Seg::GetIdentifier(std::vector<BYTE>& out) {
    out.assign(kJfifId, kJfifId + sizeof kJfifId);
}

CJFIFApp0ExSeg* CJFIFApp0ExSeg::Make(BYTE extensionCode, BYTE* body, WORD bodyLength,
                                     bool ownsBody) {
    CJFIFApp0ExSeg* seg = nullptr;
    if (CheckSegmentBody(body, bodyLength)) {
        seg = new (std::nothrow) CJFIFApp0ExSeg(extensionCode, body, bodyLength, ownsBody);
        if (seg == nullptr) ShowFatalError();
    }
    if (seg == nullptr && ownsBody) delete[] body;
    return seg;
}

CJFIFApp0ExSeg::~CJFIFApp0ExSeg() {
    if (m_bOwnBody) delete[] m_pBody;
}

IMarkerSegment* CJFIFApp0ExSeg::Create(IIO* io, unsigned short bodyLength) {
    // The body is the extension code and the bytes after it, bodyLength - 1 of them. A
    // length of 1 (nothing after the code) gives no segment; so does 0, where that count
    // would be negative: the code itself would lie beyond the segment.
    if (io == nullptr || bodyLength < 2) return nullptr;
    BYTE code;
    if (!ReadAll(io, &code, 1)) return nullptr;
    int n = bodyLength - 1;
    if (n > io->GetSize() - io->Tell()) return nullptr;
    std::unique_ptr<BYTE[]> body = NewBytes(size_t(n));
    if (!body || !ReadAll(io, body.get(), n)) return nullptr;
    return Make(code, body.release(), WORD(n), true);
}

bool CJFIFApp0ExSeg::Write(IIO* out) {
    return WriteSegmentHeader(out, GetMarker(), GetLength()) &&
           WriteAll(out, kJfxxId, sizeof kJfxxId) && WriteAll(out, &m_byCode, 1) &&
           WriteAll(out, m_pBody, m_wBodyLength);
}

void CJFIFApp0ExSeg::GetIdentifier(std::vector<BYTE>& out) {
    out.assign(kJfxxId, kJfxxId + sizeof kJfxxId);
}

}  // namespace ExifLib
