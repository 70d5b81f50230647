// MD5: the RFC 1321 test vectors, incremental feeding and agreement with md5sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "scan/common_func.h"
#include "scan/md5_checksum.h"
#include "scan_test_util.h"

namespace {

using scantest::UpperHex;

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
        EXPECT_EQ(UpperHex(v.digest), DigestOf(v.text)) << v.text;
        std::string text = v.text;
        EXPECT_EQ(UpperHex(v.digest), CCommonFunc::GetMD5(text.data(), DWORD(text.size())));
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
    testutil::TempDir dir;
    std::mt19937 rng(7);
    for (size_t length : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u, 1023u, 1024u, 1025u,
                          4096u, 100000u}) {
        std::string bytes(length, '\0');
        for (auto& c : bytes)
            c = char(rng());
        std::string path = dir.WriteFile("f" + std::to_string(length), bytes);
        CString digest = DigestOf(bytes);
        EXPECT_EQ(UpperHex(scantest::Md5sum(path)), digest) << length;
        EXPECT_EQ(32u, digest.size());
        EXPECT_EQ(CString::npos, digest.find_first_not_of(L"0123456789ABCDEF"));
    }
}

}  // namespace

namespace {

class FileDigestTest : public ::testing::Test {
protected:
    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + m_dir.path()};
};

TEST_F(FileDigestTest, SeveralMebibytesAgreeWithMd5sumAndWithTheBufferForm) {
    std::mt19937 rng(2008);
    std::string bytes(6 * 1024 * 1024 + 123, '\0');
    for (auto& c : bytes)
        c = char(rng());
    std::string host = m_dir.WriteFile("big.jpg", bytes);
    CString digest = L"unchanged";
    ASSERT_EQ(1, CCommonFunc::GetMD5(CString(L"C:\\big.jpg"), digest));
    EXPECT_EQ(UpperHex(scantest::Md5sum(host)), digest);
    EXPECT_EQ(CCommonFunc::GetMD5(bytes.data(), DWORD(bytes.size())), digest);
    EXPECT_EQ(digest, CMD5Checksum::GetMD5(CString(L"C:\\big.jpg")));
}

TEST_F(FileDigestTest, EmptyFileHasTheDigestOfZeroBytes) {
    m_dir.WriteFile("empty.jpg", "");
    CString digest;
    ASSERT_EQ(1, CCommonFunc::GetMD5(CString(L"C:\\empty.jpg"), digest));
    EXPECT_EQ(CString(L"D41D8CD98F00B204E9800998ECF8427E"), digest);
}

TEST_F(FileDigestTest, FilesThatCannotBeReadLeaveTheDigestUntouched) {
    m_dir.MakeDir("folder.jpg");
    for (const wchar_t* path :
         {L"C:\\missing.jpg", L"C:\\folder.jpg", L"C:\\", L"Q:\\a.jpg", L"", L"relative.jpg"}) {
        CString digest = L"unchanged";
        EXPECT_EQ(0, CCommonFunc::GetMD5(CString(path), digest)) << path;
        EXPECT_EQ(CString(L"unchanged"), digest) << path;
        EXPECT_EQ(CString(), CMD5Checksum::GetMD5(CString(path))) << path;
    }
}

TEST_F(FileDigestTest, FileWithoutReadPermission) {
    std::string host = m_dir.WriteFile("locked.jpg", "secret");
    std::filesystem::permissions(host, std::filesystem::perms::none);
    std::ifstream probe(host);
    if (probe.is_open()) GTEST_SKIP() << "running with rights that ignore file permissions";
    CString digest = L"unchanged";
    EXPECT_EQ(0, CCommonFunc::GetMD5(CString(L"C:\\locked.jpg"), digest));
    EXPECT_EQ(CString(L"unchanged"), digest);
}

TEST_F(FileDigestTest, OpenFileIsDigestedFromItsPosition) {
    m_dir.WriteFile("abc.bin", "xyzabc");
    CFile file;
    ASSERT_TRUE(file.Open(L"C:\\abc.bin", CFile::modeRead | CFile::typeBinary));
    ASSERT_EQ(3, file.Seek(3, CFile::begin));
    EXPECT_EQ(CString(L"900150983CD24FB0D6963F7D28E17F72"), CMD5Checksum::GetMD5(file));
    // At the end: the digest of nothing.
    EXPECT_EQ(CString(L"D41D8CD98F00B204E9800998ECF8427E"), CMD5Checksum::GetMD5(file));
    // A closed file cannot be read: no digest at all.
    file.Close();
    EXPECT_EQ(CString(), CMD5Checksum::GetMD5(file));
}

}  // namespace
