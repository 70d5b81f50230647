#include "pictures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <jpeglib.h>

#include "db/text_codec.h"

namespace antest {

std::string FixtureDir() {
    return ANALYSIS_FIXTURES;
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureDir())) {
        std::string name = entry.path().filename().string();
        if (name == "stamp" || name.ends_with(".txt")) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::map<std::string, std::string> Expected(const std::string& name) {
    std::map<std::string, std::string> values;
    std::ifstream in(FixtureDir() + "/" + name + ".txt");
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (line.size() > 1 && line[0] == '-' && eq != std::string::npos)
            values[line.substr(1, eq - 1)] = line.substr(eq + 1);
    }
    return values;
}

Bytes MakeJpeg(int width, int height, int components) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * size_t(components), 90);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

namespace {
Bytes WithSegment(const Bytes& jpeg, std::uint8_t marker, const Bytes& body) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.push_back(0xFF);
    out.push_back(marker);
    exiftest::PutBE16(out, unsigned(body.size() + 2));
    exiftest::Append(out, body);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}
}  // namespace

Bytes WithExif(const Bytes& jpeg, const Bytes& tiff) {
    Bytes body = {'E', 'x', 'i', 'f', 0, 0};
    exiftest::Append(body, tiff);
    return WithSegment(jpeg, 0xE1, body);
}

Bytes WithIptc(const Bytes& jpeg, const Bytes& datasets) {
    Bytes body = exiftest::Str("Photoshop 3.0");
    body.push_back(0);
    exiftest::Append(body, exiftest::ResourceBlock(0x0404, datasets));
    return WithSegment(jpeg, 0xED, body);
}

std::string Describe(const _tagFileDetail& d, bool withSearchTime) {
    std::ostringstream s;
    auto text = [](const CString& t) { return WideToUtf8(t); };
    const _tagFileInfo& f = d.fileInfo;
    s << "iFileID=" << f.iFileID << "\niPathID=" << f.iPathID << "\niHeight=" << f.iHeight
      << "\niWidth=" << f.iWidth << "\niBPP=" << f.iBPP << "\niPageCount=" << f.iPageCount
      << "\niIptcID=" << f.iIptcID << "\niExifID=" << f.iExifID << "\niGpsID=" << f.iGpsID
      << "\niFileSize=" << f.iFileSize << "\ntSnapTime=" << f.tSnapTime.GetTime()
      << "\ntFileCreate=" << f.tFileCreate.GetTime() << "\ntFileModify=" << f.tFileModify.GetTime()
      << "\nstrFileName=" << text(f.strFileName) << "\nstrExt=" << text(f.strExt)
      << "\nstrMD5=" << text(f.strMD5) << "\n";
    if (withSearchTime) s << "tFileSearch=" << f.tFileSearch.GetTime() << "\n";
    const _tagExifInfo& e = d.exifInfo;
    s << "exif.iExifID=" << e.iExifID << "\niExposureTime=" << e.iExposureTimeL << "/"
      << e.iExposureTimeR << "\niAperture=" << e.iApertureL << "/" << e.iApertureR
      << "\niISO=" << e.iISO << "\niFocalLen=" << e.iFocalLenL << "/" << e.iFocalLenR
      << "\niExposureComp=" << e.iExposureCompL << "/" << e.iExposureCompR << "\niWT=" << e.iWTL
      << "/" << e.iWTR << "\ntDititalTime=" << e.tDititalTime.GetTime()
      << "\nstrManufacturer=" << text(e.strManufacturer) << "\nstrModel=" << text(e.strModel)
      << "\n";
    const _tagIptcInfo& i = d.iptcInfo;
    s << "iptc.iIptcID=" << i.iIptcID << "\nstrMemoInfo=" << text(i.strMemoInfo)
      << "\nstrKeyWord=" << text(i.strKeyWord) << "\nstrTitle=" << text(i.strTitle)
      << "\nstrClass=" << text(i.strClass) << "\nstrLocation=" << text(i.strLocation)
      << "\nstrCity=" << text(i.strCity) << "\nstrCountry=" << text(i.strCountry)
      << "\nstrCopyRight=" << text(i.strCopyRight) << "\nstrWriter=" << text(i.strWriter) << "\n";
    const _tagGpsInfo& g = d.gpsInfo;
    s << "gps.iGpsID=" << g.iGpsID << "\niLatitude=" << g.iLatitude
      << "\niLongitute=" << g.iLongitute << "\niAltitute=" << g.iAltitute
      << "\niGpsSpeed=" << g.iGpsSpeed << "\ntGpsTime=" << g.tGpsTime.GetTime()
      << "\nstrFolder=" << text(d.strFolder) << "\n";
    return s.str();
}

}  // namespace antest
