// A scene root of the tests' own (a title and a sound list) with its reader,
// and a whole document made with the writing archive: header, root, manager
// section.  The loader tests, the loader fuzz target and its seeds use it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/archive_writer.h"
#include "document/doc_loader.h"
#include "document/sound_item.h"
#include "tests/support/res_fixture.h"

namespace docfix {

using resfix::MakeTga;
using resfix::Record;

// A root with a title and a list of sounds.
class TestRoot : public DS_IOF_Item {
public:
    void Write(DS_IOF_Virtual& ar) override {
        WriteRecordHeader(ar, u"DS_SlideShow_Light", 1);
        WriteFields(ar);
    }
    void WriteFields(DS_IOF_Virtual& ar) {
        ar.WriteString(title);
        ar.WriteInt(static_cast<INT>(sounds.size()));
        for (auto& s : sounds) s->WriteRecord(ar);
    }
    std::u16string title;
    std::vector<std::unique_ptr<DS_AudioFile>> sounds;
    INT versionRead = -1;
};

struct TestRootReader {
    static DS_IOF_Item* Read(DS_IOF_Virtual& ar) {
        auto root = std::make_unique<TestRoot>();
        root->versionRead = ReadRecordHeader(ar);
        ar.ReadString(root->title);
        INT n = 0;
        ar.ReadInt(n);
        for (INT i = 0; i < n; ++i) root->sounds.emplace_back(ReadAudioFile(ar));
        return root.release();
    }
};

inline std::vector<BYTE> MakeDocument(const std::u16string& header, const std::u16string& rootName) {
    DS_IOF_W w;
    w.WriteString(header);
    TestRoot root;
    root.title = u"flame scene";
    auto sound = std::make_unique<DS_AudioFile>();
    sound->name = u"wind";
    sound->file.path = u"C:\\sounds\\wind.wav";
    sound->file.SetBytes(3, "abc");
    root.sounds.push_back(std::move(sound));
    // The root under the name given (the loader must not care).
    w.WriteString(rootName);
    w.WriteInt(1);
    root.WriteFields(w);
    // The manager section: one saved picture, one saved file, no masks.
    w.WriteString(u"DS_DocResManager");
    w.WriteInt(3);
    w.WriteUInt(1);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(7);
    w.WriteUInt(1);
    w.WriteResFile(Record(7, u"common_res.dll", u"", MakeTga(8, 2)));
    w.WriteUInt(0);
    w.WriteUInt(1);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(63);
    w.WriteUInt(1);
    w.WriteResFile(Record(63, u"common_res.dll", u"", {'e', 'f', 'f', 'e', 'c', 't'}));
    w.WriteUInt(0);
    return w.TakeBytes();
}

}  // namespace docfix
