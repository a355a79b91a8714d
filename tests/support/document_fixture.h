// Test classes stored in the tests' own registry, and a document-like byte
// stream made with the writing archive.  The fuzz seeds are made from it too.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/file_link.h"
#include "document/item.h"
#include "document/media_area.h"
#include "document/scaled_param.h"

namespace fixture {

// A family of the tests' own: a base with a stored base record, and two
// registered classes.
class Shape : public DS_IOF_Item {
public:
    Shape() { scale.SetFactor(0.01f, 0.0f); }
    // Own fields: name, area, scale; no stored base.
    static constexpr INT kVersion = 2;
    void WriteRecord(DS_IOF_Virtual& ar) {
        WriteRecordHeader(ar, u"Shape", kVersion);
        WriteParam(ar, name);
        area.Write(ar);
        ar.WriteUInt(scale.value);
        if (kVersion >= 2) WriteFileLink(ar, picture);
    }
    void ReadRecord(DS_IOF_Virtual& ar) {
        INT version = ReadRecordHeader(ar);
        ReadParam(ar, name);
        area.ReadFields(ar);
        ReadParam(ar, scale);
        if (version >= 2) ReadFileLink(ar, picture);
    }

    MediaParamTB<ds_string> name;
    MediaRectangle area;
    UINTSclaleTo<float> scale;
    DS_ImageFileLink picture;
};

class Circle : public Shape {
public:
    void Write(DS_IOF_Virtual& ar) override {
        WriteRecordHeader(ar, u"Circle", 1);
        ar.WriteFloat(radius);
        ar.WriteBool(filled);
        WriteRecord(ar);
    }
    static Shape* CreateFromArchive(DS_IOF_Virtual& ar, int) {
        auto c = std::make_unique<Circle>();
        ar.ReadFloat(c->radius);
        ar.ReadBool(c->filled);
        c->ReadRecord(ar);
        return c.release();
    }
    float radius = 1.0f;
    bool filled = false;
};

class Polygon : public Shape {
public:
    void Write(DS_IOF_Virtual& ar) override {
        WriteRecordHeader(ar, u"Polygon", 3);
        ar.WriteInt(static_cast<INT>(corners.size()));
        for (const POINT& p : corners) ar.WritePair(p);
        quad.Write(ar);
        WriteRecord(ar);
    }
    static Shape* CreateFromArchive(DS_IOF_Virtual& ar, int version) {
        auto p = std::make_unique<Polygon>();
        INT n = 0;
        ar.ReadInt(n);
        // A count is bounded by what its values need: 8 bytes each.
        for (INT i = 0; i < n; ++i) {
            POINT pt{};
            ar.ReadPair(pt);
            p->corners.push_back(pt);
        }
        if (version >= 3) p->quad.ReadFields(ar);
        p->ReadRecord(ar);
        return p.release();
    }
    std::vector<POINT> corners;
    MediaQuad quad;
};

// Filled by the binary that uses the fixture, with DS_REGISTER_READER.
inline DS_ReaderRegistry<Shape>& ShapeRegistry() {
    static DS_ReaderRegistry<Shape> registry;
    return registry;
}

inline Shape* ReadShapeByClassName(DS_IOF_Virtual& ar) { return ReadByClassName(ShapeRegistry(), ar); }

// A header string, then a list of shapes, then a table of records and floats,
// like the top level of a scene document.
struct Document {
    std::u16string header;
    std::vector<std::unique_ptr<Shape>> shapes;
    std::vector<DS_ResFileData> files;
    std::vector<float> frameValues;
    DS_FileData sound;
    INT64 stamp = 0;
    CHAR letter = 0;
};

inline std::vector<BYTE> MakeDocumentBytes() {
    DS_IOF_W w;
    w.WriteString(u"KVL v 4.0.0");
    Circle circle;
    circle.radius = 2.5f;
    circle.filled = true;
    circle.name.value = u"sun";
    circle.area.left.value = 10;
    circle.area.right.value = 20;
    circle.area.bottom.value = -3;
    circle.scale.SetValue(150);
    circle.picture.ConstructFromResource(5, u"common_res.dll");
    Polygon polygon;
    polygon.corners = {{1, 2}, {3, 4}, {-5, 6}};
    polygon.quad.corners[2].value = D3DXVECTOR3(0.5f, 0.25f, -1.0f);
    polygon.picture.key = DS_LinkKey{u"C:\\pics\\tree.tga", 132537600000000000ll};
    w.WriteInt(2);
    circle.Write(w);
    polygon.Write(w);
    // A record table: count, then records.
    DS_ResFileData module(44, u"common_res.dll");
    module.SetBytes(6, "\x00\x01\x02TGA");
    DS_ResFileData file;
    file.path = u"C:\\pics\\tree.tga";
    w.WriteInt(2);
    w.WriteResFile(module);
    w.WriteResFile(file);
    w.WriteInt(3);
    for (float f : {0.5f, 1.0f, 2.0f}) w.WriteFloat(f);
    DS_FileData sound;
    sound.path = u"C:\\music\\a.wav";
    sound.SetBytes(4, "RIFF");
    w.WriteFileData(sound);
    w.WriteInt64(-42);
    w.WriteChar('z');
    return w.TakeBytes();
}

// Reads the whole stream; throws DS_LoadError on any fault.
inline Document ReadDocument(const BYTE* data, size_t size) {
    ResourceBuffer buffer(data, size);
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    DS_IOF_Virtual& ar = reader;
    Document doc;
    ar.ReadString(doc.header);
    INT count = 0;
    ar.ReadInt(count);
    for (INT i = 0; i < count; ++i) doc.shapes.emplace_back(ReadShapeByClassName(ar));
    ReadResFileListFromBuffer(buffer, doc.files);
    buffer.ReadFloatList(doc.frameValues);
    ar.ReadFileData(doc.sound);
    ar.ReadInt64(doc.stamp);
    ar.ReadChar(doc.letter);
    return doc;
}

}  // namespace fixture
