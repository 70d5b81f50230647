#include "db/text_codec.h"

#include "platform/codepage.h"

CString AnsiToWide(const std::string& text) {
    if (text.empty()) return CString();
    return plat::MultiByteToWide(CP_ACP, text);
}

std::string WideToAnsi(const CString& text) {
    if (text.empty()) return std::string();
    return plat::WideToMultiByte(CP_ACP, text);
}

CString Utf8ToWide(const std::string& text) {
    if (text.empty()) return CString();
    return plat::MultiByteToWide(CP_UTF8, text);
}

std::string WideToUtf8(const CString& text) {
    if (text.empty()) return std::string();
    return plat::WideToMultiByte(CP_UTF8, text);
}

std::string AnsiToUtf8(const std::string& text) {
    return WideToUtf8(AnsiToWide(text));
}
