// MD5: the RFC 1321 test vectors, incremental feeding and agreement with md5sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "scan/common_func.h"
#include "scan/md5_checksum.h"
#include "scan_test_util.h"

namespace {

CString Upper(const std::string& hex) {
    CString out;
    for (char c : hex)
        out += wchar_t(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

CString DigestOf(const std::string& bytes) {
    return CMD5Checksum::GetMD5(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size()));
}

TEST(Md5Test, Rfc1321TestSuite) {
    struct Vector {
        const char* text;
        const char* digest;
    };
    const Vector vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Vector& v : vectors) {
        EXPECT_EQ(Upper(v.digest), DigestOf(v.text)) << v.text;
        std::string text = v.text;
        EXPECT_EQ(Upper(v.digest), CCommonFunc::GetMD5(text.data(), DWORD(text.size())));
    }
}

TEST(Md5Test, NullBufferAndEmptyBuffer) {
    EXPECT_EQ(CString(L"D41D8CD98F00B204E9800998ECF8427E"), CMD5Checksum::GetMD5(nullptr, 0));
    EXPECT_EQ(CString(), CMD5Checksum::GetMD5(nullptr, 10));
    EXPECT_EQ(CString(), CCommonFunc::GetMD5(nullptr, 10));
}

TEST(Md5Test, FeedingInPiecesGivesTheOneShotDigest) {
    std::mt19937 rng(1321);
    std::vector<BYTE> data(5000);
    for (auto& b : data)
        b = BYTE(rng());
    CString whole = CMD5Checksum::GetMD5(data.data(), UINT(data.size()));
    for (UINT piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 1024u, 4999u}) {
        CMD5Checksum md5;
        for (UINT pos = 0; pos < data.size(); pos += piece)
            md5.Update(data.data() + pos, std::min<UINT>(piece, UINT(data.size()) - pos));
        EXPECT_EQ(whole, md5.Final()) << piece;
    }
    // Empty feeds change nothing.
    CMD5Checksum md5;
    md5.Update(data.data(), 0);
    md5.Update(data.data(), UINT(data.size()));
    md5.Update(nullptr, 0);
    EXPECT_EQ(whole, md5.Final());
}

TEST(Md5Test, AgreesWithMd5sumAroundEveryPaddingBoundary) {
    scantest::TempDir dir;
    std::mt19937 rng(7);
    for (size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u, 1023u, 1024u, 1025u,
                          4096u, 100000u}) {
        std::string bytes(length, '\0');
        for (auto& c : bytes)
            c = char(rng());
        auto path = dir.path() / ("f" + std::to_string(length));
        scantest::WriteFile(path, bytes);
        CString digest = DigestOf(bytes);
        EXPECT_EQ(Upper(scantest::Md5sum(path)), digest) << length;
        EXPECT_EQ(32u, digest.size());
        EXPECT_EQ(CString::npos, digest.find_first_not_of(L"0123456789ABCDEF"));
    }
}

}  // namespace
