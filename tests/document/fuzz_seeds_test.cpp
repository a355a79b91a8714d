// Writes the seed corpus of the archive fuzz target.  Disabled: run it by hand
// after a format change, then commit the files:
//   test_document --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds'
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "document/guid_text.h"
#include "tests/support/document_fixture.h"

namespace {

void Save(const std::string& name, const std::vector<BYTE>& bytes) {
    std::string path = std::string(TESSALOOM_SOURCE_DIR) + "/tests/fuzz/corpus/archive/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

void Op(DS_IOF_W& w, BYTE op) { w.Append(&op, 1); }

TEST(FuzzSeeds, DISABLED_WriteFuzzSeeds) {
    Save("document.bin", fixture::MakeDocumentBytes());

    DS_IOF_W values;
    Op(values, 0);
    values.WriteString(u"DS_SlideShow_Light");
    Op(values, 0);
    values.WriteString(std::u16string(300, u'w'));
    Op(values, 1);
    values.WriteInt(-7);
    Op(values, 4);
    values.WriteInt64(1ll << 40);
    Op(values, 5);
    values.WriteFloat(0.02f);
    Op(values, 6);
    values.WritePair(POINT{800, 600});
    Op(values, 8);
    values.WriteBool(true);
    Save("values.bin", values.TakeBytes());

    DS_IOF_W records;
    DS_ResFileData record(63, u"common_res.dll");
    record.SetBytes(4, "\x01\x02\x03\x04");
    Op(records, 9);
    records.WriteFileData(record);
    Op(records, 10);
    records.WriteResFile(record);
    Op(records, 11);
    records.WriteInt(2);
    records.WriteFloat(1.0f);
    records.WriteFloat(2.0f);
    Op(records, 12);
    records.WriteInt(1);
    records.WriteResFile(record);
    Op(records, 13);
    MediaRectangle area;
    area.right.value = 640;
    area.Write(records);
    Op(records, 14);
    MediaQuad().Write(records);
    Op(records, 15);
    WriteFileLink(records, DS_FileLink3(5, u"common_res.dll"));
    Op(records, 16);
    WriteGuid(records, GUID{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}});
    Op(records, 17);
    fixture::Circle circle;
    circle.Write(records);
    Save("records.bin", records.TakeBytes());

    // Damaged lengths and counts.
    Save("huge_string.bin", {0, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x41, 0});
    Save("huge_blob.bin", {9, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3});
    Save("negative_count.bin", {12, 0xFE, 0xFF, 0xFF, 0xFF, 11, 0xFF, 0xFF, 0xFF, 0x7F});
}

}  // namespace
