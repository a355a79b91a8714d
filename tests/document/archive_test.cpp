#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Units(const std::u16string& s) {
    Bytes out;
    for (char16_t c : s) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    return out;
}
Bytes Repeat(BYTE b, size_t n) { return Bytes(n, b); }

struct ValueCase {
    const char* name;
    Bytes bytes;
    std::function<void(DS_IOF_Virtual&)> readAndCheck;
    size_t advance;
};

// Bytes -> value -> cursor advance, for all eleven value kinds.
std::vector<ValueCase> ValueCases() {
    std::vector<ValueCase> cases;
    cases.push_back({"int", {0x78, 0x56, 0x34, 0x12, 0xEE},
                     [](DS_IOF_Virtual& ar) {
                         INT v = 0;
                         ar.ReadInt(v);
                         EXPECT_EQ(v, 0x12345678);
                     },
                     4});
    cases.push_back({"int negative", {0xFE, 0xFF, 0xFF, 0xFF},
                     [](DS_IOF_Virtual& ar) {
                         INT v = 0;
                         ar.ReadInt(v);
                         EXPECT_EQ(v, -2);
                     },
                     4});
    cases.push_back({"unsigned", {0xFF, 0xFF, 0xFF, 0xFF},
                     [](DS_IOF_Virtual& ar) {
                         UINT v = 0;
                         ar.ReadUInt(v);
                         EXPECT_EQ(v, 0xFFFFFFFFu);
                     },
                     4});
    cases.push_back({"long", {0x00, 0x00, 0x00, 0x80},
                     [](DS_IOF_Virtual& ar) {
                         LONG v = 0;
                         ar.ReadLong(v);
                         EXPECT_EQ(v, std::numeric_limits<LONG>::min());
                     },
                     4});
    cases.push_back({"int64 low half first", {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
                     [](DS_IOF_Virtual& ar) {
                         INT64 v = 0;
                         ar.ReadInt64(v);
                         EXPECT_EQ(v, static_cast<INT64>(0xFFFFFFFF00000001ull));
                     },
                     8});
    cases.push_back({"float", {0x00, 0x00, 0xC0, 0x3F},
                     [](DS_IOF_Virtual& ar) {
                         float v = 0;
                         ar.ReadFloat(v);
                         EXPECT_EQ(v, 1.5f);
                     },
                     4});
    cases.push_back({"point", {0x0A, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF},
                     [](DS_IOF_Virtual& ar) {
                         POINT v{};
                         ar.ReadPair(v);
                         EXPECT_EQ(v.x, 10);
                         EXPECT_EQ(v.y, -10);
                     },
                     8});
    cases.push_back({"char", {0x41, 0x42},
                     [](DS_IOF_Virtual& ar) {
                         CHAR v = 0;
                         ar.ReadChar(v);
                         EXPECT_EQ(v, 'A');
                     },
                     1});
    cases.push_back({"bool 0", {0x00},
                     [](DS_IOF_Virtual& ar) {
                         bool v = true;
                         ar.ReadBool(v);
                         EXPECT_FALSE(v);
                     },
                     1});
    cases.push_back({"bool 1", {0x01},
                     [](DS_IOF_Virtual& ar) {
                         bool v = false;
                         ar.ReadBool(v);
                         EXPECT_TRUE(v);
                     },
                     1});
    // Any byte but 0 is true (and must not reach a bool unconverted).
    cases.push_back({"bool 0x80", {0x80},
                     [](DS_IOF_Virtual& ar) {
                         bool v = false;
                         ar.ReadBool(v);
                         EXPECT_TRUE(v);
                     },
                     1});
    cases.push_back({"string byte form", Cat({{0xFF, 0xFE, 0xFF, 0x02}, Units(u"Hi"), {0x99}}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s;
                         ar.ReadString(s);
                         EXPECT_EQ(s, u"Hi");
                     },
                     8});
    cases.push_back({"empty string keeps earlier text", {0xFF, 0xFE, 0xFF, 0x00, 0x41},
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s = u"earlier";
                         ar.ReadString(s);
                         EXPECT_EQ(s, u"earlier");
                     },
                     4});
    cases.push_back({"string u16 form 256 units", Cat({{0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01}, Repeat(0x61, 512)}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s;
                         ar.ReadString(s);
                         EXPECT_EQ(s, std::u16string(256, u'\x6161'));
                     },
                     6 + 512});
    cases.push_back({"string u32 form", Cat({{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}, Units(u"abc")}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s;
                         ar.ReadString(s);
                         EXPECT_EQ(s, u"abc");
                     },
                     16});
    cases.push_back({"marker bytes are not looked at", Cat({{0x00, 0x12, 0x34, 0x01}, Units(u"Z")}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s;
                         ar.ReadString(s);
                         EXPECT_EQ(s, u"Z");
                     },
                     6});
    cases.push_back({"zero unit cuts the string, all units consumed",
                     Cat({{0xFF, 0xFE, 0xFF, 0x03}, Units(std::u16string(u"a\0b", 3)), {0x07, 0, 0, 0}}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s = u"old";
                         ar.ReadString(s);
                         EXPECT_EQ(s, u"a");
                         INT next = 0;
                         ar.ReadInt(next);
                         EXPECT_EQ(next, 7);
                     },
                     10 + 4});
    cases.push_back({"non-ASCII units", Cat({{0xFF, 0xFE, 0xFF, 0x02}, {0xE9, 0x00, 0x3D, 0xD8}}),
                     [](DS_IOF_Virtual& ar) {
                         std::u16string s;
                         ar.ReadString(s);
                         EXPECT_EQ(s, std::u16string(u"\u00E9") + char16_t(0xD83D));
                     },
                     8});
    cases.push_back({"file blob", Cat({{3, 0, 0, 0, 0xAA, 0xBB, 0xCC}, {0xFF, 0xFE, 0xFF, 0x01}, Units(u"p")}),
                     [](DS_IOF_Virtual& ar) {
                         DS_FileData f;
                         ar.ReadFileData(f);
                         ASSERT_EQ(f.GetSize(), 3u);
                         EXPECT_EQ(f.GetBytes()[2], 0xCC);
                         EXPECT_EQ(f.path, u"p");
                     },
                     7 + 6});
    cases.push_back({"resource-file record", Cat({{63, 0, 0, 0}, {0xFF, 0xFE, 0xFF, 0x01}, Units(u"m"),
                                                  {2, 0, 0, 0, 0x10, 0x20}, {0xFF, 0xFE, 0xFF, 0x00}}),
                     [](DS_IOF_Virtual& ar) {
                         DS_ResFileData r = DS_ResFileData::Read(ar);
                         EXPECT_EQ(r.resourceId, 63);
                         EXPECT_EQ(r.module, u"m");
                         ASSERT_EQ(r.GetSize(), 2u);
                         EXPECT_EQ(r.GetBytes()[1], 0x20);
                         EXPECT_EQ(r.path, u"");
                     },
                     4 + 6 + 6 + 4});
    // Size 0: no buffer, the path follows the size field directly.
    cases.push_back({"resource-file record size 0", Cat({{0, 0, 0, 0}, {0xFF, 0xFE, 0xFF, 0x00}, {0, 0, 0, 0},
                                                         {0xFF, 0xFE, 0xFF, 0x01}, Units(u"q")}),
                     [](DS_IOF_Virtual& ar) {
                         DS_ResFileData r = DS_ResFileData::Read(ar);
                         EXPECT_EQ(r.GetBytes(), nullptr);
                         EXPECT_EQ(r.GetSize(), 0u);
                         EXPECT_EQ(r.path, u"q");
                     },
                     4 + 4 + 4 + 6});
    return cases;
}

TEST(Archive, ValueTable) {
    for (const ValueCase& c : ValueCases()) {
        SCOPED_TRACE(c.name);
        ResourceBuffer buffer(c.bytes.data(), c.bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        c.readAndCheck(reader);
        EXPECT_EQ(static_cast<size_t>(buffer.Cursor() - c.bytes.data()), c.advance);
    }
}

// Every case truncated by one byte or more fails with the load error and
// reads nothing outside its bytes (the copy is exact-sized, so the sanitizer
// build sees any over-read).
TEST(Archive, ValueTableTruncatedFails) {
    for (const ValueCase& c : ValueCases()) {
        for (size_t n = 0; n < c.advance; ++n) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(n));
            Bytes cut(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            ResourceBuffer buffer(cut.data(), cut.size());
            DS_IOF_R<ResourceBuffer> reader(&buffer);
            bool threw = false;
            try {
                c.readAndCheck(reader);
            } catch (const DS_LoadError& e) {
                threw = true;
                EXPECT_EQ(e.Code(), 0x8200000Bu);
            }
            EXPECT_TRUE(threw);
        }
    }
}

// The text of a load error says where the document stopped making sense.
TEST(Archive, LoadErrorsNameTheOffset) {
    const Bytes six = {1, 0, 0, 0, 2, 0};
    ResourceBuffer buffer(six.data(), six.size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    INT value = 0;
    reader.ReadInt(value);
    try {
        reader.ReadInt(value);
        ADD_FAILURE() << "a read past the end did not throw";
    } catch (const DS_LoadError& e) {
        EXPECT_STREQ(e.what(), "scene document ends early at offset 4: 4 bytes wanted, 2 left");
    }
    const Bytes list = {0, 0, 0, 0, 9, 0, 0, 0, 0};  // a count of 9 floats, one byte left
    ResourceBuffer listBuffer(list.data(), list.size());
    std::vector<float> floats;
    listBuffer.ReadValue<INT>();
    try {
        listBuffer.ReadFloatList(floats);
        ADD_FAILURE() << "a float list too long for its bytes did not throw";
    } catch (const DS_LoadError& e) {
        EXPECT_STREQ(e.what(), "scene document: float list of 9 values at offset 8 does not fit");
    }
}

TEST(Archive, NullBufferReadsNothing) {
    ResourceBuffer buffer;
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    INT v = 5;
    EXPECT_THROW(reader.ReadInt(v), DS_LoadError);
    EXPECT_EQ(v, 5);
}

// Hostile length and count fields: each must fail before allocating anything
// large (a 4 GiB or 8 GiB allocation would abort the sanitizer build).
TEST(Archive, HostileLengthsFailFast) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::function<void(ResourceBuffer&)> read;
    };
    auto readString = [](ResourceBuffer& b) {
        std::u16string s;
        b.ReadString(s);
    };
    auto readBlob = [](ResourceBuffer& b) {
        DS_FileData f;
        b.ReadFileData(f);
    };
    auto readRecord = [](ResourceBuffer& b) {
        DS_ResFileData r;
        b.ReadResFile(r);
    };
    auto readFloats = [](ResourceBuffer& b) {
        std::vector<float> v;
        b.ReadFloatList(v);
    };
    auto readRecords = [](ResourceBuffer& b) {
        std::vector<DS_ResFileData> v;
        ReadResFileListFromBuffer(b, v);
    };
    const std::vector<Case> cases = {
        {"string n 0xFFFFFFFF", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x41, 0x00}, readString},
        {"string n 0x80000000", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x41, 0x00}, readString},
        {"string u16 n 0xFFFE", {0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0x41, 0x00}, readString},
        {"string byte n 254", {0xFF, 0xFE, 0xFF, 0xFE, 0x41, 0x00}, readString},
        {"file size 0xFFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, readBlob},
        {"record size 0xFFFFFFFF", {1, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 1}, readRecord},
        {"float count -1", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, readFloats},
        {"float count 0x7FFFFFFF", {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}, readFloats},
        {"float count 3 with 2 floats", {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, readFloats},
        {"record count -2", {0xFE, 0xFF, 0xFF, 0xFF}, readRecords},
        {"record count 0x7FFFFFFF", {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}, readRecords},
        {"record count 2 with 1 record",
         Cat({{2, 0, 0, 0}, {0, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0}, Repeat(0, 15)}),
         readRecords},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResourceBuffer buffer(c.bytes.data(), c.bytes.size());
        EXPECT_THROW(c.read(buffer), DS_LoadError);
    }
}

TEST(Archive, ListsRead) {
    DS_IOF_W w;
    w.WriteInt(2);
    w.WriteFloat(0.25f);
    w.WriteFloat(-4.0f);
    w.WriteInt(2);
    DS_ResFileData a(7, u"common_res.dll");
    a.SetBytes(3, "abc");
    DS_ResFileData b;
    b.path = u"C:\\pics\\b.tga";
    w.WriteResFile(a);
    w.WriteResFile(b);
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    std::vector<float> values = {9, 9, 9};
    buffer.ReadFloatList(values);
    EXPECT_EQ(values, (std::vector<float>{0.25f, -4.0f}));
    std::vector<DS_ResFileData> records;
    ReadResFileListFromBuffer(buffer, records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].resourceId, 7);
    EXPECT_EQ(records[0].module, u"common_res.dll");
    EXPECT_EQ(std::memcmp(records[0].GetBytes(), "abc", 3), 0);
    EXPECT_EQ(records[1].path, u"C:\\pics\\b.tga");
    EXPECT_EQ(records[1].GetBytes(), nullptr);
    EXPECT_EQ(buffer.Remaining(), 0u);
}

// Write then read every value kind: the writer's bytes are exactly what the
// reader consumes.
TEST(Archive, RoundTripEveryKind) {
    const std::u16string longText(300, u'x');
    const std::u16string hugeText(70000, u'\x263A');
    DS_ResFileData record(92, u"common_res.dll");
    record.SetBytes(5, "\x01\x02\x03\x04\x05");
    record.path = u"C:\\fx\\fire.fx";
    DS_FileData blob;
    blob.SetBytes(2, "\xFF\x00");
    blob.path = u"a\\b.wav";

    DS_IOF_W w;
    DS_IOF_Virtual& out = w;
    out.WriteResFile(record);
    out.WriteFileData(blob);
    out.WriteString(u"");
    out.WriteString(u"KVL v 4.0.0");
    out.WriteString(std::u16string(254, u'y'));
    out.WriteString(longText);
    out.WriteString(std::u16string(65534, u'z'));
    out.WriteString(hugeText);
    out.WriteInt64(-1234567890123ll);
    out.WriteFloat(-0.0f);
    out.WriteFloat(std::numeric_limits<float>::infinity());
    out.WritePair(POINT{-5, 7});
    out.WriteInt(-1);
    out.WriteUInt(0xDEADBEEFu);
    out.WriteChar('q');
    out.WriteBool(true);
    out.WriteBool(false);
    out.WriteLong(123456);

    // The string forms: 254 units still take the byte form, 300 the u16 form,
    // 65534 the u16 form, 70000 the u32 form.
    const size_t expected = (4 + (4 + 28) + 4 + 5 + (4 + 26)) + (4 + 2 + 4 + 14) + 4 + (4 + 22) + (4 + 508) + (6 + 600) +
                            (6 + 2 * 65534) + (10 + 140000) + 8 + 4 + 4 + 8 + 4 + 4 + 1 + 1 + 1 + 4;
    ASSERT_EQ(w.Bytes().size(), expected);

    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    DS_IOF_Virtual& in = reader;
    DS_ResFileData r;
    in.ReadResFile(r);
    EXPECT_EQ(r.resourceId, 92);
    EXPECT_EQ(r.module, u"common_res.dll");
    EXPECT_EQ(r.path, u"C:\\fx\\fire.fx");
    ASSERT_EQ(r.GetSize(), 5u);
    EXPECT_EQ(std::memcmp(r.GetBytes(), record.GetBytes(), 5), 0);
    DS_FileData f;
    in.ReadFileData(f);
    EXPECT_EQ(f.path, blob.path);
    ASSERT_EQ(f.GetSize(), 2u);
    EXPECT_EQ(f.GetBytes()[0], 0xFF);
    std::u16string s = u"kept";
    in.ReadString(s);
    EXPECT_EQ(s, u"kept");
    in.ReadString(s);
    EXPECT_EQ(s, u"KVL v 4.0.0");
    in.ReadString(s);
    EXPECT_EQ(s, std::u16string(254, u'y'));
    in.ReadString(s);
    EXPECT_EQ(s, longText);
    in.ReadString(s);
    EXPECT_EQ(s, std::u16string(65534, u'z'));
    in.ReadString(s);
    EXPECT_EQ(s, hugeText);
    INT64 i64 = 0;
    in.ReadInt64(i64);
    EXPECT_EQ(i64, -1234567890123ll);
    float fl = 1;
    in.ReadFloat(fl);
    EXPECT_TRUE(fl == 0.0f && std::signbit(fl));
    in.ReadFloat(fl);
    EXPECT_TRUE(std::isinf(fl));
    POINT p{};
    in.ReadPair(p);
    EXPECT_EQ(p.x, -5);
    EXPECT_EQ(p.y, 7);
    INT i = 0;
    in.ReadInt(i);
    EXPECT_EQ(i, -1);
    UINT u = 0;
    in.ReadUInt(u);
    EXPECT_EQ(u, 0xDEADBEEFu);
    CHAR c = 0;
    in.ReadChar(c);
    EXPECT_EQ(c, 'q');
    bool b1 = false, b2 = true;
    in.ReadBool(b1);
    in.ReadBool(b2);
    EXPECT_TRUE(b1);
    EXPECT_FALSE(b2);
    LONG l = 0;
    in.ReadLong(l);
    EXPECT_EQ(l, 123456);
    EXPECT_EQ(buffer.Remaining(), 0u);
}

TEST(Archive, WriterCannotRead) {
    DS_IOF_W w;
    INT v = 0;
    EXPECT_THROW(w.ReadInt(v), DS_LoadError);
}

TEST(FileData, PathAndBytes) {
    DS_FileData f;
    f.path = u"C:\\dir\\Pic.PNG";
    f.SetBytes(4, "abcd");
    EXPECT_EQ(f.GetFileName(), u"Pic.PNG");

    f.SetPath(u"C:\\dir\\Pic.PNG");  // same path keeps the bytes
    EXPECT_EQ(f.GetSize(), 4u);
    f.SetPath(u"C:\\dir\\pic.png");  // differs only in case: bytes dropped
    EXPECT_EQ(f.GetSize(), 0u);
    EXPECT_EQ(f.GetBytes(), nullptr);
    EXPECT_EQ(f.path, u"C:\\dir\\pic.png");

    DS_FileData noSlash;
    noSlash.path = u"file.wav";
    EXPECT_EQ(noSlash.GetFileName(), u"");
    DS_FileData trailing;
    trailing.path = u"C:\\dir\\";
    EXPECT_EQ(trailing.GetFileName(), u"");
}

TEST(FileData, CopiesOwnTheirBytes) {
    DS_ResFileData a(5, u"common_res.dll");
    a.SetBytes(3, "xyz");
    DS_ResFileData b = a;
    a.SetBytes(1, "q");
    EXPECT_EQ(b.resourceId, 5);
    EXPECT_EQ(b.module, u"common_res.dll");
    ASSERT_EQ(b.GetSize(), 3u);
    EXPECT_EQ(std::memcmp(b.GetBytes(), "xyz", 3), 0);
    DS_ResFileData empty;
    DS_ResFileData copy = empty;
    EXPECT_EQ(copy.GetBytes(), nullptr);
    EXPECT_EQ(copy.resourceId, 0);
}

}  // namespace
