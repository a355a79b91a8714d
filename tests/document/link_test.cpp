#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/bindings.h"
#include "document/counted_ptr.h"
#include "document/file_link.h"

namespace {

TEST(LinkKey, Order) {
    struct Case {
        DS_LinkKey a, b;
        bool less;
    };
    const std::vector<Case> cases = {
        {{u"a", 5}, {u"b", 0}, true},
        {{u"b", 0}, {u"a", 5}, false},
        {{u"a", -1}, {u"a", 0}, true},
        {{u"a", 7}, {u"aa", -5}, true},  // a prefix comes first
        {{u"aa", -5}, {u"a", 7}, false},
        {{u"B", 0}, {u"a", 0}, true},    // upper case before lower case
        {{u"a", 3}, {u"a", 3}, false},   // never less than itself
        {{u"", 9}, {u"a", 0}, true},
        // Units compare as unsigned 16-bit values: U+E000 is above 'z', and a
        // surrogate (D800) above U+00FF.
        {{u"z", 0}, {u"\uE000", 0}, true},
        {{std::u16string(1, char16_t(0xD800)), 0}, {u"\u00FF", 0}, false},
        {{u"a", INT64_MIN}, {u"a", INT64_MAX}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases.data()));
        EXPECT_EQ(DS_LinkKey::Less(c.a, c.b), c.less);
        EXPECT_EQ(c.a < c.b, c.less);
    }
}

TEST(FileLink, GetExtension) {
    struct Case {
        std::u16string path, ext;
    };
    const std::vector<Case> cases = {
        {u"C:\\pics\\Pic.PNG", u".png"},
        {u"C:\\pics\\noext", u""},
        {u"C:\\my.dir\\file", u".dir\\file"},
        {u"common_res.dll", u".dll"},
        {u"COMMON_RES.DLL", u".dll"},
        {u"a.tar.GZ", u".gz"},
        {u"trailing.", u"."},
        {u"x.\u00C9A", u".\u00C9a"},  // only ASCII letters are lowered
        {u"", u""},
    };
    for (const Case& c : cases) {
        DS_FileLink3 link(DS_LinkKey{c.path, 0});
        EXPECT_EQ(link.GetExtension(), c.ext);
    }
}

TEST(FileLink, Constructors) {
    DS_FileLink3 empty;
    EXPECT_EQ(empty.key.path, u"");
    EXPECT_EQ(empty.key.stamp, 0);

    DS_FileLink3 fromResource(63, u"common_res.dll");
    DS_ResFileData record(63, u"common_res.dll");
    record.path = u"ignored";
    DS_FileLink3 fromRecord(record);
    EXPECT_EQ(fromRecord.key, fromResource.key);

    // Negative numbers: sign-extended from a resource, unsigned from a record.
    DS_FileLink3 negative(-2, u"m.dll");
    EXPECT_EQ(negative.key.stamp, -2);
    DS_FileLink3 negativeRecord(DS_ResFileData(-2, u"m.dll"));
    EXPECT_EQ(negativeRecord.key.stamp, 0xFFFFFFFEll);
}

// The process-wide counter gives every in-memory file a key of its own.
TEST(FileLink, InMemoryCounter) {
    DS_ResFileData record;
    record.path = u"C:\\pics\\same.tga";
    INT n = DS_PeekInMemoryLinkCounter();
    DS_FileLink3 first(record);
    DS_FileLink3 second;
    second.ConstructFromFileData(record);
    EXPECT_EQ(first.key.path, record.path);
    EXPECT_EQ(first.key.stamp, n);
    EXPECT_EQ(second.key.stamp, n + 1);
    EXPECT_EQ(DS_PeekInMemoryLinkCounter(), n + 2);
    // Numbered records do not use the counter.
    DS_FileLink3 numbered(DS_ResFileData(5, u"common_res.dll"));
    EXPECT_EQ(DS_PeekInMemoryLinkCounter(), n + 2);
}

struct Picture {
    int reloads = 0;
    void Reload() { ++reloads; }
};

TEST(FileLink, ReadStoresDirectlyAndCopiesCarryNoControls) {
    DS_ImageFileLink link(5, u"common_res.dll");
    Picture picture;
    DS_CtrlList controls;
    controls.SetOwner(&picture);
    DS_FunLightCtrl2<Picture>::Bind(&Picture::Reload, controls, link);

    DS_IOF_W w;
    WriteFileLink(w, DS_FileLink3(DS_LinkKey{u"C:\\a\\b.png", 0x0123456789ABCDEFll}));
    WriteFileLink(w, DS_FileLink3());
    EXPECT_EQ(w.Bytes().size(), (4u + 20u + 8u) + (4u + 8u));
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    ReadFileLink(reader, link);
    EXPECT_EQ(link.key.path, u"C:\\a\\b.png");
    EXPECT_EQ(link.key.stamp, 0x0123456789ABCDEFll);
    EXPECT_EQ(picture.reloads, 0);
    // An empty stored path gives an empty path (not the earlier one).
    ReadFileLink(reader, link);
    EXPECT_EQ(link.key.path, u"");
    EXPECT_EQ(link.key.stamp, 0);

    link.SetKey(DS_LinkKey{u"x.dll", 1});
    EXPECT_EQ(picture.reloads, 1);
    link.SetKey(DS_LinkKey{u"x.dll", 1});
    EXPECT_EQ(picture.reloads, 1);

    DS_ImageFileLink copy(link);
    EXPECT_EQ(copy.key, link.key);
    EXPECT_EQ(copy.ControlCount(), 0u);
    DS_ImageFileLink fromLink;
    fromLink.ConstructFromLink(link);
    EXPECT_EQ(fromLink.key, link.key);
    EXPECT_EQ(fromLink.ControlCount(), 0u);
}

class RecordingStore : public DS_LinkFileStore {
public:
    void SaveLinkFiles(const DS_LinkKey& key) override { saved.push_back(key); }
    std::vector<DS_LinkKey> saved;
};

TEST(FileLink, WriteMarksFilesForSaving) {
    RecordingStore store;
    SetCurrentLinkFileStore(&store);
    DS_IOF_W w;
    WriteFileLink(w, DS_FileLink3(7, u"common_res.dll"));
    WriteFileLink(w, DS_FileLink3());  // no path: nothing to save
    SetCurrentLinkFileStore(nullptr);
    ASSERT_EQ(store.saved.size(), 1u);
    EXPECT_EQ(store.saved[0], (DS_LinkKey{u"common_res.dll", 7}));
}

struct Tracked {
    explicit Tracked(int& deaths) : deaths_(deaths) {}
    virtual ~Tracked() { ++deaths_; }
    int& deaths_;
};

TEST(CountedPtr, SharingAndRelease) {
    int deaths = 0;
    {
        DS_CountedPtr<Tracked> a(new Tracked(deaths));
        DS_CountedPtr<Tracked> b(a);
        EXPECT_EQ(a.UseCount(), 2);
        a.Release();
        EXPECT_EQ(a.Get(), nullptr);
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(b.UseCount(), 1);
        b.Release();
        EXPECT_EQ(deaths, 1);
        b.Release();  // empty: nothing
    }
    EXPECT_EQ(deaths, 1);

    // A null object still gets a block; releasing it deletes nothing.
    DS_CountedPtr<Tracked> null(nullptr);
    EXPECT_EQ(null.UseCount(), 1);
    null.Release();
    EXPECT_EQ(deaths, 1);
}

TEST(CountedPtr, Assign) {
    int deaths = 0;
    DS_CountedPtr<Tracked> a(new Tracked(deaths));
    a.Assign(a);
    EXPECT_EQ(a.UseCount(), 1);
    DS_CountedPtr<Tracked> b(a);
    a.Assign(b);  // same block: count drops and rises, never to 0
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(a.UseCount(), 2);
    b.Release();
    DS_CountedPtr<Tracked> empty;
    a.Assign(empty);  // was the last holder
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(a.Get(), nullptr);

    // Containers copy or move holders as they grow; counts stay exact.
    std::vector<DS_CountedPtr<Tracked>> list;
    DS_CountedPtr<Tracked> kept(new Tracked(deaths));
    for (int i = 0; i < 100; ++i) list.push_back(kept);
    EXPECT_EQ(kept.UseCount(), 101);
    list.clear();
    EXPECT_EQ(kept.UseCount(), 1);
    DS_CountedPtr<Tracked> other(new Tracked(deaths));
    kept = other;
    EXPECT_EQ(deaths, 2);
}

}  // namespace
