#include "pictures.h"

#include "analysis/file_info.h"
#include "picdex/host_paths.h"

namespace antest {

std::string FixtureDir() {
    return ANALYSIS_FIXTURES;
}

CString Lib(const std::string& host) {
    CString path;
    picdex::HostToLibraryPath(host, &path);
    return path;
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
