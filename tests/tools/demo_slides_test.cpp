// The demo slides show what they name: the effects scene's ripples move the
// lake visibly, its firelight lights the ground, its snow and stars do not
// repeat across the sky and the snow falls in small steps; the butterfly's
// wing carries its own colour into the clear texels round it.  Each check
// works on the pictures the builder paints and the values the scene source
// gives, drawn the way the effects' shaders draw them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>

#include "layers/effects/light_fx.h"
#include "layers/effects/waves_fx.h"
#include "tests/support/scene_files.h"
#include "tools/scene_builder/scene_builder.h"

using namespace tessaloom::scene_builder;
using tessaloom::testing::ReadDemoScene;

namespace {

SceneSpec ParseDemo(const std::string& file) {
    SceneSpec scene;
    std::string error;
    EXPECT_TRUE(ParseScene(ReadDemoScene(file), scene, &error)) << error;
    return scene;
}

const SlideSpec* FindSlide(const SceneSpec& scene, const std::string& name) {
    for (const SlideSpec& s : scene.slides)
        if (s.name == name) return &s;
    ADD_FAILURE() << "no slide " << name;
    return nullptr;
}

Picture PaintSlidePicture(const SceneSpec& scene, const SlideSpec& slide) {
    Picture p;
    for (const PictureSpec& spec : scene.pictures)
        if (spec.id == slide.picture) EXPECT_TRUE(PaintNamed(spec.painter, spec.width, spec.height, p));
    return p;
}

const MaskSpec* FindMask(const SceneSpec& scene, const std::string& id) {
    for (const MaskSpec& m : scene.masks)
        if (m.id == id) return &m;
    ADD_FAILURE() << "no mask " << id;
    return nullptr;
}

UINT Raw(const EffectSpec& e, const std::string& key, UINT otherwise) {
    auto it = e.values.find(key);
    return it == e.values.end() ? otherwise : static_cast<UINT>(std::stoul(it->second));
}

float Luma(const Rgb& c) { return (0.299f * c.r + 0.587f * c.g + 0.114f * c.b) / 255.0f; }

// The picture at (u, v), clamped at its edges, as bilinear filtering gives it.
float LumaAt(const Picture& p, float u, float v) {
    const float x = std::clamp(u * p.width - 0.5f, 0.0f, p.width - 1.0f);
    const float y = std::clamp(v * p.height - 0.5f, 0.0f, p.height - 1.0f);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, p.width - 1), y1 = std::min(y0 + 1, p.height - 1);
    const float fx = x - x0, fy = y - y0;
    const float top = Luma(p.At(x0, y0)) * (1 - fx) + Luma(p.At(x1, y0)) * fx;
    const float bottom = Luma(p.At(x0, y1)) * (1 - fx) + Luma(p.At(x1, y1)) * fx;
    return top * (1 - fy) + bottom * fy;
}

}  // namespace

// The waves shift the masked lake along "direction_n" by a sine of the
// distance along "direction"; one second of the effect's clock later the
// lake must look different to the eye: at least one sample in fifty of
// the lake brighter or darker by 12 of 255 or more (a ripple that moves
// nothing shows nothing).
TEST(DemoSlides, RipplesChangeTheLakeVisiblyWithinASecond) {
    const SceneSpec scene = ParseDemo("effects.scene");
    const SlideSpec* slide = FindSlide(scene, "Ripples");
    ASSERT_NE(slide, nullptr);
    ASSERT_EQ(slide->effects.size(), 1u);
    const EffectSpec& spec = slide->effects[0];
    ASSERT_EQ(spec.className, "DS_WavesFX");
    const MaskSpec* mask = FindMask(scene, spec.mask);
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(mask->shape, "band");
    const Picture picture = PaintSlidePicture(scene, *slide);
    ASSERT_GT(picture.width, 0);

    DS_WavesFX waves;
    waves.amplitude.SetValue(Raw(spec, "amplitude", waves.amplitude.GetValue()));
    waves.period.SetValue(Raw(spec, "period", waves.period.GetValue()));
    waves.angle.SetValue(Raw(spec, "angle", waves.angle.GetValue()));
    waves.reverse.SetValue(static_cast<int>(Raw(spec, "reverse", 0)));
    waves.speed.SetValue(Raw(spec, "speed", waves.speed.GetValue()));
    // What the draw gives the shader: the direction reversed, the second
    // vector as it is, "time" 0.08 a clock unit; "Scale" (W / H, 1).
    const float dx = -waves.direction.x, dy = -waves.direction.y;
    const float nx = waves.normal.x, ny = waves.normal.y;
    const float frequency = 1.0f / waves.period.Converted(), amplitude = waves.amplitude.Converted();
    const float timePerSecond = waves.speed.Converted() * 0.08f;
    const float aspect = static_cast<float>(picture.width) / picture.height;

    const float top = mask->values[0] + mask->values[2];  // inside the band's soft edge
    int changed = 0, samples = 0;
    for (float v = top; v < 1.0f; v += 1.0f / 300)
        for (float u = 0.0f; u < 1.0f; u += 1.0f / 400) {
            const float phase = (u * aspect * dx + v * dy) * frequency;
            const float s0 = std::sin(phase + 10.0f) * amplitude;
            const float s1 = std::sin(phase + 10.0f + timePerSecond) * amplitude;
            const float step = LumaAt(picture, u + nx * s0, v + ny * s0) - LumaAt(picture, u + nx * s1, v + ny * s1);
            changed += std::fabs(step) * 255.0f >= 12.0f;
            ++samples;
        }
    ASSERT_GT(samples, 0);
    EXPECT_GE(changed * 100.0 / samples, 2.0) << "the lake hardly changes in a second";
}

// The light effect multiplies the masked picture by 1 + multiplier, the
// multiplier flickering between 0 and the converted amplitude: the ground
// round the fire must be lit to begin with (multiplying black leaves black)
// and the flicker must move its brightness by a visible amount.
TEST(DemoSlides, FirelightLightsTheGroundAndFlickersVisibly) {
    const SceneSpec scene = ParseDemo("effects.scene");
    const SlideSpec* slide = FindSlide(scene, "Firelight");
    ASSERT_NE(slide, nullptr);
    ASSERT_EQ(slide->effects.size(), 1u);
    const EffectSpec& spec = slide->effects[0];
    ASSERT_EQ(spec.className, "DS_LightFX");
    const MaskSpec* mask = FindMask(scene, spec.mask);
    ASSERT_NE(mask, nullptr);
    ASSERT_EQ(mask->shape, "ellipse");
    DS_LightFX light;
    light.amplitude.SetValue(Raw(spec, "amplitude", light.amplitude.GetValue()));
    const float most = light.amplitude.Converted();
    const Picture picture = PaintSlidePicture(scene, *slide);
    ASSERT_GT(picture.width, 0);

    // The ground: the lower part of the mask's core, below its centre.
    const float cx = mask->values[0], cy = mask->values[1];
    const float rx = mask->values[2] * (1 - mask->values[4]), ry = mask->values[3] * (1 - mask->values[4]);
    double lit = 0, brightest = 0;
    int samples = 0;
    for (int y = static_cast<int>(cy * picture.height); y < picture.height; ++y)
        for (int x = 0; x < picture.width; x += 2) {
            const float ex = (x / static_cast<float>(picture.width) - cx) / rx;
            const float ey = (y / static_cast<float>(picture.height) - cy) / ry;
            if (ex * ex + ey * ey > 1.0f) continue;
            const float l = Luma(picture.At(x, y));
            lit += l;
            brightest += std::min(1.0f, l * (1.0f + most));
            ++samples;
        }
    ASSERT_GT(samples, 100);
    lit = lit / samples * 255.0;
    brightest = brightest / samples * 255.0;
    EXPECT_GE(lit, 40.0) << "the ground round the fire is dark";
    EXPECT_GE(brightest - lit, 30.0) << "the flicker hardly changes the ground";
}

// A pattern brush repeats its tile every pattern size x scale picture pixels;
// where a slide lays one sequence at several scales the sum repeats at the
// least common multiple.  The snow and the stars must not repeat within the
// picture's width.
TEST(DemoSlides, SnowAndStarsDoNotRepeatAcrossThePicture) {
    const SceneSpec scene = ParseDemo("effects.scene");
    for (const char* name : {"Snowfall", "Twinkle"}) {
        SCOPED_TRACE(name);
        const SlideSpec* slide = FindSlide(scene, name);
        ASSERT_NE(slide, nullptr);
        int pictureWidth = 0;
        for (const PictureSpec& p : scene.pictures)
            if (p.id == slide->picture) pictureWidth = p.width;
        // Tile widths in hundredths of a picture pixel.
        unsigned long long period = 1;
        int brushes = 0;
        for (const EffectSpec& e : slide->effects) {
            if (e.className != "DS_PatternBrush" && e.className != "DS_PatternBrushC") continue;
            EXPECT_EQ(Raw(e, "rotation", 0), 0u) << "a rotated tiling is not measured here";
            const std::string sequence = e.values.at("pattern");
            int size = 0;
            for (const SequenceSpec& s : scene.sequences)
                if (s.id == sequence) size = s.size;
            ASSERT_GT(size, 0);
            const unsigned long long tile = static_cast<unsigned long long>(size) * Raw(e, "patternScale", 100);
            period = std::lcm(period, tile);
            ++brushes;
        }
        ASSERT_GT(brushes, 0);
        EXPECT_GE(period, static_cast<unsigned long long>(pictureWidth) * 100) << "the tiling repeats every "
                                                                                << period / 100.0 << " pixels";
    }
}

// The snow sequence moves its flakes down by one step a frame: found as the
// vertical shift that best lays one frame over the next.  Drawn at the
// largest scale of the slide, a step must stay within 10 picture pixels, and
// one round of the frames must last seconds, not one.
TEST(DemoSlides, SnowFallsInSmallSteps) {
    const SceneSpec scene = ParseDemo("effects.scene");
    const SlideSpec* slide = FindSlide(scene, "Snowfall");
    ASSERT_NE(slide, nullptr);
    float scale = 0;
    std::string sequence;
    for (const EffectSpec& e : slide->effects) {
        sequence = e.values.at("pattern");
        scale = std::max(scale, Raw(e, "patternScale", 100) / 100.0f);
    }
    const SequenceSpec* spec = nullptr;
    for (const SequenceSpec& s : scene.sequences)
        if (s.id == sequence) spec = &s;
    ASSERT_NE(spec, nullptr);
    EXPECT_GE(spec->frames * spec->delay, 3.0f) << "the snow loops every " << spec->frames * spec->delay << " s";

    // The frames' alpha, decoded from the TGA the builder writes (32-bit,
    // top-left origin, run-length packets).
    auto alpha = [&](int frame) {
        const std::vector<uint8_t> tga = PaintSequenceFrame(*spec, frame);
        std::vector<uint8_t> a;
        for (size_t i = 18; i < tga.size() && a.size() < static_cast<size_t>(spec->size) * spec->size;) {
            const int count = (tga[i] & 0x7F) + 1;
            if (tga[i++] & 0x80) {
                a.insert(a.end(), count, tga[i + 3]);
                i += 4;
            } else {
                for (int k = 0; k < count; ++k, i += 4) a.push_back(tga[i + 3]);
            }
        }
        return a;
    };
    const std::vector<uint8_t> a0 = alpha(0), a1 = alpha(1);
    const int n = spec->size;
    ASSERT_EQ(a0.size(), static_cast<size_t>(n) * n);
    ASSERT_EQ(a1.size(), a0.size());
    int best = 0;
    long long bestError = -1;
    for (int shift = 0; shift < n / 2; ++shift) {
        long long error = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) error += std::abs(a0[y * n + x] - a1[((y + shift) % n) * n + x]);
        if (bestError < 0 || error < bestError) bestError = error, best = shift;
    }
    EXPECT_GT(best, 0) << "the flakes do not fall";
    EXPECT_LE(best * scale, 10.0f) << "the flakes jump " << best * scale << " picture pixels a frame";
}

// Filtering samples between texels: at the wing's edge the clear texels
// beside it must carry the wing's colour, or the edge blends towards
// whatever colour the clear texels hold.
TEST(DemoSlides, TheButterflyWingsClearTexelsCarryTheEdgeColour) {
    Picture wing;
    ASSERT_TRUE(PaintNamed("butterfly_wing", 256, 256, wing));
    int checked = 0;
    for (int y = 1; y + 1 < wing.height; ++y)
        for (int x = 1; x + 1 < wing.width; ++x) {
            if (wing.AlphaAt(x, y) != 0) continue;
            int r = 0, g = 0, b = 0, n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (wing.AlphaAt(x + dx, y + dy) != 0) {
                        r += wing.At(x + dx, y + dy).r;
                        g += wing.At(x + dx, y + dy).g;
                        b += wing.At(x + dx, y + dy).b;
                        ++n;
                    }
            if (n == 0) continue;
            const Rgb c = wing.At(x, y);
            EXPECT_NEAR(c.r, r / n, 8) << x << "," << y;
            EXPECT_NEAR(c.g, g / n, 8) << x << "," << y;
            EXPECT_NEAR(c.b, b / n, 8) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 100);

    // The white spots of the margin stay inside its dark rim: drawn at a
    // fifth of its size or less the rim is a pixel or so, and a spot within
    // 4 texels of the clear outside shows as a white pixel on the edge.
    int white = 0;
    for (int y = 0; y < wing.height; ++y)
        for (int x = 0; x < wing.width; ++x) {
            const Rgb c = wing.At(x, y);
            if (wing.AlphaAt(x, y) == 0 || std::min({c.r, c.g, c.b}) < 200) continue;
            ++white;
            for (int dy = -4; dy <= 4; ++dy)
                for (int dx = -4; dx <= 4; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < wing.width && ny < wing.height) {
                        ASSERT_NE(wing.AlphaAt(nx, ny), 0) << "a white texel at " << x << "," << y << " by the edge";
                    }
                }
        }
    EXPECT_GT(white, 0) << "the margin has its spots";
}
