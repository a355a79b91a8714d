// What every effect class shares: its name resolves in the scene-object
// registry of the linked program, and without its effect it sets nothing
// and draws nothing.
#include <functional>

#include "layers/effects/background_copy.h"
#include "layers/effects/fire_fx.h"
#include "layers/effects/light_fx.h"
#include "layers/effects/move_fx.h"
#include "layers/effects/pattern_brush.h"
#include "layers/effects/underwater_fx.h"
#include "layers/effects/water_fx.h"
#include "layers/effects/waves_fx.h"
#include "tests/layers/effects/effect_class_fixture.h"

namespace {

using namespace tessaloom::testing;

TEST(EffectRegistry, EveryEffectClassNameResolves) {
    const auto& registry = GetConstructorReaderRegistry();
    for (const char16_t* name : {u"DS_PatternBrush", u"DS_PatternBrushC", u"DS_BackgroundCopy", u"DS_WavesFX",
                                 u"DS_LightFX", u"DS_WaterFX", u"DS_MoveFX", u"DS_FireFX"}) {
        auto it = registry.find(name);
        ASSERT_NE(it, registry.end()) << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_NE(it->second, nullptr);
    }
    // The underwater effect lives inside its layer and the direction-based
    // effect only as the middle of the move effect's record.
    EXPECT_EQ(registry.count(u"DS_UnderwaterFX"), 0u);
    EXPECT_EQ(registry.count(u"DS_DirectionBased"), 0u);
}

class EffectsWithoutTheirEffect : public EffectClassTest {};

// The module holds none of the effects here: every class makes its device
// objects, moves and draws, and the picture stays as it is.
TEST_F(EffectsWithoutTheirEffect, DrawNothing) {
    MakeLayer();
    AddPicture(89, 8, 8, [](UINT, UINT) { return 0xff808080u; });
    const std::vector<std::function<DS_FX_Constructor*()>> makers = {
        [] { return new DS_PatternBrush; }, [] { return new DS_PatternBrushC; }, [] { return new DS_BackgroundCopy; },
        [] { return new DS_WavesFX; },      [] { return new DS_LightFX; },       [] { return new DS_UnderwaterFX; },
        [] { return new DS_WaterFX; },      [] { return new DS_MoveFX; },
    };
    const Image plain = Draw(nullptr);
    for (const auto& make : makers) {
        std::unique_ptr<DS_FX_Constructor> fx(make());
        SCOPED_TRACE(typeid(*fx).name());
        IDirect3DTexture9* m = LeftHalfMask();
        fx->CreateDeviceObjects(&m);
        EXPECT_EQ(fx->effect.Get(), nullptr);
        fx->FrameMove(0.5f);
        fx->FrameMove(1.0f);
        EXPECT_EQ(Draw(fx.get()).pixels, plain.pixels);
    }
}

}  // namespace
