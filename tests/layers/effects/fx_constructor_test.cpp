// The shader-effect base: its record in every version, copies and
// assignment with their references, the common draw step's parameters read
// back from the effect's record of calls, the run-time object, and the mask
// that travels with a written document.
#include <gtest/gtest.h>

#include "document/guid_text.h"
#include "document/load_error.h"
#include "layers/effects/fx_constructor.h"
#include "scene/picture_layer.h"
#include "tests/support/res_fixture.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::d3dx9::EffectCall;
using tessaloom::d3dx9::RecordEffectCalls;
using tessaloom::testing::RecordBytes;
using tessaloom::testing::ValuesAtDraw;
using resfix::FakeDevice;
using resfix::FakeEffect;
using resfix::FakeTexture;

constexpr int kLightEffect = 76;  // the demo light effect: "Main", "MainFX", "Scale", "Mask", "Background"

// The smallest concrete effect: the common draw step alone.
class PlainFX final : public DS_FX_Constructor {
public:
    PlainFX() { effectLink.ConstructFromResource(kLightEffect, u"common_res.dll"); }
    PlainFX(const PlainFX&) = default;
    void Apply(DS_2D_Light& layer) override {
        ++applied;
        ApplyCommon(layer);
    }
    DS_FX_Constructor* Clone() const override { return new PlainFX(*this); }
    int applied = 0;
};

const char16_t kGuidText[] = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

struct FxFields {
    UINT speed = 70;
    INT technique = 1;
    std::u16string name = u"mask of the lamp";
    bool flag = false;
    std::u16string linkPath = u"C:\\fx\\light.fx";
    INT64 stamp = 1234567890123LL;
    UINT scale = 100;
    std::u16string objectName = u"Lamp light";
};

void WriteFx(DS_IOF_W& w, INT version, const FxFields& f) {
    WriteRecordHeader(w, u"DS_FX_Constructor", version);
    w.WriteUInt(f.speed);
    w.WriteLong(f.technique);
    w.WriteString(kGuidText);
    w.WriteString(f.name);
    w.WriteBool(f.flag);
    w.WriteString(f.linkPath);
    w.WriteInt64(f.stamp);
    if (version >= 2) w.WriteUInt(f.scale);
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(f.objectName);
}

void ReadFx(const std::vector<BYTE>& bytes, DS_FX_Constructor& fx, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    DS_FX_Constructor::ReadRecord(reader, fx);
    if (left) *left = buffer.Remaining();
}

// Version 2 carries the scale; versions 0 and 1 keep raw 50 (s = 1).  Every
// version is written back as version 2 with the same values.
TEST(FxRecord, EveryVersionReadsAndWritesBackAsVersion2) {
    for (INT version : {0, 1, 2}) {
        SCOPED_TRACE(version);
        const FxFields f;
        PlainFX fx;
        size_t left = 1;
        ReadFx(RecordBytes([&](DS_IOF_W& w) { WriteFx(w, version, f); }), fx, &left);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(fx.speed.value, 70u);
        EXPECT_FLOAT_EQ(fx.speed.Converted(), 70.0f);  // factor 1 here: the classes set their own
        EXPECT_EQ(fx.techniqueFlag.value, 1);
        GUID expected{};
        std::vector<BYTE> guidBytes = RecordBytes([&](DS_IOF_W& w) { w.WriteString(kGuidText); });
        ResourceBuffer gb(guidBytes.data(), guidBytes.size());
        DS_DocumentReader gr(&gb);
        ReadGuid(gr, expected);
        EXPECT_EQ(std::memcmp(&fx.maskGuid, &expected, sizeof(GUID)), 0);
        EXPECT_EQ(fx.maskName, f.name);
        EXPECT_FALSE(fx.maskFlag);
        EXPECT_EQ(fx.effectLink.key, (DS_LinkKey{f.linkPath, f.stamp}));
        EXPECT_EQ(fx.name, f.objectName);
        const UINT scale = version >= 2 ? 100u : 50u;
        EXPECT_EQ(fx.scale.value, scale);
        EXPECT_FLOAT_EQ(fx.scale.Converted(), scale * 0.02f);

        FxFields back = f;
        back.scale = scale;
        std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { fx.WriteRecord(w); });
        EXPECT_EQ(written, RecordBytes([&](DS_IOF_W& w) { WriteFx(w, 2, back); }));
    }
}

TEST(FxRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteFx(w, version, FxFields()); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            PlainFX fx;
            const std::vector<BYTE> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_THROW(ReadFx(prefix, fx), DS_LoadError) << "version " << version << ", " << n << " bytes";
        }
    }
}

TEST(FxRecord, ConstructionDefaults) {
    PlainFX a, b;
    EXPECT_EQ(a.speed.value, 0u);
    EXPECT_EQ(a.techniqueFlag.value, 0);
    EXPECT_EQ(a.scale.value, 50u);
    EXPECT_FLOAT_EQ(a.scale.Converted(), 1.0f);
    EXPECT_TRUE(a.maskFlag);
    EXPECT_TRUE(a.maskName.empty());
    EXPECT_NE(std::memcmp(&a.maskGuid, &b.maskGuid, sizeof(GUID)), 0) << "every description gets a GUID of its own";
}

// Copies and assignment share the mask and the effect, each holding one
// reference; assignment releases what the target held; destruction releases both.
TEST(FxCopies, MaskAndEffectAreSharedWithAReferenceEach) {
    FakeDevice device;
    DS_DocResManager manager;
    SetCurrentDocResManager(&manager);
    const std::string text = "effect light";
    DS_ResFileData record(kLightEffect, u"common_res.dll");
    record.SetBytes(static_cast<DWORD>(text.size()), text.data());
    manager.Tables().allFiles[DS_LinkKey{u"common_res.dll", kLightEffect}].push_back(record);

    int liveTextures = 0;
    IDirect3DTexture9* maskA = new FakeTexture(&liveTextures, 8, 8, 1);
    IDirect3DTexture9* maskB = new FakeTexture(&liveTextures, 8, 8, 2);
    auto refs = [](IDirect3DTexture9* t) { return static_cast<FakeTexture*>(t)->refs; };
    {
        PlainFX a;
        a.CreateDeviceObjects(&maskA);
        ASSERT_NE(a.effect.Get(), nullptr);
        FakeEffect* effect = FakeDevice::Of(a.effect.Get());
        const int effectBase = effect->refs;  // the manager's cache entry and a
        EXPECT_EQ(refs(maskA), 2u);
        {
            PlainFX copy(a);
            EXPECT_EQ(copy.mask.Get(), maskA);
            EXPECT_EQ(copy.effect.Get(), a.effect.Get());
            EXPECT_EQ(refs(maskA), 3u);
            EXPECT_EQ(effect->refs, effectBase + 1);

            PlainFX other;
            other.SetMask(&maskB);
            EXPECT_EQ(refs(maskB), 2u);
            other.Assign(a);
            EXPECT_EQ(refs(maskB), 1u) << "assignment releases the mask held before";
            EXPECT_EQ(refs(maskA), 4u);
            EXPECT_EQ(effect->refs, effectBase + 2);

            other.Assign(other);
            EXPECT_EQ(refs(maskA), 4u) << "self-assignment changes nothing";
            EXPECT_EQ(effect->refs, effectBase + 2);

            // SetMask with the address of the held mask keeps it.
            other.SetMask(other.GetMask());
            EXPECT_EQ(refs(maskA), 4u);
            IDirect3DTexture9* none = nullptr;
            other.SetMask(&none);
            EXPECT_EQ(refs(maskA), 3u);
            EXPECT_EQ(other.mask.Get(), nullptr);
        }
        EXPECT_EQ(refs(maskA), 2u);
        EXPECT_EQ(effect->refs, effectBase);
    }
    EXPECT_EQ(refs(maskA), 1u);
    maskA->Release();
    maskB->Release();
    EXPECT_EQ(liveTextures, 0);
    SetCurrentDocResManager(nullptr);
}

// Values, factors and the speed clock's state are copied and the converted
// values follow, whether the target was made by copying or assigned.
TEST(FxCopies, ValuesAndTheClockAreCopied) {
    PlainFX a;
    a.speed.SetFactor(0.02f, 0.0f);
    a.speed.SetValue(50);
    a.speed.Advance(0.1f);
    a.speed.Advance(0.25f);
    a.scale.SetValue(100);
    a.techniqueFlag.Assign(1);
    a.maskName = u"glow";
    a.maskFlag = false;
    a.name = u"light";

    PlainFX copy(a);
    PlainFX assigned;
    assigned.Assign(a);
    for (const PlainFX* fx : {&copy, &assigned}) {
        EXPECT_FLOAT_EQ(fx->speed.Converted(), 1.0f);
        EXPECT_FLOAT_EQ(fx->speed.time, a.speed.time);
        EXPECT_FLOAT_EQ(fx->speed.step, a.speed.step);
        EXPECT_FLOAT_EQ(fx->speed.lastTime, 0.25f);
        EXPECT_FLOAT_EQ(fx->scale.Converted(), 2.0f);
        EXPECT_EQ(fx->techniqueFlag.value, 1);
        EXPECT_EQ(fx->effectLink.key, a.effectLink.key);
        EXPECT_EQ(std::memcmp(&fx->maskGuid, &a.maskGuid, sizeof(GUID)), 0);
        EXPECT_EQ(fx->maskName, u"glow");
        EXPECT_FALSE(fx->maskFlag);
        EXPECT_EQ(fx->name, u"light");
    }
}

// "Scale" for a picture and a scale: (a / s, 1 / s); pictures without area
// and a scale of 0 never divide by zero.
TEST(FxScale, ScaleValues) {
    struct Case {
        UINT w, h;
        float s;
        float x, y;
    } cases[] = {
        {800, 600, 2.0f, 0.6666667f, 0.5f},  // raw 100
        {800, 600, 1.0f, 1.3333334f, 1.0f},  // the default raw 50
        {1920, 1080, 0.5f, 3.5555556f, 2.0f},
        {800, 0, 1.0f, 1.0f, 1.0f},
        {0, 600, 1.0f, 1.0f, 1.0f},
        {800, 600, 0.0f, 1.3333334f, 1.0f},  // raw 0
    };
    for (const Case& c : cases) {
        float out[2] = {-1, -1};
        DS_FX_Constructor::ScaleFor(c.w, c.h, c.s, out);
        EXPECT_FLOAT_EQ(out[0], c.x) << c.w << "x" << c.h << " s " << c.s;
        EXPECT_FLOAT_EQ(out[1], c.y) << c.w << "x" << c.h << " s " << c.s;
    }
}

class FxOnDevice : public tessaloom::testing::EffectFixture {
protected:
    // A layer with an 800 x 600 picture, its device objects made.
    std::unique_ptr<DS_2D_Light> MakeLayer(UINT w = 800, UINT h = 600) {
        pictures.pictures[DS_LinkKey{u"common_res.dll", 5}] = {};
        auto& info = pictures.pictures[DS_LinkKey{u"common_res.dll", 5}];
        info.texture.Attach(harness.MakeTexture(8, 6, [](UINT, UINT) { return 0xff336699u; }));
        info.width = w;
        info.height = h;
        auto layer = std::make_unique<DS_2D_Light>();
        layer->CreateDeviceObjects();
        layer->Resize(64, 64);
        return layer;
    }
};

// The common step sets the technique, "Scale", "Mask" and "Background" and
// then draws; read back from the effect's record of calls at its Begin.
TEST_F(FxOnDevice, TheCommonStepSetsItsParametersBeforeItDraws) {
    AddDemoEffect(kLightEffect, "light.fx");
    auto layer = MakeLayer();
    DS_ComRef<IDirect3DTexture9> maskTexture(harness.MakeTexture(4, 4, [](UINT, UINT) { return 0xff000000u; }));
    DS_ComRef<IDirect3DTexture9> scene(harness.MakeTexture(4, 4, [](UINT, UINT) { return 0xff00ff00u; }));
    layer->sceneTexture.Set(scene.Get());

    struct Case {
        UINT scaleRaw;
        int technique;
        bool withMask;
        float x, y;
        const char* name;
    } cases[] = {
        {100, 0, true, 0.6666667f, 0.5f, "Main"},
        {50, 1, false, 1.3333334f, 1.0f, "MainFX"},
        {0, 0, false, 1.3333334f, 1.0f, "Main"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlainFX fx;
        IDirect3DTexture9* m = c.withMask ? maskTexture.Get() : nullptr;
        fx.CreateDeviceObjects(&m);
        ASSERT_NE(fx.effect.Get(), nullptr);
        fx.scale.SetValue(c.scaleRaw);
        fx.techniqueFlag.Assign(c.technique);
        std::vector<EffectCall> log;
        ASSERT_TRUE(RecordEffectCalls(fx.effect.Get(), &log));
        harness.device->BeginScene();
        fx.Apply(*layer);
        harness.device->EndScene();
        RecordEffectCalls(fx.effect.Get(), nullptr);
        const auto at = ValuesAtDraw(log);
        ASSERT_TRUE(at.drawn);
        EXPECT_EQ(at.technique, c.name);
        ASSERT_EQ(at.floats.count("Scale"), 1u);
        EXPECT_FLOAT_EQ(at.floats.at("Scale")[0], c.x);
        EXPECT_FLOAT_EQ(at.floats.at("Scale")[1], c.y);
        EXPECT_EQ(at.textures.at("Mask"), m);
        EXPECT_EQ(at.textures.at("Background"), scene.Get());
        for (const EffectCall& call : log) EXPECT_EQ(call.result, D3D_OK) << call.name;
        fx.effect.Get()->SetTexture("Mask", nullptr);
        fx.effect.Get()->SetTexture("Background", nullptr);
    }
}

// A description read from a version-1 record keeps the default scale and
// draws with "Scale" = (W / H, 1).
TEST_F(FxOnDevice, AVersion1DescriptionDrawsWithTheDefaultScale) {
    AddDemoEffect(kLightEffect, "light.fx");
    auto layer = MakeLayer(1024, 768);
    FxFields f;
    f.linkPath = u"common_res.dll";
    f.stamp = kLightEffect;
    f.technique = 0;
    PlainFX read;
    ReadFx(RecordBytes([&](DS_IOF_W& w) { WriteFx(w, 1, f); }), read);
    std::unique_ptr<DS_ABObj> object(read.CreateObject());
    auto* brush = static_cast<DS_BrushObj*>(object.get());
    std::vector<EffectCall> log;
    ASSERT_TRUE(RecordEffectCalls(brush->fx->effect.Get(), &log));
    harness.device->BeginScene();
    object->Render(*layer);
    harness.device->EndScene();
    RecordEffectCalls(brush->fx->effect.Get(), nullptr);
    const auto at = ValuesAtDraw(log);
    ASSERT_TRUE(at.drawn);
    EXPECT_FLOAT_EQ(at.floats.at("Scale")[0], 1024.0f / 768.0f);
    EXPECT_FLOAT_EQ(at.floats.at("Scale")[1], 1.0f);
    brush->fx->effect.Get()->SetTexture("Background", nullptr);
}

// No effect: nothing is set and nothing drawn, and nothing fails.
TEST_F(FxOnDevice, WithoutAnEffectNothingIsDrawn) {
    auto layer = MakeLayer();
    PlainFX fx;  // the manager has no bytes for the light effect
    fx.CreateDeviceObjects(nullptr);
    EXPECT_EQ(fx.effect.Get(), nullptr);
    harness.device->BeginScene();
    fx.Apply(*layer);
    harness.device->EndScene();
    EXPECT_EQ(fx.applied, 1);
}

// The run-time object: a copy with its device objects made at once, the
// painted mask from the manager's GUID table, the technique flag deciding
// whether the slide captures the scene for it, the clock moved each frame.
TEST_F(FxOnDevice, TheRunTimeObjectOwnsACopyAndMakesItsDeviceObjects) {
    AddDemoEffect(kLightEffect, "light.fx");
    auto layer = MakeLayer();
    PlainFX description;
    description.speed.SetFactor(0.02f, 0.0f);
    description.speed.SetValue(50);
    IDirect3DTexture9* painted = harness.MakeTexture(4, 4, [](UINT, UINT) { return 0x80000000u; });
    manager->GetGuidTexture(description.maskGuid) = DS_TextureRef::Adopt(painted);
    for (int flag : {0, 1}) {
        description.techniqueFlag.Assign(flag);
        std::unique_ptr<DS_ABObj> object(description.CreateObject());
        auto* brush = static_cast<DS_BrushObj*>(object.get());
        EXPECT_EQ(object->owner, brush->fx);
        EXPECT_NE(brush->fx, &description);
        EXPECT_EQ(brush->fx->mask.Get(), painted);
        EXPECT_NE(brush->fx->effect.Get(), nullptr);
        EXPECT_EQ(object->NeedsSceneTexture(), flag);
        object->FrameMove(0.1f);
        object->FrameMove(0.6f);  // capped at 0.2 s
        EXPECT_FLOAT_EQ(brush->fx->speed.time, 0.3f);
        EXPECT_FLOAT_EQ(description.speed.time, 0.0f);
        harness.device->BeginScene();
        object->Render(*layer);
        harness.device->EndScene();
        EXPECT_EQ(static_cast<PlainFX*>(brush->fx)->applied, 1);
        brush->fx->effect.Get()->SetTexture("Mask", nullptr);
        brush->fx->effect.Get()->SetTexture("Background", nullptr);
    }
}

// Writing stores the mask as a 512 x 512 alpha texture under the GUID and
// refreshes its file data; without a mask the entry is emptied.
TEST_F(FxOnDevice, WritingStoresTheMaskInTheManager) {
    PlainFX fx;
    IDirect3DTexture9* m = harness.MakeTexture(16, 16, [](UINT x, UINT) { return x < 8 ? 0xff000000u : 0u; });
    fx.SetMask(&m);
    m->Release();
    RecordBytes([&](DS_IOF_W& w) { fx.Write(w); });
    const DS_TextureRef& stored = manager->GetGuidTexture(fx.maskGuid);
    ASSERT_TRUE(stored);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(stored.Get()->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 512u);
    EXPECT_EQ(desc.Height, 512u);
    EXPECT_EQ(desc.Format, D3DFMT_A8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_GT(stored.Get()->GetLevelCount(), 1u);
    ASSERT_EQ(manager->Tables().guidData.count(fx.maskGuid), 1u);
    EXPECT_GT(manager->Tables().guidData.at(fx.maskGuid).file.GetSize(), 0u);

    IDirect3DTexture9* none = nullptr;
    fx.SetMask(&none);
    RecordBytes([&](DS_IOF_W& w) { fx.Write(w); });
    EXPECT_FALSE(manager->GetGuidTexture(fx.maskGuid));
}

}  // namespace
