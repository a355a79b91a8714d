// What the layer and effect tests share: a real device (the pixel harness),
// a current resource manager that holds our demo effects under their module
// numbers, pictures made in code for the links the layers ask for, and the
// effect stand-in's record of the calls an effect received.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/item.h"
#include "document/res_manager.h"
#include "platform/d3dx9/effect_testing.h"
#include "scene/effect_calls.h"
#include "scene/layer_resources.h"
#include "scene/picture_layer.h"
#include "scene/slide.h"
#include "scene/view_2d.h"
#include "tests/support/d3d_harness.h"

namespace tessaloom::testing {

// The pictures of the layers by link key; the device notices also go on to
// the current resource manager, as the saver's own source does.
class PictureTable final : public DS_LayerResources {
public:
    DS_PictureInfo GetPicture(const DS_ImageFileLink& link) override {
        auto it = pictures.find(link.key);
        return it != pictures.end() ? it->second : DS_PictureInfo();
    }
    void OnResetDevice() override {
        ++resets;
        DS_DocumentLayerResources().OnResetDevice();
    }
    void OnLostDevice() override {
        ++losses;
        DS_DocumentLayerResources().OnLostDevice();
    }
    void PrepareLinkForSave(const DS_ImageFileLink&) override {}

    std::map<DS_LinkKey, DS_PictureInfo> pictures;
    int resets = 0;
    int losses = 0;
};

inline DS_LinkKey ModuleKey(int id) { return DS_LinkKey{u"common_res.dll", id}; }

inline std::vector<BYTE> DemoEffectBytes(const std::string& file) {
    std::ifstream in(std::string(TESSALOOM_SOURCE_DIR) + "/demo/effects/" + file, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The calls of one kind and name, in order.
inline std::vector<d3dx9::EffectCall> CallsTo(const std::vector<d3dx9::EffectCall>& log, d3dx9::EffectCall::Kind kind,
                                              const std::string& name) {
    std::vector<d3dx9::EffectCall> out;
    for (const auto& c : log)
        if (c.kind == kind && c.name == name) out.push_back(c);
    return out;
}

// The last value set for `name` before the first Begin at or after `from`,
// with the technique that Begin ran: what the effect drew with.
struct DrawValues {
    bool drawn = false;
    std::string technique;
    std::map<std::string, std::vector<float>> floats;
    std::map<std::string, const IDirect3DBaseTexture9*> textures;
};
inline DrawValues ValuesAtDraw(const std::vector<d3dx9::EffectCall>& log, size_t from = 0) {
    DrawValues v;
    for (size_t i = from; i < log.size(); ++i) {
        const auto& c = log[i];
        using K = d3dx9::EffectCall::Kind;
        if (c.result != D3D_OK) continue;
        if (c.kind == K::Begin) {
            v.drawn = true;
            v.technique = c.name;
            return v;
        }
        if (c.kind == K::Floats || c.kind == K::Matrix) v.floats[c.name] = c.values;
        if (c.kind == K::Texture) v.textures[c.name] = c.texture;
    }
    return v;
}

class EffectFixture : public ::testing::Test {
protected:
    explicit EffectFixture(UINT width = 64, UINT height = 64) : harness(width, height) {}

    void SetUp() override {
        ASSERT_TRUE(harness.ok());
        CurrentDevice = harness.device;
        device_ = harness.device;
        SetResCurrentDeviceGetter(&Device);
        SetLayerResources(&pictures);
        DS_SetCurrentViewState(&viewState);
        SetEffectRunner(&DS_DefaultEffectRunner());
        manager = std::make_unique<DS_DocResManager>();
        SetCurrentDocResManager(manager.get());
    }
    void TearDown() override {
        pictures.pictures.clear();
        SetCurrentDocResManager(nullptr);
        manager.reset();
        viewState.view.Teardown();
        DS_SetCurrentViewState(nullptr);
        SetLayerResources(nullptr);
        SetResCurrentDeviceGetter(nullptr);
        CurrentDevice = nullptr;
        device_ = nullptr;
    }

    // A file of demo/effects as the bytes of module effect `id`.
    void AddDemoEffect(int id, const std::string& file) {
        const std::vector<BYTE> bytes = DemoEffectBytes(file);
        ASSERT_FALSE(bytes.empty()) << file;
        DS_ResFileData record(id, u"common_res.dll");
        record.SetBytes(static_cast<DWORD>(bytes.size()), bytes.data());
        manager->Tables().allFiles[ModuleKey(id)].push_back(record);
    }
    // The manager's effect of module number `id` (a reference the caller releases), null when none.
    ID3DXEffect* EffectOf(int id) { return manager->GetEffect(DS_HLSLEffectFile(id, u"common_res.dll")); }

    // A managed picture for the module link `id`.
    IDirect3DTexture9* AddPicture(int id, UINT width, UINT height, const std::function<D3DCOLOR(UINT, UINT)>& color) {
        DS_PictureInfo info;
        info.texture.Attach(harness.MakeTexture(width, height, color));
        info.width = width;
        info.height = height;
        info.aspect = static_cast<float>(height) / static_cast<float>(width);
        IDirect3DTexture9* t = info.texture.Get();
        pictures.pictures[ModuleKey(id)] = info;
        return t;
    }

    D3DHarness harness;
    PictureTable pictures;
    DS_ViewState viewState;
    std::unique_ptr<DS_DocResManager> manager;

private:
    static IDirect3DDevice9* Device() { return device_; }
    static inline IDirect3DDevice9* device_ = nullptr;
};

// A slide on the fixture's device whose picture layer is the one given:
// made, restored and sized (stretched over the back buffer) as the host
// does, and frames drawn and read back.
class LayerSlideFixture : public EffectFixture {
protected:
    void TearDown() override {
        slide.reset();
        EffectFixture::TearDown();
    }
    template <class T>
    T& ShowLayer(T* layer) {
        slide = std::make_unique<DS_SlideContainer>();
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
        slide->Init();
        slide->RestoreDeviceObjects();
        slide->SetPicturePosition(DS_POS_STRETCH);
        slide->Resize(static_cast<int>(harness.params.BackBufferWidth), static_cast<int>(harness.params.BackBufferHeight));
        return *layer;
    }
    Image Frame(double time) {
        slide->FrameMove(time);
        IDirect3DDevice9* d = harness.device;
        d->BeginScene();
        slide->RenderScene();
        slide->RenderFinish();
        d->EndScene();
        return harness.ReadBackBuffer();
    }
    std::unique_ptr<DS_SlideContainer> slide;
};

// A layer record read through the layer registry, as a slide reads it; null
// (and a test failure) when it reads as another class.  `left`: the bytes not read.
template <class T>
std::unique_ptr<T> ReadLayerAs(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    ResourceBuffer buffer(bytes.data(), bytes.size());
    DS_DocumentReader reader(&buffer);
    std::unique_ptr<DS_2D_Light> layer(ReadLightByClassName(reader));
    if (left) *left = buffer.Remaining();
    T* typed = dynamic_cast<T*>(layer.get());
    EXPECT_NE(typed, nullptr) << "read as another class";
    if (typed) layer.release();
    return std::unique_ptr<T>(typed);
}

template <class F>
std::vector<BYTE> RecordBytes(F&& write) {
    DS_IOF_W w;
    write(w);
    return w.TakeBytes();
}

}  // namespace tessaloom::testing
