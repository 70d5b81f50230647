#include "scan/ntfs_image.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "picdex/host_paths.h"

namespace ntfstest {

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ScriptPath() {
    return (std::filesystem::path(__FILE__).parent_path() / "ntfs_make_image.sh").string();
}

// Protects a fixed-up record with its update sequence (`protect`), or undoes that: the
// last word of every 512-byte stride and its saved copy in the sequence array.
void UpdateSequence(std::vector<std::uint8_t>& rec, bool protect) {
    std::uint16_t offset = Get16(&rec[4]);
    std::uint16_t count = Get16(&rec[6]);
    if (count < 2 || offset + 2u * count > rec.size() || 512u * (count - 1) > rec.size()) return;
    for (std::uint16_t i = 1; i < count; ++i) {
        if (protect) std::memcpy(&rec[offset + 2 * i], &rec[512 * i - 2], 2);
        std::memcpy(&rec[512 * i - 2], &rec[protect ? offset : offset + 2 * i], 2);
    }
}

std::vector<MftRun> DecodeRuns(const std::uint8_t* p, const std::uint8_t* end) {
    std::vector<MftRun> runs;
    std::int64_t lcn = 0;
    while (p < end && *p) {
        int lb = *p & 15, ob = *p >> 4;
        std::uint64_t len = 0;
        for (int i = 0; i < lb; ++i)
            len |= std::uint64_t(p[1 + i]) << (8 * i);
        std::int64_t off = 0;
        for (int i = 0; i < ob; ++i)
            off |= std::int64_t(p[1 + lb + i]) << (8 * i);
        if (ob && ob < 8 && (p[lb + ob] & 0x80)) off |= -(std::int64_t(1) << (8 * ob));
        lcn += off;
        runs.push_back(MftRun{lcn, len});
        p += 1 + lb + ob;
    }
    return runs;
}

}  // namespace

bool MakeImage(const std::string& tree, const std::string& image, int sizeMiB, int cluster,
               std::string* log) {
    std::string out = image + ".out";
    std::string cmd = "sh " + Quote(ScriptPath()) + " " + Quote(tree) + " " + Quote(image) + " " +
                      std::to_string(sizeMiB) + " " + std::to_string(cluster) + " >" + Quote(out) +
                      " 2>&1";
    int rc = std::system(cmd.c_str());
    if (log) {
        std::ifstream in(out);
        log->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(out.c_str());
    return rc == 0;
}

void SetModifyTime(const std::string& path, std::int64_t seconds) {
    struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
    utimes(path.c_str(), tv);
}

std::uint16_t Get16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return Get16(p) | (std::uint32_t(Get16(p + 2)) << 16);
}
std::uint64_t Get64(const std::uint8_t* p) {
    return Get32(p) | (std::uint64_t(Get32(p + 4)) << 32);
}
void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, std::uint16_t(v));
    Put16(p + 2, std::uint16_t(v >> 16));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, std::uint32_t(v));
    Put32(p + 4, std::uint32_t(v >> 32));
}

std::vector<std::uint8_t> EncodeRuns(const std::vector<MftRun>& runs) {
    std::vector<std::uint8_t> out;
    std::int64_t prev = 0;
    for (const MftRun& r : runs) {
        std::uint8_t len[8], off[8];
        int lb = 0, ob = 0;
        for (std::uint64_t v = r.clusters; v || lb == 0; v >>= 8)
            len[lb++] = std::uint8_t(v);
        std::int64_t delta = r.lcn - prev;
        // Fewest bytes whose sign bit still gives the value back.
        for (ob = 1; ob < 8; ++ob) {
            std::int64_t lo = -(std::int64_t(1) << (8 * ob - 1));
            if (delta >= lo && delta < -lo) break;
        }
        for (int i = 0; i < ob; ++i)
            off[i] = std::uint8_t(std::uint64_t(delta) >> (8 * i));
        out.push_back(std::uint8_t(lb | (ob << 4)));
        out.insert(out.end(), len, len + lb);
        out.insert(out.end(), off, off + ob);
        prev = r.lcn;
    }
    out.push_back(0);
    return out;
}

bool NtfsImage::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::streamoff size = in.tellg();
    if (!in || size < 512) return false;
    m_bytes.resize(size_t(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(m_bytes.data()), size);
    if (!in) return false;
    m_cluster = Get16(&m_bytes[0x0B]) * m_bytes[0x0D];
    signed char v = static_cast<signed char>(m_bytes[0x40]);
    m_record = v > 0 ? std::uint32_t(v) * m_cluster : 1u << -v;
    return ReadRuns();
}

bool NtfsImage::ReadRuns() {
    // Record 0 begins the first run, at the boot sector's MFT cluster.
    std::uint64_t at = Get64(&m_bytes[0x30]) * m_cluster;
    if (at + m_record > m_bytes.size()) return false;
    std::vector<std::uint8_t> rec(m_bytes.begin() + long(at),
                                  m_bytes.begin() + long(at + m_record));
    UpdateSequence(rec, false);
    long data = FindAttribute(rec, 0x80);
    if (data < 0) return false;
    m_runs = DecodeRuns(&rec[size_t(data) + Get16(&rec[size_t(data) + 0x20])],
                        &rec[size_t(data)] + Get32(&rec[size_t(data) + 4]));
    m_mftBytes = Get64(&rec[size_t(data) + 0x30]);
    return !m_runs.empty();
}

bool NtfsImage::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()), std::streamsize(m_bytes.size()));
    return bool(out);
}

std::uint64_t NtfsImage::recordCount() const {
    return m_mftBytes / m_record;
}

bool NtfsImage::Locate(std::uint64_t streamOffset, std::uint64_t* imageOffset,
                       std::uint64_t* contiguous) const {
    std::uint64_t start = 0;
    for (const MftRun& r : m_runs) {
        std::uint64_t len = r.clusters * m_cluster;
        if (streamOffset < start + len) {
            *imageOffset = std::uint64_t(r.lcn) * m_cluster + (streamOffset - start);
            *contiguous = start + len - streamOffset;
            return true;
        }
        start += len;
    }
    return false;
}

bool NtfsImage::StreamIo(std::uint64_t offset, std::uint8_t* data, std::size_t length, bool write) {
    while (length) {
        std::uint64_t at = 0, room = 0;
        if (!Locate(offset, &at, &room)) return false;
        std::size_t n = std::size_t(std::min<std::uint64_t>(room, length));
        if (at + n > m_bytes.size()) return false;
        if (write)
            std::memcpy(&m_bytes[at], data, n);
        else
            std::memcpy(data, &m_bytes[at], n);
        offset += n;
        data += n;
        length -= n;
    }
    return true;
}

std::vector<std::uint8_t> NtfsImage::Record(std::uint64_t index) const {
    std::vector<std::uint8_t> rec(m_record);
    if (!const_cast<NtfsImage*>(this)->StreamIo(index * m_record, rec.data(), rec.size(), false))
        return {};
    UpdateSequence(rec, false);
    return rec;
}

void NtfsImage::PutRecord(std::uint64_t index, std::vector<std::uint8_t> record) {
    UpdateSequence(record, true);
    StreamIo(index * m_record, record.data(), record.size(), true);
}

long NtfsImage::FindAttribute(const std::vector<std::uint8_t>& rec, std::uint32_t type, int nth) {
    if (rec.size() < 0x18) return -1;
    std::size_t off = Get16(&rec[0x14]);
    while (off + 8 <= rec.size()) {
        std::uint32_t t = Get32(&rec[off]);
        std::uint32_t len = Get32(&rec[off + 4]);
        if (t == 0xFFFFFFFFu || len < 16 || off + len > rec.size()) break;
        if (t == type && nth-- == 0) return long(off);
        off += len;
    }
    return -1;
}

std::int64_t NtfsImage::FindRecord(const std::string& utf8) const {
    CString wanted = picdex::Utf8ToText(utf8);
    std::u16string units;
    for (wchar_t c : wanted) {
        if (c >= 0x10000) {
            units.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(char16_t(c));
        }
    }
    for (std::uint64_t i = 0; i < recordCount(); ++i) {
        std::vector<std::uint8_t> rec = Record(i);
        if (rec.empty() || Get32(&rec[0]) != 0x454C4946 || !(Get16(&rec[0x16]) & 1)) continue;
        for (int n = 0;; ++n) {
            long a = FindAttribute(rec, 0x30, n);
            if (a < 0) break;
            std::size_t len = rec[size_t(a) + 0x58];
            if (len != units.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < len && same; ++k)
                same = Get16(&rec[size_t(a) + 0x5A + 2 * k]) == units[k];
            if (same) return std::int64_t(i);
        }
    }
    return -1;
}

bool NtfsImage::SetMftRuns(const std::vector<MftRun>& runs) {
    if (runs.empty()) return false;
    // Record 0 is read and written where the new runs put it.
    m_runs = runs;
    Put64(&m_bytes[0x30], std::uint64_t(runs.front().lcn));
    std::vector<std::uint8_t> rec = Record(0);
    if (rec.empty()) return false;
    long a = FindAttribute(rec, 0x80);
    if (a < 0) return false;
    std::size_t at = std::size_t(a);
    std::vector<std::uint8_t> pairs = EncodeRuns(runs);
    std::size_t pairsAt = Get16(&rec[at + 0x20]);
    std::size_t oldLen = Get32(&rec[at + 4]);
    std::size_t newLen = std::max(oldLen, (pairsAt + pairs.size() + 7) & ~std::size_t(7));
    std::size_t used = Get32(&rec[0x18]);
    if (used + (newLen - oldLen) > rec.size()) return false;
    // Make room after the attribute, then write the runs.
    std::size_t grow = newLen - oldLen;
    std::memmove(&rec[at + newLen], &rec[at + oldLen], used - (at + oldLen));
    std::fill(rec.begin() + long(at + pairsAt), rec.begin() + long(at + newLen), 0);
    std::memcpy(&rec[at + pairsAt], pairs.data(), pairs.size());
    Put32(&rec[at + 4], std::uint32_t(newLen));
    Put32(&rec[0x18], std::uint32_t(used + grow));
    PutRecord(0, rec);
    return true;
}

bool NtfsImage::SplitFirstRunBackwards(std::uint64_t clusters) {
    if (m_runs.empty() || clusters == 0 || clusters >= m_runs[0].clusters) return false;
    MftRun first = m_runs[0];
    std::uint64_t begin = std::uint64_t(first.lcn) * m_cluster;
    std::uint64_t head = clusters * m_cluster;
    std::uint64_t total = first.clusters * m_cluster;
    if (begin + total > m_bytes.size()) return false;
    // The run's area now holds the tail first, then the head.
    std::rotate(m_bytes.begin() + long(begin), m_bytes.begin() + long(begin + head),
                m_bytes.begin() + long(begin + total));
    std::vector<MftRun> runs;
    runs.push_back(MftRun{first.lcn + std::int64_t(first.clusters - clusters), clusters});
    runs.push_back(MftRun{first.lcn, first.clusters - clusters});
    runs.insert(runs.end(), m_runs.begin() + 1, m_runs.end());
    return SetMftRuns(runs);
}

std::int64_t NtfsImage::SpillData(std::uint64_t index, std::size_t keep) {
    std::vector<std::uint8_t> rec = Record(index);
    long found = FindAttribute(rec, 0x80);
    std::int64_t free = 16;
    while (std::uint64_t(free) < recordCount() && (Get16(&Record(std::uint64_t(free))[0x16]) & 1))
        ++free;
    if (found < 0 || rec[size_t(found) + 8] == 0 || std::uint64_t(free) >= recordCount()) return -1;
    std::size_t at = std::size_t(found), length = Get32(&rec[at + 4]);
    std::size_t pairs = Get16(&rec[at + 0x20]);
    std::vector<MftRun> runs = DecodeRuns(&rec[at + pairs], &rec[at + length]);
    if (keep >= runs.size()) return -1;
    std::uint64_t vcn = 0;
    for (std::size_t i = 0; i < keep; ++i)
        vcn += runs[i].clusters;

    // The extension record: its own header, the base it extends, the moved piece.
    std::vector<std::uint8_t> ext = Record(std::uint64_t(free));
    std::vector<std::uint8_t> piece(rec.begin() + long(at), rec.begin() + long(at + 0x40));
    Put64(&piece[0x10], vcn);
    Put16(&piece[0x20], 0x40);
    if (keep) std::fill(piece.begin() + 0x28, piece.end(), 0);  // sizes: first piece only
    std::vector<std::uint8_t> moved = EncodeRuns({runs.begin() + long(keep), runs.end()});
    piece.insert(piece.end(), moved.begin(), moved.end());
    piece.resize((piece.size() + 7) & ~std::size_t(7));
    Put32(&piece[4], std::uint32_t(piece.size()));
    std::size_t first = Get16(&ext[0x14]);
    std::copy(piece.begin(), piece.end(), ext.begin() + long(first));
    Put32(&ext[first + piece.size()], 0xFFFFFFFFu);
    Put32(&ext[0x18], std::uint32_t(first + piece.size() + 8));
    Put16(&ext[0x16], 1);
    Put64(&ext[0x20], index | (std::uint64_t(Get16(&rec[0x10])) << 48));
    PutRecord(std::uint64_t(free), ext);

    // The base keeps the rest, and lists every attribute of the file by type, name and
    // first cluster, the moved piece among them, in an attribute list after $SI.
    std::size_t used = Get32(&rec[0x18]);
    if (keep == 0) {
        rec.erase(rec.begin() + long(at), rec.begin() + long(at + length));
        used -= length;
    } else {
        std::vector<std::uint8_t> kept = EncodeRuns({runs.begin(), runs.begin() + long(keep)});
        std::fill(rec.begin() + long(at + pairs), rec.begin() + long(at + length), 0);
        std::copy(kept.begin(), kept.end(), rec.begin() + long(at + pairs));
        Put64(&rec[at + 0x18], vcn - 1);
    }
    using Entry = std::vector<std::uint8_t>;
    auto entry = [](std::uint32_t type, const std::uint8_t* name, int units, std::uint64_t first,
                    std::uint64_t ref, std::uint16_t id) {
        Entry e((0x1A + 2 * size_t(units) + 7) & ~size_t(7), 0);
        Put32(&e[0], type);
        Put16(&e[4], std::uint16_t(e.size()));
        e[6] = std::uint8_t(units);
        e[7] = 0x1A;
        Put64(&e[8], first);
        Put64(&e[0x10], ref);
        Put16(&e[0x18], id);
        std::copy(name, name + 2 * units, e.begin() + 0x1A);
        return e;
    };
    std::uint64_t extRef = std::uint64_t(free) | (std::uint64_t(Get16(&ext[0x10])) << 48);
    std::vector<Entry> entries = {entry(0x80, nullptr, 0, vcn, extRef, Get16(&piece[0x0E]))};
    std::uint64_t self = index | (std::uint64_t(Get16(&rec[0x10])) << 48);
    std::size_t insertAt = 0;
    for (std::size_t off = Get16(&rec[0x14]); Get32(&rec[off]) != 0xFFFFFFFFu;
         off += Get32(&rec[off + 4])) {
        const std::uint8_t* h = &rec[off];
        if (!insertAt && Get32(h) > 0x20) insertAt = off;
        entries.push_back(entry(Get32(h), h + Get16(h + 0x0A), h[9], h[8] ? Get64(h + 0x10) : 0,
                                self, Get16(h + 0x0E)));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
        return std::make_tuple(Get32(&x[0]), Entry(x.begin() + 0x1A, x.end()), Get64(&x[8])) <
               std::make_tuple(Get32(&y[0]), Entry(y.begin() + 0x1A, y.end()), Get64(&y[8]));
    });
    Entry list(0x18, 0);
    for (const Entry& e : entries)
        list.insert(list.end(), e.begin(), e.end());
    Put32(&list[0], 0x20);
    Put32(&list[4], std::uint32_t(list.size()));
    Put32(&list[0x10], std::uint32_t(list.size() - 0x18));
    Put16(&list[0x14], 0x18);
    Put16(&list[0x0E], Get16(&rec[0x28]));
    Put16(&rec[0x28], std::uint16_t(Get16(&rec[0x28]) + 1));
    if (used + list.size() > m_record || !insertAt) return -1;
    rec.insert(rec.begin() + long(insertAt), list.begin(), list.end());
    rec.resize(m_record);
    Put32(&rec[0x18], std::uint32_t(used + list.size()));
    PutRecord(index, rec);
    return free;
}

}  // namespace ntfstest
