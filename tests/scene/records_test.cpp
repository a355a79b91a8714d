// Records of the picture layer, the slide and the scene root: every version
// read, written back and read again through the writing archive; and the
// slide show's timing and fade over a scripted clock (no device needed).
#include <gtest/gtest.h>

#include "document/archive_writer.h"
#include "document/load_error.h"
#include "platform/crt/rand.h"
#include "scene/slide_show.h"

namespace {

template <class F>
std::vector<BYTE> Bytes(F&& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

void WriteCamera(DS_IOF_W& w, INT enabled, UINT zoom, UINT speed) {
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(enabled);
    w.WriteUInt(zoom);
    w.WriteUInt(speed);
}

// A "DS_2D_Light" record of the given version.
void WriteLayer(DS_IOF_W& w, INT version) {
    WriteRecordHeader(w, u"DS_2D_Light", version);
    if (version >= 2) {
        w.WriteString(u"pictures\\sky.tga");
        w.WriteInt64(1234567890123LL);
    }
    if (version >= 3) WriteCamera(w, 1, 140, 25);
}

void WriteSlide(DS_IOF_W& w, UINT fadeIn, UINT fadeOut, UINT hold, const std::u16string& name) {
    WriteRecordHeader(w, u"DS_SlideContainer", 1);
    w.WriteUInt(fadeIn);
    w.WriteUInt(fadeOut);
    w.WriteUInt(hold);
    w.WriteInt(-7);
    w.WriteString(name);
    WriteLayer(w, 3);
    w.WriteInt(0);
}

struct Times {
    UINT fadeIn, hold, fadeOut;
};

std::vector<BYTE> RootDocument(const std::vector<Times>& times) {
    return Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_SlideShow_Light", 1);
        w.WriteInt(static_cast<INT>(times.size()));
        int i = 0;
        for (const Times& t : times) WriteSlide(w, t.fadeIn, t.fadeOut, t.hold, u"slide " + std::u16string(1, u'0' + i++));
        w.WriteInt(0);
    });
}

std::unique_ptr<DS_SlideShow_Light> ReadRoot(const std::vector<BYTE>& bytes) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_SlideShow_Light> root(DS_SlideShow_Light::ReadNew(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    for (auto& slide : root->slides) slide->Init();
    return root;
}

int CurrentIndex(const DS_SlideShow_Light& root) {
    for (size_t i = 0; i < root.slides.size(); ++i)
        if (root.slides[i].Get() == root.currentSlide.Get()) return static_cast<int>(i);
    return -1;
}

class SceneRecords : public ::testing::Test {
protected:
    void SetUp() override {
        DS_SetCurrentViewState(&state_);
        crt::ResetRandForTests();
    }
    void TearDown() override { DS_SetCurrentViewState(nullptr); }
    DS_ViewState state_;
};

}  // namespace

TEST_F(SceneRecords, LayerVersions) {
    struct Case {
        INT version;
        std::u16string path;
        INT64 stamp;
        INT enabled;
        UINT zoom, speed;
    };
    const std::vector<Case> cases = {
        {1, u"common_res.dll", 5, 0, 120, 50},
        {2, u"pictures\\sky.tga", 1234567890123LL, 0, 120, 50},
        {3, u"pictures\\sky.tga", 1234567890123LL, 1, 140, 25},
        {9, u"pictures\\sky.tga", 1234567890123LL, 1, 140, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        const auto bytes = Bytes([&](DS_IOF_W& w) { WriteLayer(w, c.version); });
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_DocumentReader reader(&buffer);
        std::unique_ptr<DS_2D_Light> layer(ReadLightByClassName(reader));
        EXPECT_EQ(buffer.Remaining(), 0u);
        EXPECT_EQ(layer->pictureLink.key.path, c.path);
        EXPECT_EQ(layer->pictureLink.key.stamp, c.stamp);
        EXPECT_EQ(layer->camera.enabled.value, c.enabled);
        EXPECT_EQ(layer->camera.zoom.value, c.zoom);
        EXPECT_FLOAT_EQ(layer->camera.zoom.Converted(), static_cast<float>(c.zoom) * 0.01f);
        EXPECT_EQ(layer->camera.speed.value, c.speed);

        // Written back as version 3 and read again through ReadRecord.
        const auto again = Bytes([&](DS_IOF_W& w) { layer->Write(w); });
        ResourceBuffer b2(again.data(), again.size());
        DS_DocumentReader r2(&b2);
        DS_2D_Light copy;
        DS_2D_Light::ReadRecord(r2, copy);
        EXPECT_EQ(b2.Remaining(), 0u);
        EXPECT_EQ(copy.pictureLink.key, layer->pictureLink.key);
        EXPECT_EQ(copy.camera.zoom.value, c.zoom);
        EXPECT_EQ(copy.camera.speed.value, c.speed);
    }
}

TEST_F(SceneRecords, ReadingALinkDoesNotFireTheReloadBinding) {
    // The binding is the link's only control and fires on a later change.
    DS_2D_Light layer;
    EXPECT_EQ(layer.pictureLink.ControlCount(), 1u);
    EXPECT_EQ(layer.bindings.Count(), 1u);
    layer.targetWidth = 640;
    layer.targetHeight = 480;
    const auto bytes = Bytes([&](DS_IOF_W& w) { WriteLayer(w, 2); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    DS_2D_Light::ReadRecord(reader, layer);
    EXPECT_EQ(DS_ScreenMapping::Current().logicalWidth, 0);  // no Resize ran
    // A change through the parameter reloads and resizes.
    DS_ScreenMapping::Current().logicalWidth = 99;
    layer.pictureLink.SetKey(DS_LinkKey{u"other.tga", 1});
    EXPECT_EQ(DS_ScreenMapping::Current().logicalWidth, 0);  // unresolved picture: 0 x 0
}

TEST_F(SceneRecords, SlideRoundTripAndRegistryFamilies) {
    const auto bytes = Bytes([&](DS_IOF_W& w) { WriteSlide(w, 2, 3, 4, u"evening"); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_SlideContainer> slide(ReadSlideContainerByClassName(reader));
    EXPECT_EQ(buffer.Remaining(), 0u);
    EXPECT_EQ(slide->fadeIn.value, 2u);
    EXPECT_EQ(slide->fadeOut.value, 3u);
    EXPECT_EQ(slide->hold.value, 4u);
    EXPECT_EQ(slide->reserved.value, -7);
    EXPECT_EQ(slide->name.value, u"evening");
    ASSERT_TRUE(slide->mainLayer);
    EXPECT_EQ(slide->mainLayer->camera.zoom.value, 140u);

    const auto again = Bytes([&](DS_IOF_W& w) { slide->Write(w); });
    EXPECT_EQ(again, bytes);

    // Each registry holds only its own family.
    EXPECT_EQ(GetSlideContainerReaderRegistry().count(u"DS_2D_Light"), 0u);
    EXPECT_EQ(GetLightReaderRegistry().count(u"DS_SlideContainer"), 0u);
    EXPECT_EQ(GetLightReaderRegistry().count(u"ds_2d_light"), 0u);
    const auto layerAsSlide = Bytes([&](DS_IOF_W& w) { WriteLayer(w, 3); });
    ResourceBuffer b2(layerAsSlide.data(), layerAsSlide.size());
    DS_DocumentReader r2(&b2);
    EXPECT_THROW(ReadSlideContainerByClassName(r2), DS_LoadError);
}

TEST_F(SceneRecords, DefaultSlideTimes) {
    DS_SlideContainer slide;
    EXPECT_EQ(slide.fadeIn.value, 1u);
    EXPECT_EQ(slide.fadeOut.value, 1u);
    EXPECT_EQ(slide.hold.value, 10u);
}

TEST_F(SceneRecords, RootRoundTripAndTruncation) {
    const auto bytes = RootDocument({{1, 10, 1}, {2, 3, 4}});
    auto root = ReadRoot(bytes);
    ASSERT_EQ(root->slides.size(), 2u);
    EXPECT_EQ(root->slides[1]->name.value, u"slide 1");
    const auto again = Bytes([&](DS_IOF_W& w) { root->Write(w); });
    EXPECT_EQ(again, bytes);
    // Every prefix fails with the load error.
    for (size_t n = 0; n < bytes.size(); n += 7) {
        ResourceBuffer buffer(bytes.data(), n);
        DS_DocumentReader reader(&buffer);
        EXPECT_THROW(DS_SlideShow_Light::ReadNew(reader), DS_LoadError) << n;
    }
}

TEST_F(SceneRecords, SoundsNeedTheirReader) {
    const auto bytes = Bytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_SlideShow_Light", 1);
        w.WriteInt(0);
        w.WriteInt(1);
        WriteRecordHeader(w, u"DS_AudioFile", 1);
    });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    EXPECT_THROW(DS_SlideShow_Light::ReadNew(reader), DS_LoadError);
}

struct FadeCase {
    float t;
    float alpha;
};

TEST(SlideShowFade, AlphaTable) {
    for (const FadeCase c : {FadeCase{0.0f, 1.0f}, FadeCase{0.25f, 0.75f}, FadeCase{1.0f, 0.0f},
                             FadeCase{11.0f, 0.0f}, FadeCase{11.5f, 0.5f}, FadeCase{12.0f, 1.0f}})
        EXPECT_FLOAT_EQ(DS_SlideShow_Light::FadeAlpha(c.t, 1.0f, 10.0f, 1.0f), c.alpha) << c.t;
    // fade-in 0 and hold 0: 0 until t exceeds 0, then the fade-out.
    EXPECT_EQ(DS_SlideShow_Light::FadeAlpha(0.0f, 0.0f, 0.0f, 2.0f), 0.0f);
    EXPECT_FLOAT_EQ(DS_SlideShow_Light::FadeAlpha(1.0f, 0.0f, 0.0f, 2.0f), 0.5f);
    EXPECT_TRUE(std::isfinite(DS_SlideShow_Light::FadeAlpha(1.0f, 0.0f, 0.0f, 0.0f)));
}

TEST_F(SceneRecords, TwoSlidesOverAScriptedClock) {
    auto root = ReadRoot(RootDocument({{1, 10, 1}, {1, 10, 1}}));
    struct Step {
        float time;
        int slide;
        float alpha;
    };
    // The first slide's cycle began 1 s before the first frame (no fade-in).
    const std::vector<Step> steps = {
        {100.0f, 0, 0.0f},   {105.0f, 0, 0.0f},  {109.0f, 0, 0.0f}, {110.5f, 0, 0.5f},
        {111.0f, 0, 1.0f},   {111.25f, 1, 1.0f}, {111.75f, 1, 0.5f}, {112.25f, 1, 0.0f},
        {122.0f, 1, 0.0f},   {122.75f, 1, 0.5f}, {123.5f, 0, 1.0f},  {124.0f, 0, 0.5f},
    };
    for (const Step& s : steps) {
        root->FrameMove(s.time);
        EXPECT_EQ(CurrentIndex(*root), s.slide) << s.time;
        EXPECT_FLOAT_EQ(root->fadeAlpha, s.alpha) << s.time;
    }
}

TEST_F(SceneRecords, SwitchFrameUsesTheOldSlidesTimes) {
    // Slide 0 has no fade-in, slide 1 a fade-in of 4: in the frame of the
    // switch t = 0 and the old slide's fade-in (0) is in use, so no black.
    auto root = ReadRoot(RootDocument({{0, 2, 1}, {4, 1, 1}}));
    root->FrameMove(10.0f);
    root->FrameMove(13.5f);
    EXPECT_EQ(CurrentIndex(*root), 1);
    EXPECT_EQ(root->fadeAlpha, 0.0f);
    root->FrameMove(14.5f);  // now slide 1's own times
    EXPECT_FLOAT_EQ(root->fadeAlpha, 0.75f);
}

TEST_F(SceneRecords, OneSlideNeverFadesOrSwitches) {
    auto root = ReadRoot(RootDocument({{1, 1, 1}}));
    for (float t : {0.0f, 5.0f, 1000.0f}) {
        root->FrameMove(t);
        EXPECT_EQ(CurrentIndex(*root), 0);
        EXPECT_EQ(root->fadeAlpha, 0.0f);
    }
}

TEST_F(SceneRecords, AfterSixDaysTheSceneStepsFrameByFrame) {
    // 518400 s: a float holds only multiples of 1/32 s there, so frames of a
    // sixtieth of a second would step by 0 or 31 ms.
    constexpr double kSixDays = 6 * 24 * 3600.0, kFrame = 1.0 / 60.0;
    auto root = ReadRoot(RootDocument({{1, 10, 1}}));
    root->FrameMove(kSixDays);
    ASSERT_TRUE(root->currentSlide && root->currentSlide->mainLayer);
    const MediaSpeedParam& clock = root->currentSlide->mainLayer->camera.speed;
    ASSERT_GT(clock.converted, 0.0f);
    const double start = clock.time;
    for (int i = 1; i <= 6; ++i) {
        root->FrameMove(kSixDays + i * kFrame);
        EXPECT_NEAR(clock.step, kFrame * clock.converted, 1e-6) << "frame " << i;
    }
    EXPECT_NEAR(clock.time - start, 6 * kFrame * clock.converted, 1e-6);
}

TEST_F(SceneRecords, EmptyRootDoesNothing) {
    DS_SlideShow_Light root;
    EXPECT_EQ(root.FrameMove(1.0f), 0);
    EXPECT_FALSE(root.currentSlide);
    EXPECT_EQ(root.Render(), 0);
    EXPECT_EQ(root.RestoreDeviceObjects(), 0);
}

TEST_F(SceneRecords, PicturePositionReachesEverySlide) {
    auto root = ReadRoot(RootDocument({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}));
    root->SetPicturePosition(DS_POS_FILL);
    for (auto& slide : root->slides) EXPECT_EQ(slide->mainLayer->savedMode, DS_POS_FILL);
    root->FrameMove(0.0f);
    // Becoming current started a new camera segment.
    EXPECT_EQ(root->currentSlide->mainLayer->camera.motionMode.value, 1);
    EXPECT_EQ(root->slides[1]->mainLayer->camera.motionMode.value, 0);
}

namespace {

std::vector<std::string> g_calls;

// A description that writes a record of its own and logs what its object does.
class LogDescription : public DS_ABObj_Constructor {
public:
    explicit LogDescription(std::string tag) : tag(std::move(tag)) {}
    LogDescription(const LogDescription& other) = default;
    void Write(DS_IOF_Virtual& archive) override {
        WriteRecordHeader(archive, u"LogDescription", 1);
        DS_ABObj_Constructor::WriteRecord(archive);
    }
    DS_ABObj* CreateObject() override;
    std::string tag;
};

class LogObject : public DS_ABObj {
public:
    explicit LogObject(LogDescription* copy) : DS_ABObj(copy), copy_(copy) {}
    ~LogObject() override { delete copy_; }
    void Render(DS_2D_Light&) override { g_calls.push_back("render " + copy_->tag); }
    void FrameMove(double) override { g_calls.push_back("move " + copy_->tag); }

private:
    LogDescription* copy_;
};

DS_ABObj* LogDescription::CreateObject() { return new LogObject(new LogDescription(*this)); }

}  // namespace

// Of three descriptions in document order, all are moved first to third and
// drawn third to first; after Init only run-time objects remain, and Write
// writes their description copies.
TEST_F(SceneRecords, SlideObjectsOrderAndWrite) {
    DS_SlideContainer slide;
    slide.mainLayer = DS_CountedPtr<DS_2D_Light>(new DS_2D_Light);
    for (const char* tag : {"a", "b", "c"}) {
        auto* d = new LogDescription(tag);
        d->name = std::u16string(1, static_cast<char16_t>(tag[0]));
        slide.prototypes.push_back(d);
    }
    slide.Init();
    EXPECT_TRUE(slide.prototypes.empty());
    ASSERT_EQ(slide.instances.size(), 3u);
    g_calls.clear();
    slide.FrameMove(1.0f);
    slide.RenderScene();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"move a", "move b", "move c", "render c", "render b", "render a"}));
    EXPECT_EQ(slide.CaptureCount(), 0);

    const auto bytes = Bytes([&](DS_IOF_W& w) { slide.Write(w); });
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::u16string name;
    ReadRecordHeader(reader, &name);
    EXPECT_EQ(name, u"DS_SlideContainer");
    UINT u;
    INT i;
    std::u16string s;
    reader.ReadUInt(u), reader.ReadUInt(u), reader.ReadUInt(u), reader.ReadInt(i), reader.ReadString(s);
    std::unique_ptr<DS_2D_Light> layer(ReadLightByClassName(reader));
    INT count = 0;
    reader.ReadInt(count);
    EXPECT_EQ(count, 3);
    for (char16_t expected : {u'a', u'b', u'c'}) {
        ReadRecordHeader(reader, &name);
        EXPECT_EQ(name, u"LogDescription");
        LogDescription d("");
        DS_ABObj_Constructor::ReadRecord(reader, d);
        EXPECT_EQ(d.name, std::u16string(1, expected));
    }
    EXPECT_EQ(buffer.Remaining(), 0u);
}
