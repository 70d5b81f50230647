#include "pictures.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "analysis/file_info.h"
#include "picdex/host_paths.h"

namespace antest {

std::string FixtureDir() {
    return ANALYSIS_FIXTURES;
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureDir())) {
        std::string name = entry.path().filename().string();
        if (name != "stamp" && !name.ends_with(".txt")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> Expected(const std::string& name) {
    std::map<std::string, std::string> values;
    std::ifstream in(FixtureDir() + "/" + name + ".txt");
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); line.starts_with("-") && eq != std::string::npos)
            values[line.substr(1, eq - 1)] = line.substr(eq + 1);
    return values;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CString Lib(const std::string& host) {
    CString path;
    picdex::HostToLibraryPath(host, &path);
    return path;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes JpegWithExif(const Bytes& tiff, const Bytes& datasets) {
    Bytes out = {0xFF, 0xD8}, exif = exiftest::Str(std::string("Exif\0\0", 6)),
          iptc = exiftest::Str(std::string("Photoshop 3.0", 14));
    exiftest::Append(exif, tiff);
    exiftest::Append(iptc, exiftest::ResourceBlock(0x0404, datasets));
    for (const auto& [marker, body] : {std::pair(0xE1, exif), {0xED, iptc}}) {
        if (marker == 0xED && datasets.empty()) continue;
        exiftest::Append(out, {0xFF, std::uint8_t(marker)});
        exiftest::PutBE16(out, unsigned(body.size() + 2));
        exiftest::Append(out, body);
    }
    const Bytes jpeg = ReadBytes(FixtureDir() + "/rgb.jpg");
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string Describe(const _tagFileDetail& detail) {
    std::vector<picdex::FileField> fields;
    ListRecordFields(detail, fields);
    std::string text;
    for (const picdex::FileField& f : fields)
        if (f.name != "tFileSearch")
            text += f.part + "." + f.name + "=" +
                    (f.kind == f.Text ? f.text : std::to_string(f.number)) + "\n";
    return text;
}

}  // namespace antest
