#include "walk.h"

#include <cstdio>

namespace exiftest {
namespace {

std::string Hex(unsigned v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", width, v);
    return buf;
}

}  // namespace

std::string DescribeIFD(const ExifLib::CIFD* ifd, int depth) {
    using namespace ExifLib;
    std::string out, indent(size_t(depth) * 2, ' '), text;
    for (; ifd != nullptr; ifd = ifd->GetNext()) {
        out += indent + "ifd";
        if (auto* ifd1 = dynamic_cast<const CJPEGIFD1*>(ifd)) {
            out += " thumbnail " + std::to_string(ifd1->GetThumbnailLength());
            if (ifd1->GetThumbnailLength()) out += " first " + Hex(ifd1->GetThumbnail()[0], 2);
        }
        out += "\n";
        for (const auto& [tag, entry] : ifd->GetEntries()) {
            entry->ToString(text);
            out += indent + "  " + Hex(tag, 4) + " t" + std::to_string(entry->GetType()) + " n" +
                   std::to_string(entry->GetCount()) + " = " + text + "\n";
            if (auto* sub = dynamic_cast<const CIFDIFDEntry*>(entry.get()))
                out += DescribeIFD(sub->GetIFD(), depth + 2);
        }
    }
    return out;
}

std::string Describe(const ExifLib::CAppSegMgr& mgr, bool withByteOrder) {
    using namespace ExifLib;
    std::string out;
    if (CRawSeg* com = mgr.GetComment())
        out +=
            "comment " + std::string(com->GetBody(), com->GetBody() + com->GetBodyLength()) + "\n";
    for (IMarkerSegment* seg : mgr.GetSegments()) {
        out +=
            "segment " + Hex(seg->GetMarker(), 2) + " length " + std::to_string(seg->GetLength());
        if (auto* exif = dynamic_cast<CExifApp1Seg*>(seg)) {
            out += " exif";
            if (withByteOrder) out += exif->IsBigEndian() ? " MM" : " II";
            out.append(1, '\n').append(DescribeIFD(exif->GetIFD0(), 1));
        } else if (auto* qv = dynamic_cast<CQVApp1Seg*>(seg)) {
            out += " maker";
            if (withByteOrder) out += qv->IsBigEndian() ? " MM" : " II";
            out.append(1, '\n').append(DescribeIFD(qv->GetQVIFD0(), 1));
        } else if (auto* iptc = dynamic_cast<CIptc*>(seg)) {
            out += " iptc\n";
            for (const auto& [key, data] : iptc->GetDatasets())
                out += "  " + std::to_string(BYTE(key[0])) + ":" + std::to_string(BYTE(key[1])) +
                       " = " + data + "\n";
        } else if (auto* jfif = dynamic_cast<CJFIFApp0Seg*>(seg)) {
            out += " jfif " + Hex(jfif->GetVersion(), 4) + " units " +
                   std::to_string(jfif->GetUnits()) + " density " +
                   std::to_string(jfif->GetXDensity()) + "x" + std::to_string(jfif->GetYDensity()) +
                   " thumbnail " + std::to_string(jfif->GetThumbWidth()) + "x" +
                   std::to_string(jfif->GetThumbHeight()) + "\n";
        } else if (auto* jfxx = dynamic_cast<CJFIFApp0ExSeg*>(seg)) {
            out += " jfxx code " + Hex(jfxx->GetExtensionCode(), 2) + " body " +
                   std::to_string(jfxx->GetBodyLength()) + "\n";
        } else if (auto* raw = dynamic_cast<CRawSeg*>(seg)) {
            out += " raw " + std::to_string(raw->GetBodyLength()) + "\n";
        } else {
            out += " other\n";
        }
    }
    return out;
}

bool ParseBytes(const Bytes& data, ExifLib::CAppSegMgr& mgr) {
    ExifLib::InitExifLib();
    ExifLib::CMemReadIO io(data.data(), int(data.size()));
    return mgr.Parse(&io);
}

ExifLib::CIFD* Sub(const ExifLib::CIFD* ifd, WORD tag) {
    auto* e = dynamic_cast<ExifLib::CIFDIFDEntry*>(ifd ? ifd->GetEntry(tag) : nullptr);
    return e ? e->GetIFD() : nullptr;
}

std::string Text(const ExifLib::CIFD* ifd, WORD tag) {
    std::string s = "(none)";
    if (ExifLib::IIFDEntry* e = ifd ? ifd->GetEntry(tag) : nullptr) e->ToString(s);
    return s;
}

Bytes RewriteSegments(const ExifLib::CAppSegMgr& mgr, bool* complete) {
    JpegBuilder rewritten;
    *complete = true;
    if (mgr.GetComment()) rewritten.Raw(WriteSegment(mgr.GetComment()));
    for (ExifLib::IMarkerSegment* seg : mgr.GetSegments()) {
        Bytes bytes = WriteSegment(seg);
        *complete = *complete && !bytes.empty();
        rewritten.Raw(bytes);
    }
    return rewritten.Finish();
}

bool ParseWalkRewrite(const std::uint8_t* data, std::size_t size, std::string* report) {
    ExifLib::InitExifLib();
    ExifLib::CMemReadIO io(data, size > 0x7FFFFFFF ? 0x7FFFFFFF : int(size));
    ExifLib::CAppSegMgr mgr;
    mgr.Parse(&io);
    bool complete;
    Bytes rewritten = RewriteSegments(mgr, &complete);
    // Described after the write, which fills in the thumbnail offset it chose.
    std::string before = Describe(mgr);
    if (!complete) return true;
    ExifLib::CAppSegMgr again;
    ParseBytes(rewritten, again);
    std::string after = Describe(again);
    if (before == after) return true;
    if (report) *report = "--- read:\n" + before + "--- read again:\n" + after;
    return false;
}

Bytes WriteSegment(ExifLib::IMarkerSegment* seg) {
    Bytes out(size_t(seg->GetLength()) + 2 + 16, 0xEE);  // room to spot overlong writes
    ExifLib::CMemIO io(out.data(), int(out.size()));
    if (!seg->Write(&io) || io.Tell() != seg->GetLength() + 2) return {};
    out.resize(size_t(io.Tell()));
    return out;
}

}  // namespace exiftest
