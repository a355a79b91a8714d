#include "document/archive_writer.h"

#include <cstdint>

void DS_IOF_W::NoRead() { throw DS_LoadError("a writing archive cannot read"); }

void DS_IOF_W::WriteString(const std::u16string& value) {
    static const BYTE marker[3] = {0xFF, 0xFE, 0xFF};
    Append(marker, 3);
    const uint64_t n = value.size();
    if (n < 0xFF) {
        BYTE l = static_cast<BYTE>(n);
        Append(&l, 1);
    } else if (n < 0xFFFF) {
        BYTE l = 0xFF;
        WORD w = static_cast<WORD>(n);
        Append(&l, 1);
        Append(&w, 2);
    } else {
        BYTE l = 0xFF;
        WORD w = 0xFFFF;
        DWORD d = static_cast<DWORD>(n);
        Append(&l, 1);
        Append(&w, 2);
        Append(&d, 4);
    }
    Append(value.data(), value.size() * 2);
}

void DS_IOF_W::WriteFileData(const DS_FileData& value) {
    DWORD size = value.GetSize();
    WriteUInt(size);
    if (size) Append(value.GetBytes(), size);
    WriteString(value.path);
}

void DS_IOF_W::WriteResFile(const DS_ResFileData& value) {
    WriteInt(value.resourceId);
    WriteString(value.module);
    WriteFileData(value);
}
