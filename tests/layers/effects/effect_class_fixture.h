// What the tests of the effect classes share: the base record written by
// hand, reading through the scene-object registry, the check that every
// truncated record fails, a layer over a picture of a given size, the values
// an effect held when it drew, and the rendered check that an effect changes
// the picture inside its mask and nowhere else.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "document/load_error.h"
#include "layers/effects/fx_constructor.h"
#include "scene/picture_layer.h"
#include "tests/layers/layer_fixture.h"

namespace tessaloom::testing {

constexpr char16_t kMaskGuidText[] = u"{5EC0A1B2-C3D4-4E5F-8A9B-0C1D2E3F4A5B}";

struct FxBaseFields {
    UINT speed = 50;
    INT technique = 0;
    int effectId = 0;
    UINT scale = 50;
    std::u16string objectName = u"Effect";
};

inline void WriteFxBase(DS_IOF_W& w, const FxBaseFields& f) {
    WriteRecordHeader(w, u"DS_FX_Constructor", 2);
    w.WriteUInt(f.speed);
    w.WriteLong(f.technique);
    w.WriteString(kMaskGuidText);
    w.WriteString(u"painted mask");
    w.WriteBool(true);
    w.WriteString(u"common_res.dll");
    w.WriteInt64(f.effectId);
    w.WriteUInt(f.scale);
    WriteRecordHeader(w, u"DS_ABObj_Constructor", 1);
    w.WriteString(f.objectName);
}

// A registered class read as a slide reads it; `left` the bytes not read.
template <class T>
std::unique_ptr<T> ReadRegistered(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_ABObj_Constructor> read(ReadConstructorByClassName(reader));
    if (left) *left = buffer.Remaining();
    T* typed = dynamic_cast<T*>(read.get());
    EXPECT_NE(typed, nullptr) << "read as another class";
    if (typed) read.release();
    return std::unique_ptr<T>(typed);
}

// Every proper prefix of a registered record stops the read with a load error.
inline void ExpectEveryPrefixFails(const std::vector<BYTE>& bytes) {
    for (size_t n = 0; n < bytes.size(); ++n) {
        ResourceBuffer buffer(bytes.data(), n);
        DS_DocumentReader reader(&buffer);
        EXPECT_THROW(delete ReadConstructorByClassName(reader), DS_LoadError) << n << " of " << bytes.size() << " bytes";
    }
}

inline std::vector<float> Floats(const DrawValues& at, const std::string& name) {
    auto it = at.floats.find(name);
    return it != at.floats.end() ? it->second : std::vector<float>();
}

// Component by component within `tolerance`.
inline ::testing::AssertionResult Near(const std::vector<float>& got, const std::vector<float>& want,
                                       float tolerance = 1e-4f) {
    bool same = got.size() == want.size();
    for (size_t i = 0; same && i < got.size(); ++i) same = std::fabs(got[i] - want[i]) <= tolerance;
    if (same) return ::testing::AssertionSuccess();
    auto text = [](const std::vector<float>& v) {
        std::string s = "(";
        for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + std::to_string(v[i]);
        return s + ")";
    };
    return ::testing::AssertionFailure() << text(got) << " where " << text(want) << " was expected";
}

// The layer picture: stripes and a checker in every channel, so that any
// shift, tint or change of brightness shows.
inline D3DCOLOR TestPattern(UINT x, UINT y) {
    const UINT r = 40 + (x * 11) % 160, g = 40 + (y * 7) % 160, b = ((x / 4 + y / 4) % 2) ? 180 : 60;
    return 0xff000000u | (r << 16) | (g << 8) | b;
}

class EffectClassTest : public EffectFixture {
protected:
    void TearDown() override {
        layer.reset();
        EffectFixture::TearDown();
    }

    // The slide's layer over the whole back buffer, its picture `width` x `height`.
    void MakeLayer(UINT width = 64, UINT height = 64, D3DCOLOR (*color)(UINT, UINT) = &TestPattern) {
        AddPicture(5, width, height, color);
        layer = std::make_unique<DS_2D_Light>();
        layer->CreateDeviceObjects();
        layer->RestoreDeviceObjects();
        layer->SetPicturePosition(DS_POS_STRETCH);
        layer->Resize(64, 64);
    }

    // Applies `fx` inside a scene with the effect's calls recorded; every call
    // must have succeeded (the demo effect declares every name the class
    // sets).  The log is left in `log`.
    DrawValues DrawRecorded(DS_FX_Constructor& fx) {
        log.clear();
        ID3DXEffect* e = fx.effect.Get();
        EXPECT_NE(e, nullptr);
        if (!e) return {};
        EXPECT_TRUE(d3dx9::RecordEffectCalls(e, &log));
        harness.device->BeginScene();
        layer->DrawPicture();
        ShowPictureAsScene();
        fx.Apply(*layer);
        harness.device->EndScene();
        d3dx9::RecordEffectCalls(e, nullptr);
        for (const auto& call : log) EXPECT_EQ(call.result, D3D_OK) << call.name;
        return ValuesAtDraw(log);
    }

    Image Draw(DS_FX_Constructor* fx) {
        harness.device->BeginScene();
        layer->DrawPicture();
        ShowPictureAsScene();
        if (fx) fx->Apply(*layer);
        harness.device->EndScene();
        return harness.ReadBackBuffer();
    }

    // As the slide's object pass does for an object that reads no capture:
    // the scene texture is the picture.
    void ShowPictureAsScene() { layer->sceneTexture.Set(layer->pictureQuad.texture.Get()); }

    // The painted mask: the left half of the picture.
    IDirect3DTexture9* LeftHalfMask() {
        mask_.Attach(harness.MakeTexture(64, 64, [](UINT x, UINT) { return x < 32 ? 0xff000000u : 0x00000000u; }));
        return mask_.Get();
    }

    // Drawn with `fx` (its device objects made with the left-half mask), the
    // picture changes at no fewer than `minChanged` of the pixels well inside
    // the mask and at none outside it.
    // The two pictures are left in `plain` and `drawn`.
    void ExpectChangesInsideTheMaskOnly(DS_FX_Constructor& fx, double minChanged, const std::string& name) {
        plain = Draw(nullptr);
        drawn = Draw(&fx);
        const Image& image = drawn;
        image.WritePngIfAsked(name);
        int inside = 0, changed = 0;
        for (UINT y = 0; y < 64; ++y)
            for (UINT x = 0; x < 64; ++x) {
                if (x < 29) {
                    ++inside;
                    if (image.at(x, y) != plain.at(x, y)) ++changed;
                } else if (x >= 35) {
                    ASSERT_EQ(image.at(x, y), plain.at(x, y)) << name << ": outside the mask at " << x << ", " << y;
                }
            }
        EXPECT_GE(changed, static_cast<int>(minChanged * inside)) << name << ": " << changed << " of " << inside;
    }

    // The effect's texture parameters let go, so that nothing of a test
    // outlives it in the manager's shared effect.
    static void ClearTextures(ID3DXEffect* e, std::initializer_list<const char*> names) {
        if (!e) return;
        for (const char* n : names) e->SetTexture(n, nullptr);
    }

    std::unique_ptr<DS_2D_Light> layer;
    std::vector<d3dx9::EffectCall> log;
    Image plain, drawn;

private:
    DS_ComRef<IDirect3DTexture9> mask_;
};

}  // namespace tessaloom::testing
