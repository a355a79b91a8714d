// The scene document archive: value kinds, the byte source and the reader.
//
// A document is one little-endian byte sequence with no alignment, padding,
// lengths or checksum; values follow one another and only the order in which
// readers ask for them gives them meaning.  The bytes of each value kind:
//
//   resource-file record  int32 id; string module; u32 size; size bytes; string path
//   file blob             u32 size; size bytes; string path
//   string                FF FE FF, then a length prefix (see below), then n UTF-16LE units
//   64-bit stamp          8 bytes, signed, low half first
//   float                 4 bytes IEEE single
//   point                 int32 x, int32 y
//   int, unsigned, long   4 bytes
//   char, bool            1 byte (bool: any non-zero byte is true)
//
// String length prefix: a byte L; L != 0xFF gives n = L.  Otherwise a u16 W
// follows; W != 0xFFFF gives n = W.  Otherwise a u32 follows and is n.  So a
// string occupies 4, 6 or 10 bytes plus 2n.  The three marker bytes are
// skipped unread: stored documents do not all agree on them.
//
// Unlike the format itself, the reader here never trusts a length: every read
// checks the bytes that remain first, and any shortfall throws DS_LoadError.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "document/load_error.h"
#include "platform/win32/types.h"

class DS_FileData;
class DS_ResFileData;

// The abstract archive.  The k-th write and the k-th read form a pair and
// stand for the same bytes.  Writes do nothing unless an archive that writes
// overrides them (DS_IOF_W); every archive implements all reads.
class DS_IOF_Virtual {
public:
    virtual ~DS_IOF_Virtual() = default;

    virtual void WriteResFile(const DS_ResFileData&) {}
    virtual void WriteFileData(const DS_FileData&) {}
    virtual void WriteString(const std::u16string&) {}
    virtual void WriteInt64(const INT64&) {}
    virtual void WriteFloat(const float&) {}
    virtual void WritePair(const POINT&) {}
    virtual void WriteInt(const INT&) {}
    virtual void WriteUInt(const UINT&) {}
    virtual void WriteChar(const CHAR&) {}
    virtual void WriteBool(const bool&) {}
    virtual void WriteLong(const LONG&) {}

    virtual void ReadResFile(DS_ResFileData& value) = 0;
    virtual void ReadFileData(DS_FileData& value) = 0;
    // An empty stored string leaves `value` as it was; a zero unit inside the
    // stored text ends the string there (the rest is still consumed).
    virtual void ReadString(std::u16string& value) = 0;
    virtual void ReadInt64(INT64& value) = 0;
    virtual void ReadFloat(float& value) = 0;
    virtual void ReadPair(POINT& value) = 0;
    virtual void ReadInt(INT& value) = 0;
    virtual void ReadUInt(UINT& value) = 0;
    virtual void ReadChar(CHAR& value) = 0;
    virtual void ReadBool(bool& value) = 0;
    virtual void ReadLong(LONG& value) = 0;
};

// One file's bytes with the path it came from on the authoring machine.
class DS_FileData {
public:
    DS_FileData() = default;
    DS_FileData(const DS_FileData&) = default;
    DS_FileData& operator=(const DS_FileData&) = default;
    DS_FileData(DS_FileData&&) noexcept = default;
    DS_FileData& operator=(DS_FileData&&) noexcept = default;
    virtual ~DS_FileData() = default;

    // Null when the record carries no bytes.
    const BYTE* GetBytes() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetSize() const { return static_cast<DWORD>(bytes_.size()); }
    // Keeps a copy of `size` bytes (none when size is 0), freeing the old ones.
    void SetBytes(DWORD size, const void* bytes);
    void ClearBytes() { bytes_.clear(); bytes_.shrink_to_fit(); }

    const std::u16string& GetPath() const { return path; }
    // A different path (compared unit by unit, case-sensitive) drops the bytes;
    // the same path changes nothing.
    void SetPath(const std::u16string& newPath);
    // The part after the last backslash; empty when there is none.
    std::u16string GetFileName() const;

    std::u16string path;

private:
    std::vector<BYTE> bytes_;
};

// A file known by its bytes, its path, or a numbered resource of a module.
class DS_ResFileData : public DS_FileData {
public:
    DS_ResFileData() = default;
    DS_ResFileData(INT resource, const std::u16string& moduleName) : resourceId(resource), module(moduleName) {}

    // A default record filled from the archive.
    static DS_ResFileData Read(DS_IOF_Virtual& archive);

    // Replaces the bytes with a copy of resource type "DDS", number
    // resourceId, of the module named `module`.  False, and the record
    // unchanged, when the resource cannot be found, loaded or locked.
    bool LoadFromModule();

    INT resourceId = 0;        // 0 for a file of the authoring machine
    std::u16string module;     // empty for a file of the authoring machine
};

// The byte source of a document: a memory range that knows where it ends.
class ResourceBuffer {
public:
    // No bytes: every read fails.
    ResourceBuffer() = default;
    ResourceBuffer(const void* data, size_t size) { SetMemory(data, size); }

    void SetMemory(const void* data, size_t size) {
        begin_ = cursor_ = static_cast<const BYTE*>(data);
        end_ = cursor_ ? cursor_ + size : nullptr;
    }
    const BYTE* Cursor() const { return cursor_; }
    size_t Remaining() const { return static_cast<size_t>(end_ - cursor_); }
    // How far the cursor is from the start, for error texts.
    size_t Offset() const { return static_cast<size_t>(cursor_ - begin_); }

    // Copies n bytes to `target` and advances; throws when fewer remain.
    void Read(void* target, size_t n) {
        if (n > Remaining()) ThrowPastEnd(n);
        std::memcpy(target, cursor_, n);
        cursor_ += n;
    }
    // The n bytes at the cursor, then advances past them.
    const BYTE* Take(size_t n) {
        if (n > Remaining()) ThrowPastEnd(n);
        const BYTE* p = cursor_;
        cursor_ += n;
        return p;
    }
    template <class T>
    T ReadValue() {
        T v;
        Read(&v, sizeof(T));
        return v;
    }

    // Value kinds read straight from the buffer (DS_IOF_R<ResourceBuffer>
    // forwards to these).
    void ReadString(std::u16string& value);
    void ReadFileData(DS_FileData& value);
    void ReadResFile(DS_ResFileData& value);

    // int32 count, then count floats.  A negative count, or one the bytes
    // left cannot hold, throws.
    void ReadFloatList(std::vector<float>& values);

private:
    [[noreturn]] void ThrowPastEnd(size_t wanted) const;
    void ReadBlob(DS_FileData& value);

    const BYTE* begin_ = nullptr;
    const BYTE* cursor_ = nullptr;
    const BYTE* end_ = nullptr;
};

// int32 count, then count resource-file records.  A negative count, or one
// the bytes left cannot hold, throws.
void ReadResFileListFromBuffer(ResourceBuffer& buffer, std::vector<DS_ResFileData>& records);

template <class Source>
class DS_IOF_R;

// The document reader.  It does not own its buffer.
template <>
class DS_IOF_R<ResourceBuffer> final : public DS_IOF_Virtual {
public:
    explicit DS_IOF_R(ResourceBuffer* buffer) : buffer_(buffer) {}

    void ReadResFile(DS_ResFileData& value) override { buffer_->ReadResFile(value); }
    void ReadFileData(DS_FileData& value) override { buffer_->ReadFileData(value); }
    void ReadString(std::u16string& value) override { buffer_->ReadString(value); }
    void ReadInt64(INT64& value) override { buffer_->Read(&value, 8); }
    void ReadFloat(float& value) override { buffer_->Read(&value, 4); }
    void ReadPair(POINT& value) override {
        buffer_->Read(&value.x, 4);
        buffer_->Read(&value.y, 4);
    }
    void ReadInt(INT& value) override { buffer_->Read(&value, 4); }
    void ReadUInt(UINT& value) override { buffer_->Read(&value, 4); }
    void ReadChar(CHAR& value) override { buffer_->Read(&value, 1); }
    // Any non-zero byte is true; copying the byte into a bool would be undefined.
    void ReadBool(bool& value) override { value = buffer_->ReadValue<BYTE>() != 0; }
    void ReadLong(LONG& value) override { buffer_->Read(&value, 4); }

    ResourceBuffer* Buffer() const { return buffer_; }

private:
    ResourceBuffer* buffer_;
};

using DS_DocumentReader = DS_IOF_R<ResourceBuffer>;
