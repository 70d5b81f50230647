// TIFF directories (IFDs): a map from tag to entry, iterated in ascending tag order, and
// an optional next directory. The directory owns its entries and its next directory.
//
// The subclasses name the directories of an EXIF structure: IFD0, IFD1 (with the
// thumbnail's JPEG bytes), the EXIF, GPS and interoperability directories. Which tags
// each keeps when read is decided by the readers (ifd_reader.h).
//
// Writing lays a directory out as: entry count, the entries in tag order, the offset of
// the next directory (or 0), the values that do not fit in their entries (each padded to
// an even size so that every value starts on a word boundary), then any extra bytes of
// the subclass (IFD1's thumbnail), then the next directory. Offsets are counted from
// the start of the TIFF header; the caller passes where the directory will stand.
// Nothing here throws.
#pragma once

#include <map>
#include <memory>

#include "exiflib/ifd_entry.h"
#include "exiflib/io.h"
#include "platform/types.h"

namespace ExifLib {

class CIFD {
public:
    using EntryMap = std::map<WORD, std::unique_ptr<IIFDEntry>>;

    CIFD() = default;
    CIFD(const CIFD&) = delete;
    CIFD& operator=(const CIFD&) = delete;
    virtual ~CIFD();

    // Writes this directory at TIFF offset `offset`, then the next one after it.
    virtual bool Write(IIO* out, bool bigEndian, int offset);
    // The bytes Write emits, the next directory included.
    virtual int GetSize() const;
    // Fills a new directory with standard entries; nothing for a plain directory.
    virtual void SetDefaults() {}

    IIFDEntry* GetEntry(WORD tag) const;
    bool HasEntry(WORD tag) const { return m_mapEntries.count(tag) != 0; }
    const EntryMap& GetEntries() const { return m_mapEntries; }
    int GetEntryCount() const { return int(m_mapEntries.size()); }
    // Takes ownership of `entry` and stores it under its tag, replacing (and freeing) an
    // entry with the same tag. A null entry, or no memory, gives false.
    bool SetEntry(IIFDEntry* entry);

    CIFD* GetNext() const { return m_pNext; }
    // Takes ownership of `next`; an earlier next directory is freed.
    void SetNext(CIFD* next);

protected:
    // Bytes written after the outside values (always even), and their writer.
    virtual int GetExtraSize() const { return 0; }
    virtual bool WriteExtra(IIO*) { return true; }
    // Called by Write with the TIFF offset at which the extra bytes will stand.
    virtual void PrepareWrite(DWORD) {}
    // The outside-value area: the data sizes of the entries, each padded to even.
    std::int64_t GetValuesSize() const;

private:
    CIFD* m_pNext = nullptr;
    EntryMap m_mapEntries;
};

class CJPEGIFD0 : public CIFD {
public:
    // XResolution and YResolution 72/1, ResolutionUnit 2 (inches), YCbCrPositioning 1.
    void SetDefaults() override;
};

class CJPEGIFD1 : public CIFD {
public:
    ~CJPEGIFD1() override;
    // Takes ownership of `data` (allocated with new[]) and sets the JPEGInterchangeFormat
    // and JPEGInterchangeFormatLength entries to match; the format offset is filled in
    // when the directory is written.
    bool SetThumbnail(BYTE* data, DWORD length);
    const BYTE* GetThumbnail() const { return m_pThumbnail; }
    DWORD GetThumbnailLength() const { return m_dwThumbLength; }

protected:
    int GetExtraSize() const override { return int((m_dwThumbLength + 1) & ~1u); }
    bool WriteExtra(IIO* out) override;
    void PrepareWrite(DWORD extraOffset) override;

private:
    bool SetLong(WORD tag, DWORD value);

    BYTE* m_pThumbnail = nullptr;
    DWORD m_dwThumbLength = 0;
};

class CJPEGExifIFD : public CIFD {
public:
    // ExifVersion "0210", FlashpixVersion "0100", ColorSpace 1, ComponentsConfiguration
    // 1 2 3 0, MeteringMode 0, LightSource 0, ExposureProgram 0,
    // FocalPlaneResolutionUnit 2, FileSource 3, SceneType 1.
    void SetDefaults() override;
};

class CJPEGGpsIFD : public CIFD {
public:
    // GPSVersionID 2.2.0.0.
    void SetDefaults() override;
};

class CJPEGInterOperIFD : public CIFD {};

}  // namespace ExifLib
