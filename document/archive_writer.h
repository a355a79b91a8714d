// The writing archive: every write appends exactly the bytes its paired read
// consumes (see archive.h for the layout of each value kind).  Tests and the
// scene document builder make documents with it.
#pragma once

#include <cstring>
#include <vector>

#include "document/archive.h"

class DS_IOF_W final : public DS_IOF_Virtual {
public:
    void WriteResFile(const DS_ResFileData& value) override;
    void WriteFileData(const DS_FileData& value) override;
    // Uses the shortest length form: byte form below 255 units, u16 form
    // below 65535, u32 form above.
    void WriteString(const std::u16string& value) override;
    void WriteInt64(const INT64& value) override { Append(&value, 8); }
    void WriteFloat(const float& value) override { Append(&value, 4); }
    void WritePair(const POINT& value) override {
        Append(&value.x, 4);
        Append(&value.y, 4);
    }
    void WriteInt(const INT& value) override { Append(&value, 4); }
    void WriteUInt(const UINT& value) override { Append(&value, 4); }
    void WriteChar(const CHAR& value) override { Append(&value, 1); }
    void WriteBool(const bool& value) override {
        BYTE b = value ? 1 : 0;
        Append(&b, 1);
    }
    void WriteLong(const LONG& value) override { Append(&value, 4); }

    // A writing archive has nothing to read: these throw DS_LoadError.
    void ReadResFile(DS_ResFileData&) override { NoRead(); }
    void ReadFileData(DS_FileData&) override { NoRead(); }
    void ReadString(std::u16string&) override { NoRead(); }
    void ReadInt64(INT64&) override { NoRead(); }
    void ReadFloat(float&) override { NoRead(); }
    void ReadPair(POINT&) override { NoRead(); }
    void ReadInt(INT&) override { NoRead(); }
    void ReadUInt(UINT&) override { NoRead(); }
    void ReadChar(CHAR&) override { NoRead(); }
    void ReadBool(bool&) override { NoRead(); }
    void ReadLong(LONG&) override { NoRead(); }

    // Raw bytes, for fixtures that need a value no write produces (a damaged
    // length, odd marker bytes).
    void Append(const void* data, size_t n) {
        if (n == 0) return;
        const size_t at = bytes_.size();
        bytes_.resize(at + n);
        std::memcpy(bytes_.data() + at, data, n);
    }

    const std::vector<BYTE>& Bytes() const { return bytes_; }
    std::vector<BYTE> TakeBytes() { return std::move(bytes_); }

private:
    [[noreturn]] static void NoRead();

    std::vector<BYTE> bytes_;
};
