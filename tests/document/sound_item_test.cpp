// Sound items: their record, and copying their bytes to the temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/archive_writer.h"
#include "document/sound_item.h"
#include "platform/win32/strings.h"

namespace fs = std::filesystem;

namespace {

class SoundItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sound-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        const char* old = std::getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (old) oldTmp_ = old;
        setenv("TMPDIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_) setenv("TMPDIR", oldTmp_.c_str(), 1); else unsetenv("TMPDIR");
        fs::remove_all(folder_);
    }

    static DS_AudioFile Item(const std::u16string& path, const std::string& bytes) {
        DS_AudioFile item;
        item.file.path = path;
        item.file.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
        return item;
    }
    static std::string Contents(const std::u16string& path) {
        std::ifstream in(tessaloom::Utf16ToUtf8(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Extracted into the folder itself, bytes dropped, the file complete.
    void ExpectExtracted(const DS_AudioFile& item, const std::string& bytes) {
        fs::path p = tessaloom::Utf16ToUtf8(item.GetPath());
        EXPECT_EQ(p.parent_path(), fs::path(folder_));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(p)));
        EXPECT_EQ(Contents(item.GetPath()), bytes);
        EXPECT_EQ(item.file.GetSize(), 0u);
    }

    std::string folder_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

TEST_F(SoundItemTest, RecordReadsAndWrites) {
    DS_AudioFile item = Item(u"C:\\music\\rain.ogg", "OggS....");
    item.name = u"rain";
    DS_IOF_W w;
    item.Write(w);
    ResourceBuffer buffer(w.Bytes().data(), w.Bytes().size());
    DS_IOF_R<ResourceBuffer> reader(&buffer);
    std::unique_ptr<DS_AudioFile> back(ReadAudioFile(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    EXPECT_EQ(back->name, u"rain");
    EXPECT_EQ(back->file.path, u"C:\\music\\rain.ogg");
    EXPECT_EQ(back->file.GetSize(), 8u);
}

TEST_F(SoundItemTest, NoBytesOrAnExistingFileWritesNothing) {
    DS_AudioFile none = Item(u"C:\\music\\none.wav", "");
    EXPECT_TRUE(none.ExtractToTemp());
    EXPECT_EQ(none.GetPath(), u"C:\\music\\none.wav");

    std::string existing = folder_ + "/local.wav";
    std::ofstream(existing) << "RIFF";
    DS_AudioFile local = Item(tessaloom::Utf8ToUtf16(existing), "other bytes");
    EXPECT_TRUE(local.ExtractToTemp());
    EXPECT_EQ(local.GetPath(), tessaloom::Utf8ToUtf16(existing));
    EXPECT_EQ(local.file.GetSize(), 0u);
    EXPECT_EQ(Contents(local.GetPath()), "RIFF");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(SoundItemTest, NamesStayInsideTheFolder) {
    struct Case {
        std::u16string stored;
        std::u16string expectedName;  // empty: a generated one
    };
    const Case cases[] = {
        {u"C:\\music\\wind.wav", u"wind.wav"},
        {u"wind2.wav", u"wind2.wav"},  // a bare name keeps its sound
        {u"C:\\music\\..\\..\\etc\\passwd", u"passwd"},
        {u"C:\\music\\..", u""},
        {u"C:\\music\\", u""},
        {u"C:\\x\\../../escape.wav", u"escape.wav"},
        {u"C:\\x\\a\u0001b.wav", u""},
        {u"C:\\x\\" + std::u16string(300, u'n') + u".wav", u""},
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tessaloom::Utf16ToUtf8(c.stored));
        DS_AudioFile item = Item(c.stored, "bytes of " + tessaloom::Utf16ToUtf8(c.stored));
        ASSERT_TRUE(item.ExtractToTemp());
        ExpectExtracted(item, "bytes of " + tessaloom::Utf16ToUtf8(c.stored));
        std::u16string name = tessaloom::Utf8ToUtf16(fs::path(tessaloom::Utf16ToUtf8(item.GetPath())).filename().string());
        if (c.expectedName.empty()) EXPECT_EQ(name.rfind(u"sound-", 0), 0u);
        else EXPECT_EQ(name, c.expectedName);
    }
    EXPECT_EQ(DS_SoundTempName(u"C:\\x\\..", 4), u"sound-4");
    EXPECT_EQ(DS_SoundTempName(u"C:\\x\\\u0007.mp3", 5), u"sound-5.mp3");
}

TEST_F(SoundItemTest, CollidingNamesWithOtherBytesGetTheirOwnFiles) {
    DS_AudioFile a = Item(u"C:\\one\\song.wav", "first");
    DS_AudioFile b = Item(u"D:\\two\\song.wav", "second");
    DS_AudioFile c = Item(u"E:\\three\\song.wav", "first");  // the same sound again, as a second screen reads it
    ASSERT_TRUE(a.ExtractToTemp());
    ASSERT_TRUE(b.ExtractToTemp());
    ASSERT_TRUE(c.ExtractToTemp());
    EXPECT_NE(a.GetPath(), b.GetPath());
    EXPECT_EQ(a.GetPath(), c.GetPath());
    EXPECT_EQ(Contents(a.GetPath()), "first");
    EXPECT_EQ(Contents(b.GetPath()), "second");
}

TEST_F(SoundItemTest, AnExistingLinkIsReplacedNotFollowed) {
    std::string outside = folder_ + "-outside";
    std::ofstream(outside) << "keep me";
    fs::create_symlink(outside, folder_ + "/linked.wav");
    DS_AudioFile item = Item(u"C:\\m\\linked.wav", "sound");
    ASSERT_TRUE(item.ExtractToTemp());
    ExpectExtracted(item, "sound");
    EXPECT_EQ(Contents(tessaloom::Utf8ToUtf16(outside)), "keep me");
    fs::remove(outside);
}

TEST_F(SoundItemTest, AFailedWriteKeepsTheBytesAndThePath) {
    fs::create_directory(folder_ + "/blocked.wav");  // the target cannot be replaced
    DS_AudioFile item = Item(u"C:\\m\\blocked.wav", "sound");
    EXPECT_FALSE(item.ExtractToTemp());
    EXPECT_EQ(item.GetPath(), u"C:\\m\\blocked.wav");
    EXPECT_EQ(item.file.GetSize(), 5u);
    for (const auto& entry : fs::directory_iterator(folder_))
        EXPECT_EQ(entry.path().filename(), "blocked.wav") << "no partial file is left behind";
}

}  // namespace
