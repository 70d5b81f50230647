#include "exiflib/qv.h"

#include <array>
#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"
#include "exiflib/ifd_reader.h"

namespace ExifLib {
namespace {

constexpr BYTE kQvId[] = {'Q', 'V', 'I', 'M', 'G', 'D', 'A', 'T', 'A', 0};

constexpr std::array<TagRule, 6> kQvRules = {{
    {0, ValueRule::Ascii, 0, 1, nullptr},
    {1, ValueRule::Ascii, 20, 1, nullptr},
    {2, ValueRule::Ascii, 0, 1, nullptr},
    {3, ValueRule::Ascii, 0, 1, nullptr},
    {4, ValueRule::Ascii, 0, 1, nullptr},
    {5, ValueRule::Ascii, 0, 1, nullptr},
}};

}  // namespace

IMarkerSegment* CQVApp1Seg::Create(IIO* io, unsigned short bodyLength) {
    if (io == nullptr || bodyLength < 13) return nullptr;
    int base = io->Tell();
    BYTE mark[2];
    if (base < 0 || !ReadAll(io, mark, 2)) return nullptr;
    bool big;
    if (mark[0] == 'M' && mark[1] == 'M')
        big = true;
    else if (mark[0] == 'I' && mark[1] == 'I')
        big = false;
    else
        return nullptr;
    std::unique_ptr<CQVIFD0> ifd(new (std::nothrow) CQVIFD0);
    if (!ifd) {
        ShowFatalError();
        return nullptr;
    }
    ReadEntries(MakeReadContext(io, base, big, base + bodyLength), ifd.get(), kQvRules);
    if (ifd->GetEntryCount() == 0) return nullptr;
    auto* seg = new (std::nothrow) CQVApp1Seg(ifd.get(), big);
    if (seg == nullptr) {
        ShowFatalError();
        return nullptr;
    }
    ifd.release();
    return seg;
}

bool CQVApp1Seg::Write(IIO* out) {
    if (m_pIFD0 == nullptr || !WriteSegmentHeader(out, GetMarker(), GetLength())) return false;
    const BYTE mark[2] = {BYTE(m_bBigEndian ? 'M' : 'I'), BYTE(m_bBigEndian ? 'M' : 'I')};
    return WriteAll(out, kQvId, sizeof kQvId) && WriteAll(out, mark, 2) &&
           m_pIFD0->Write(out, m_bBigEndian, 2);
}

void CQVApp1Seg::GetIdentifier(std::vector<BYTE>& out) {
    out.assign(kQvId, kQvId + sizeof kQvId);
}

}  // namespace ExifLib
