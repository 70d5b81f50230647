// MD5: the RFC 1321 test suite, incremental feeding, and agreement of the buffer and
// file forms with md5sum.
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

std::string RandomBytes(size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(length, '\0');
    for (auto& c : bytes)
        c = char(rng());
    return bytes;
}

TEST(Md5Test, Rfc1321TestSuiteAndFeedingInPieces) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(UpperHex(digest), CCommonFunc::GetMD5(text.data(), DWORD(text.size()))) << text;
    EXPECT_EQ(CString(), CCommonFunc::GetMD5(nullptr, 10));  // unreadable buffer

    std::string data = RandomBytes(5000, 1321);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(data.data());
    CString whole = CMD5Checksum::GetMD5(bytes, UINT(data.size()));
    for (UINT piece : {1u, 55u, 56u, 63u, 64u, 65u, 1024u}) {
        CMD5Checksum md5;
        for (UINT pos = 0; pos < data.size(); pos += piece)
            md5.Update(bytes + pos, std::min<UINT>(piece, UINT(data.size()) - pos));
        EXPECT_EQ(whole, md5.Final()) << piece;
    }
}

// More than 2^32 bits: the bit count carries into its high word.
TEST(Md5Test, MoreThanHalfAGibibyteAgreesWithMd5sum) {
    constexpr UINT kChunk = 1 << 20, kChunks = 513;
    testutil::TempDir dir;
    std::string out = dir / "zeros.md5";
    std::string command = "head -c " + std::to_string(size_t(kChunk) * kChunks) +
                          " /dev/zero | md5sum > '" + out + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    std::string expected;
    std::ifstream(out) >> expected;
    std::vector<BYTE> zeros(kChunk, 0);
    CMD5Checksum md5;
    for (UINT i = 0; i < kChunks; ++i)
        md5.Update(zeros.data(), kChunk);
    EXPECT_EQ(UpperHex(expected), md5.Final());
}

class FileDigestTest : public ::testing::Test {
protected:
    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + m_dir.path()};
};

TEST_F(FileDigestTest, FileAndBufferFormsAgreeWithMd5sum) {
    // Lengths around the padding boundaries and the 1024-byte reads, and several MiB.
    for (size_t length : {0u, 55u, 56u, 64u, 1023u, 1024u, 1025u, 6u * 1024 * 1024 + 123}) {
        std::string bytes = RandomBytes(length, unsigned(length));
        std::string host = m_dir.WriteFile("f.jpg", bytes);
        CString digest = L"unchanged";
        ASSERT_EQ(1, CCommonFunc::GetMD5(CString(L"C:\\f.jpg"), digest)) << length;
        EXPECT_EQ(UpperHex(scantest::Md5sum(host)), digest) << length;
        EXPECT_EQ(CCommonFunc::GetMD5(bytes.data(), DWORD(length)), digest) << length;
    }
}

TEST_F(FileDigestTest, FilesThatCannotBeReadLeaveTheDigestUntouched) {
    m_dir.MakeDir("folder.jpg");
    std::string locked = m_dir.WriteFile("locked.jpg", "secret");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const bool lockWorks = !std::ifstream(locked).is_open();  // not with root's rights
    for (const wchar_t* path :
         {L"C:\\missing.jpg", L"C:\\folder.jpg", L"Q:\\a.jpg", L"", L"C:\\locked.jpg"}) {
        if (!lockWorks && CString(path) == L"C:\\locked.jpg") continue;
        CString digest = L"unchanged";
        EXPECT_EQ(0, CCommonFunc::GetMD5(CString(path), digest)) << path;
        EXPECT_EQ(CString(L"unchanged"), digest) << path;
    }
    // An open file is digested from its position; a closed one cannot be read.
    m_dir.WriteFile("abc.bin", "xyzabc");
    CFile file;
    ASSERT_TRUE(file.Open(L"C:\\abc.bin", CFile::modeRead | CFile::typeBinary));
    ASSERT_EQ(3, file.Seek(3, CFile::begin));
    EXPECT_EQ(CString(L"900150983CD24FB0D6963F7D28E17F72"), CMD5Checksum::GetMD5(file));
    file.Close();
    EXPECT_EQ(CString(), CMD5Checksum::GetMD5(file));
}

}  // namespace
