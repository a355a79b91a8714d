#include "tools/scene_builder/lake_builder.h"

#include "document/res_manager.h"
#include "layers/fake_lake_2d.h"
#include "layers/fake_undervater.h"
#include "platform/d3dx9/image.h"
#include "tools/scene_builder/effect_builder.h"

namespace tessaloom::scene_builder {
namespace {

constexpr int kBumpSide = 128;
// The slopes fill most of the signed byte range.
constexpr float kSlopeScale = 110.0f;

int8_t Signed(float v) {
    const float c = v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v;
    return static_cast<int8_t>(c * kSlopeScale);
}

// A fixed key per slide and use (0: the lake's bump map, 1: the underwater
// effect's unpainted mask).
GUID SlideKey(size_t slide, uint16_t use) {
    return GUID{0x1a4e0000u + static_cast<uint32_t>(slide), use, 0x4c61,
                {0x6b, 0x65, 0x57, 0x61, 0x74, 0x65, 0x72, 0x00}};
}

}  // namespace

bool IsWaterLayerName(const std::string& name) { return name == "lake" || name == "underwater"; }

std::vector<uint8_t> MakeLakeBumpDds(int size) {
    if (size < 8 || size > 1024) return {};
    std::vector<uint8_t> texels(static_cast<size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float sx = 0.0f, sy = 0.0f;
            SwellSlopes(static_cast<float>(x) / size, static_cast<float>(y) / size, sx, sy);
            uint8_t* t = &texels[(static_cast<size_t>(y) * size + x) * 4];
            t[0] = static_cast<uint8_t>(Signed(sx));
            t[1] = static_cast<uint8_t>(Signed(sy));
            t[2] = 0;
            t[3] = 127;
        }
    std::vector<uint8_t> file;
    const UINT side = static_cast<UINT>(size);
    if (FAILED(d3dx::EncodeDds(side, side, D3DFMT_Q8W8V8U8, {{texels.data(), side * 4}}, &file))) return {};
    return file;
}

DS_2D_Light* MakeWaterLayer(const std::string& name, DS_DocResManager& manager, size_t slide) {
    if (name == "underwater") {
        auto* layer = new FakeUndervater;
        layer->effect.maskGuid = SlideKey(slide, 1);
        return layer;
    }
    if (name != "lake") return nullptr;
    auto* lake = new FakeLake2D;
    lake->bumpKey = SlideKey(slide, 0);
    const std::vector<uint8_t> dds = MakeLakeBumpDds(kBumpSide);
    DS_GuidData data;
    data.guid = lake->bumpKey;
    data.name = u"Lake ripples";
    data.file.SetBytes(static_cast<DWORD>(dds.size()), dds.data());
    manager.Tables().guidData[lake->bumpKey] = data;
    return lake;
}

}  // namespace tessaloom::scene_builder
