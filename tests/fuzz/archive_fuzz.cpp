// Reads values and records from arbitrary bytes.  Every fault must surface
// as DS_LoadError, never as an out-of-bounds read, a huge allocation or a
// crash; and every value read must survive a write and read back unchanged.
//
// Input: first a document-like stream is tried as a whole; then the same
// bytes are read as a script: one op byte, then the value that op reads.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/file_link.h"
#include "document/guid_text.h"
#include "document/media_area.h"
#include "tests/support/document_fixture.h"

using namespace fixture;

DS_REGISTER_READER(ShapeRegistry(), Circle, Shape)
DS_REGISTER_READER(ShapeRegistry(), Polygon, Shape)

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Writes with `write`, reads back with `read`, and checks the bytes were
// consumed exactly.
template <class W, class R>
void RoundTrip(W write, R read) {
    DS_IOF_W w;
    write(w);
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    read(reader, buffer);
    Check(buffer.Remaining() == 0);
}

void RunOp(BYTE op, DS_IOF_Virtual& ar, ResourceBuffer& buffer) {
    switch (op % 18) {
        case 0: {
            std::u16string s;
            ar.ReadString(s);
            for (char16_t c : s) Check(c != 0);
            RoundTrip([&](DS_IOF_W& w) { w.WriteString(s); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          std::u16string t;
                          r.ReadString(t);
                          Check(t == s);
                      });
            break;
        }
        case 1: {
            INT v;
            ar.ReadInt(v);
            RoundTrip([&](DS_IOF_W& w) { w.WriteInt(v); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          INT t;
                          r.ReadInt(t);
                          Check(t == v);
                      });
            break;
        }
        case 2: {
            UINT v;
            ar.ReadUInt(v);
            break;
        }
        case 3: {
            LONG v;
            ar.ReadLong(v);
            break;
        }
        case 4: {
            INT64 v;
            ar.ReadInt64(v);
            RoundTrip([&](DS_IOF_W& w) { w.WriteInt64(v); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          INT64 t;
                          r.ReadInt64(t);
                          Check(t == v);
                      });
            break;
        }
        case 5: {
            float v;
            ar.ReadFloat(v);
            RoundTrip([&](DS_IOF_W& w) { w.WriteFloat(v); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          float t;
                          r.ReadFloat(t);
                          Check(std::memcmp(&t, &v, 4) == 0);
                      });
            break;
        }
        case 6: {
            POINT v;
            ar.ReadPair(v);
            break;
        }
        case 7: {
            CHAR c;
            ar.ReadChar(c);
            break;
        }
        case 8: {
            bool b;
            ar.ReadBool(b);
            RoundTrip([&](DS_IOF_W& w) { w.WriteBool(b); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          bool t;
                          r.ReadBool(t);
                          Check(t == b);
                      });
            break;
        }
        case 9: {
            DS_FileData f;
            ar.ReadFileData(f);
            Check((f.GetSize() == 0) == (f.GetBytes() == nullptr));
            RoundTrip([&](DS_IOF_W& w) { w.WriteFileData(f); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          DS_FileData t;
                          r.ReadFileData(t);
                          Check(t.path == f.path && t.GetSize() == f.GetSize());
                          Check(f.GetSize() == 0 || std::memcmp(t.GetBytes(), f.GetBytes(), f.GetSize()) == 0);
                      });
            break;
        }
        case 10: {
            DS_ResFileData record = DS_ResFileData::Read(ar);
            RoundTrip([&](DS_IOF_W& w) { w.WriteResFile(record); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          DS_ResFileData t = DS_ResFileData::Read(r);
                          Check(t.resourceId == record.resourceId && t.module == record.module &&
                                t.path == record.path && t.GetSize() == record.GetSize());
                      });
            break;
        }
        case 11: {
            std::vector<float> values;
            buffer.ReadFloatList(values);
            break;
        }
        case 12: {
            std::vector<DS_ResFileData> records;
            ReadResFileListFromBuffer(buffer, records);
            break;
        }
        case 13: {
            MediaRectangle area;
            area.ReadFields(ar);
            RoundTrip([&](DS_IOF_W& w) { area.Write(w); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          MediaRectangle t;
                          t.ReadFields(r);
                          Check(t.left.value == area.left.value && t.y.value == area.y.value);
                      });
            break;
        }
        case 14: {
            MediaQuad quad;
            quad.ReadFields(ar);
            break;
        }
        case 15: {
            DS_FileLink3 link;
            ReadFileLink(ar, link);
            (void)link.GetExtension();
            RoundTrip([&](DS_IOF_W& w) { WriteFileLink(w, link); },
                      [&](DS_IOF_Virtual& r, ResourceBuffer&) {
                          DS_FileLink3 t;
                          ReadFileLink(r, t);
                          Check(t.key == link.key);
                      });
            break;
        }
        case 16: {
            GUID g;
            ReadGuid(ar, g);
            break;
        }
        case 17: {
            std::unique_ptr<Shape> shape(ReadShapeByClassName(ar));
            Check(shape != nullptr);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        Document doc = ReadDocument(data, size);
        Check(doc.shapes.size() <= size);
    } catch (const DS_LoadError&) {
    }

    ResourceBuffer buffer(data, size);
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    try {
        for (int ops = 0; ops < 256 && buffer.Remaining() > 0; ++ops) {
            BYTE op = buffer.ReadValue<BYTE>();
            RunOp(op, reader, buffer);
        }
    } catch (const DS_LoadError& e) {
        Check(e.Code() == DS_LOAD_ERROR_CODE);
    }
    return 0;
}
