#include "walk.h"

using namespace ExifLib;

namespace exiftest {
namespace {

// `seg` written; empty when the write fails or its size is not GetLength() + 2.
Bytes WriteSegment(IMarkerSegment* seg) {
    Bytes out(size_t(seg->GetLength()) + 2 + 16, 0xEE);  // room to spot overlong writes
    CMemIO io(out.data(), int(out.size()));
    if (!seg->Write(&io) || io.Tell() != seg->GetLength() + 2) return {};
    out.resize(size_t(io.Tell()));
    return out;
}

std::string DescribeIFD(const CIFD* ifd, int depth) {
    std::string out, indent(size_t(depth) * 2, ' '), text;
    for (; ifd != nullptr; ifd = ifd->GetNext()) {
        out += indent + "ifd";
        if (auto* ifd1 = dynamic_cast<const CJPEGIFD1*>(ifd))
            out += " thumbnail " + std::string(ifd1->GetThumbnail(),
                                               ifd1->GetThumbnail() + ifd1->GetThumbnailLength());
        out += "\n";
        for (const auto& [tag, entry] : ifd->GetEntries()) {
            entry->ToString(text);
            out += indent + "  " + std::to_string(tag) + " t" + std::to_string(entry->GetType()) +
                   " n" + std::to_string(entry->GetCount()) + " = " + text + "\n";
            if (auto* sub = dynamic_cast<const CIFDIFDEntry*>(entry.get()))
                out += DescribeIFD(sub->GetIFD(), depth + 2);
        }
    }
    return out;
}

}  // namespace

std::string Describe(const CAppSegMgr& mgr) {
    std::string out;
    if (CRawSeg* com = mgr.GetComment())
        out += "comment " + std::string(com->GetBody(), com->GetBody() + com->GetBodyLength());
    for (IMarkerSegment* seg : mgr.GetSegments()) {
        out += "\nsegment " + std::to_string(seg->GetMarker()) + " length " +
               std::to_string(seg->GetLength());
        if (auto* tiff = dynamic_cast<CIFDAppSeg*>(seg)) {
            out += dynamic_cast<CExifApp1Seg*>(seg) ? " exif" : " maker";
            out += std::string(tiff->IsBigEndian() ? " MM" : " II") + "\n" +
                   DescribeIFD(tiff->GetIFD0(), 1);
        } else if (auto* iptc = dynamic_cast<CIptc*>(seg)) {
            for (const auto& [key, data] : iptc->GetDatasets())
                out += " " + std::to_string(BYTE(key[0])) + ":" + std::to_string(BYTE(key[1])) +
                       "=" + data;
        } else {  // JFIF, JFXX and raw segments: their bytes
            Bytes bytes = WriteSegment(seg);
            out += " bytes " + std::string(bytes.begin(), bytes.end());
        }
    }
    return out;
}

std::string Kinds(const CAppSegMgr& mgr) {
    std::string out;
    for (IMarkerSegment* s : mgr.GetSegments())
        out += dynamic_cast<CJFIFApp0Seg*>(s)     ? "jfif "
               : dynamic_cast<CJFIFApp0ExSeg*>(s) ? "jfxx "
               : dynamic_cast<CExifApp1Seg*>(s)   ? "exif "
               : dynamic_cast<CIptc*>(s)          ? "iptc "
               : dynamic_cast<CQVApp1Seg*>(s)     ? "maker "
                                                  : "raw ";
    return out;
}

std::string Text(const CIFD* ifd, WORD tag) {
    std::string s = "(none)";
    if (IIFDEntry* e = ifd ? ifd->GetEntry(tag) : nullptr) e->ToString(s);
    return s;
}

bool ParseBytes(const Bytes& data, CAppSegMgr& mgr) {
    InitExifLib();
    CMemReadIO io(data.data(), int(data.size()));
    return mgr.Parse(&io);
}

bool ParseWalkRewrite(const std::uint8_t* data, std::size_t size, std::string* report,
                      bool* complete) {
    InitExifLib();
    CMemReadIO io(data, size > 0x7FFFFFFF ? 0x7FFFFFFF : int(size));
    CAppSegMgr mgr, again;
    mgr.Parse(&io);
    JpegBuilder rewritten;
    bool all = true;
    if (mgr.GetComment()) rewritten.Raw(WriteSegment(mgr.GetComment()));
    for (IMarkerSegment* seg : mgr.GetSegments()) {
        Bytes bytes = WriteSegment(seg);
        all = all && !bytes.empty();
        rewritten.Raw(bytes);
    }
    if (complete) *complete = all;
    // Described after the write, which fills in the thumbnail offset it chose.
    std::string before = Describe(mgr);
    if (!all) return true;
    ParseBytes(rewritten.Finish(), again);
    std::string after = Describe(again);
    if (before == after) return true;
    if (report) *report = "--- read:\n" + before + "\n--- read again:\n" + after;
    return false;
}

}  // namespace exiftest
