#include "scan/md5_checksum.h"

#include <bit>
#include <cstring>

namespace {

// The four auxiliary functions of the rounds.
inline ULONG F(ULONG x, ULONG y, ULONG z) {
    return z ^ (x & (y ^ z));  // (x & y) | (~x & z)
}
inline ULONG G(ULONG x, ULONG y, ULONG z) {
    return y ^ (z & (x ^ y));  // (x & z) | (y & ~z)
}
inline ULONG H(ULONG x, ULONG y, ULONG z) {
    return x ^ y ^ z;
}
inline ULONG I(ULONG x, ULONG y, ULONG z) {
    return y ^ (x | ~z);
}

// a = b + ((a + f(b, c, d) + x + t) <<< s)
#define MD5_STEP(f, a, b, c, d, x, s, t) \
    (a) = (b) + std::rotl(ULONG((a) + f((b), (c), (d)) + (x) + ULONG(t)), (s))

inline ULONG LoadLe32(const BYTE* p) {
    return ULONG(p[0]) | (ULONG(p[1]) << 8) | (ULONG(p[2]) << 16) | (ULONG(p[3]) << 24);
}

inline void StoreLe32(BYTE* p, ULONG v) {
    p[0] = BYTE(v);
    p[1] = BYTE(v >> 8);
    p[2] = BYTE(v >> 16);
    p[3] = BYTE(v >> 24);
}

CString HexText(const BYTE digest[16]) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    CString text(32, L'0');
    for (int i = 0; i < 16; ++i) {
        text[size_t(2 * i)] = kHex[digest[i] >> 4];
        text[size_t(2 * i + 1)] = kHex[digest[i] & 0x0F];
    }
    return text;
}

}  // namespace

CMD5Checksum::CMD5Checksum() {
    std::memset(m_byBuffer, 0, sizeof(m_byBuffer));
    m_nCount[0] = m_nCount[1] = 0;
    m_lMD5[0] = 0x67452301;
    m_lMD5[1] = 0xefcdab89;
    m_lMD5[2] = 0x98badcfe;
    m_lMD5[3] = 0x10325476;
}

void CMD5Checksum::Transform(const BYTE* block) {
    ULONG x[16];
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(x, block, sizeof(x));
    } else {
        for (int i = 0; i < 16; ++i)
            x[i] = LoadLe32(block + 4 * i);
    }
    ULONG a = m_lMD5[0], b = m_lMD5[1], c = m_lMD5[2], d = m_lMD5[3];

    // Round 1
    MD5_STEP(F, a, b, c, d, x[0], 7, 0xd76aa478);
    MD5_STEP(F, d, a, b, c, x[1], 12, 0xe8c7b756);
    MD5_STEP(F, c, d, a, b, x[2], 17, 0x242070db);
    MD5_STEP(F, b, c, d, a, x[3], 22, 0xc1bdceee);
    MD5_STEP(F, a, b, c, d, x[4], 7, 0xf57c0faf);
    MD5_STEP(F, d, a, b, c, x[5], 12, 0x4787c62a);
    MD5_STEP(F, c, d, a, b, x[6], 17, 0xa8304613);
    MD5_STEP(F, b, c, d, a, x[7], 22, 0xfd469501);
    MD5_STEP(F, a, b, c, d, x[8], 7, 0x698098d8);
    MD5_STEP(F, d, a, b, c, x[9], 12, 0x8b44f7af);
    MD5_STEP(F, c, d, a, b, x[10], 17, 0xffff5bb1);
    MD5_STEP(F, b, c, d, a, x[11], 22, 0x895cd7be);
    MD5_STEP(F, a, b, c, d, x[12], 7, 0x6b901122);
    MD5_STEP(F, d, a, b, c, x[13], 12, 0xfd987193);
    MD5_STEP(F, c, d, a, b, x[14], 17, 0xa679438e);
    MD5_STEP(F, b, c, d, a, x[15], 22, 0x49b40821);

    // Round 2
    MD5_STEP(G, a, b, c, d, x[1], 5, 0xf61e2562);
    MD5_STEP(G, d, a, b, c, x[6], 9, 0xc040b340);
    MD5_STEP(G, c, d, a, b, x[11], 14, 0x265e5a51);
    MD5_STEP(G, b, c, d, a, x[0], 20, 0xe9b6c7aa);
    MD5_STEP(G, a, b, c, d, x[5], 5, 0xd62f105d);
    MD5_STEP(G, d, a, b, c, x[10], 9, 0x02441453);
    MD5_STEP(G, c, d, a, b, x[15], 14, 0xd8a1e681);
    MD5_STEP(G, b, c, d, a, x[4], 20, 0xe7d3fbc8);
    MD5_STEP(G, a, b, c, d, x[9], 5, 0x21e1cde6);
    MD5_STEP(G, d, a, b, c, x[14], 9, 0xc33707d6);
    MD5_STEP(G, c, d, a, b, x[3], 14, 0xf4d50d87);
    MD5_STEP(G, b, c, d, a, x[8], 20, 0x455a14ed);
    MD5_STEP(G, a, b, c, d, x[13], 5, 0xa9e3e905);
    MD5_STEP(G, d, a, b, c, x[2], 9, 0xfcefa3f8);
    MD5_STEP(G, c, d, a, b, x[7], 14, 0x676f02d9);
    MD5_STEP(G, b, c, d, a, x[12], 20, 0x8d2a4c8a);

    // Round 3
    MD5_STEP(H, a, b, c, d, x[5], 4, 0xfffa3942);
    MD5_STEP(H, d, a, b, c, x[8], 11, 0x8771f681);
    MD5_STEP(H, c, d, a, b, x[11], 16, 0x6d9d6122);
    MD5_STEP(H, b, c, d, a, x[14], 23, 0xfde5380c);
    MD5_STEP(H, a, b, c, d, x[1], 4, 0xa4beea44);
    MD5_STEP(H, d, a, b, c, x[4], 11, 0x4bdecfa9);
    MD5_STEP(H, c, d, a, b, x[7], 16, 0xf6bb4b60);
    MD5_STEP(H, b, c, d, a, x[10], 23, 0xbebfbc70);
    MD5_STEP(H, a, b, c, d, x[13], 4, 0x289b7ec6);
    MD5_STEP(H, d, a, b, c, x[0], 11, 0xeaa127fa);
    MD5_STEP(H, c, d, a, b, x[3], 16, 0xd4ef3085);
    MD5_STEP(H, b, c, d, a, x[6], 23, 0x04881d05);
    MD5_STEP(H, a, b, c, d, x[9], 4, 0xd9d4d039);
    MD5_STEP(H, d, a, b, c, x[12], 11, 0xe6db99e5);
    MD5_STEP(H, c, d, a, b, x[15], 16, 0x1fa27cf8);
    MD5_STEP(H, b, c, d, a, x[2], 23, 0xc4ac5665);

    // Round 4
    MD5_STEP(I, a, b, c, d, x[0], 6, 0xf4292244);
    MD5_STEP(I, d, a, b, c, x[7], 10, 0x432aff97);
    MD5_STEP(I, c, d, a, b, x[14], 15, 0xab9423a7);
    MD5_STEP(I, b, c, d, a, x[5], 21, 0xfc93a039);
    MD5_STEP(I, a, b, c, d, x[12], 6, 0x655b59c3);
    MD5_STEP(I, d, a, b, c, x[3], 10, 0x8f0ccc92);
    MD5_STEP(I, c, d, a, b, x[10], 15, 0xffeff47d);
    MD5_STEP(I, b, c, d, a, x[1], 21, 0x85845dd1);
    MD5_STEP(I, a, b, c, d, x[8], 6, 0x6fa87e4f);
    MD5_STEP(I, d, a, b, c, x[15], 10, 0xfe2ce6e0);
    MD5_STEP(I, c, d, a, b, x[6], 15, 0xa3014314);
    MD5_STEP(I, b, c, d, a, x[13], 21, 0x4e0811a1);
    MD5_STEP(I, a, b, c, d, x[4], 6, 0xf7537e82);
    MD5_STEP(I, d, a, b, c, x[11], 10, 0xbd3af235);
    MD5_STEP(I, c, d, a, b, x[2], 15, 0x2ad7d2bb);
    MD5_STEP(I, b, c, d, a, x[9], 21, 0xeb86d391);

    m_lMD5[0] += a;
    m_lMD5[1] += b;
    m_lMD5[2] += c;
    m_lMD5[3] += d;
}

#undef MD5_STEP

void CMD5Checksum::Update(const BYTE* input, UINT length) {
    if (length == 0) return;
    // Bytes already waiting in the block buffer.
    UINT index = UINT((m_nCount[0] >> 3) & 0x3F);
    // The 64-bit bit count, kept as two words (low first).
    ULONG bitsLow = ULONG(length) << 3;
    if ((m_nCount[0] += bitsLow) < bitsLow) m_nCount[1]++;
    m_nCount[1] += ULONG(length) >> 29;

    UINT partLen = 64 - index;
    UINT i = 0;
    if (length >= partLen) {
        std::memcpy(m_byBuffer + index, input, partLen);
        Transform(m_byBuffer);
        for (i = partLen; i + 63 < length; i += 64)
            Transform(input + i);
        index = 0;
    }
    std::memcpy(m_byBuffer + index, input + i, length - i);
}

CString CMD5Checksum::Final() {
    BYTE bits[8];
    StoreLe32(bits, m_nCount[0]);
    StoreLe32(bits + 4, m_nCount[1]);

    // Pad with 0x80 and zeros to 56 bytes modulo 64, then the bit count.
    static const BYTE kPadding[64] = {0x80};
    UINT index = UINT((m_nCount[0] >> 3) & 0x3F);
    UINT padLen = (index < 56) ? (56 - index) : (120 - index);
    Update(kPadding, padLen);
    Update(bits, 8);

    BYTE digest[16];
    GetDigest(digest);
    return HexText(digest);
}

void CMD5Checksum::GetDigest(BYTE out[16]) const {
    for (int i = 0; i < 4; ++i)
        StoreLe32(out + 4 * i, m_lMD5[i]);
}

CString CMD5Checksum::GetMD5(const BYTE* buffer, UINT length) {
    // A null buffer cannot be read; an empty one is the digest of zero bytes.
    if (buffer == nullptr && length != 0) return CString();
    CMD5Checksum md5;
    if (length != 0) md5.Update(buffer, length);
    return md5.Final();
}

CString CMD5Checksum::GetMD5(CFile& file) {
    try {
        CMD5Checksum md5;
        BYTE block[1024];
        for (;;) {
            UINT read = file.Read(block, sizeof(block));
            if (read < 1) break;
            md5.Update(block, read);
        }
        // A read that fails looks like the end of the file: stopping short of the
        // file's length means the file could not be read whole.
        LONGLONG position = file.Seek(0, CFile::current);
        if (position < 0 || ULONGLONG(position) < file.GetLength()) return CString();
        return md5.Final();
    } catch (...) {
        return CString();
    }
}

CString CMD5Checksum::GetMD5(const CString& path) {
    try {
        CFile file;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary))
            return CString();
        return GetMD5(file);
    } catch (...) {
        return CString();
    }
}
