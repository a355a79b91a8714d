#include "tools/scene_builder/scene_builder.h"

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "document/archive_writer.h"
#include "document/file_link.h"
#include "document/res_manager.h"
#include "document/sound_item.h"
#include "layers/flame_light.h"
#include "scene/objects3d/butterfly.h"
#include "scene/objects3d/clock.h"
#include "scene/objects3d/falling_pieces.h"
#include "scene/slide_show.h"
#include "scene/sprites/base_sprite_prop.h"
#include "tools/scene_builder/lake_builder.h"
#include "tools/scene_builder/rings_builder.h"
#include "tools/scene_builder/sprite_pictures.h"

namespace tessaloom::scene_builder {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool ParseUnsigned(const std::string& word, unsigned& out) {
    if (word.empty() || word.size() > 9) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    out = static_cast<unsigned>(std::stoul(word));
    return true;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

bool ParseScene(const std::string& text, SceneSpec& scene, std::string* error) {
    SceneSpec result;
    std::set<std::string> ids;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        if (keyword == "header") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r')) rest.pop_back();
            for (char c : rest)
                if (static_cast<unsigned char>(c) >= 0x80) return Fail(error, where + "the header must be ASCII");
            result.header = rest;
        } else if (keyword == "picture" || keyword == "sprite") {
            PictureSpec p;
            p.withAlpha = keyword == "sprite";
            std::string w, h, extra;
            unsigned uw = 0, uh = 0;
            if (!(words >> p.id >> p.painter >> w >> h) || (words >> extra))
                return Fail(error, where + "expected: " + keyword + " ID PAINTER WIDTH HEIGHT");
            if (!ParseUnsigned(w, uw) || !ParseUnsigned(h, uh) || uw < 1 || uh < 2 || uw > 8192 || uh > 8192)
                return Fail(error, where + "picture sizes are whole numbers from 1x2 to 8192x8192");
            p.width = static_cast<int>(uw);
            p.height = static_cast<int>(uh);
            bool known = false;
            for (const auto& n : p.withAlpha ? SpritePictureNames() : PictureNames()) known = known || n == p.painter;
            for (const auto& n : RingsPictureNames()) known = known || (!p.withAlpha && n == p.painter);
            if (!known) return Fail(error, where + "no painter named '" + p.painter + "'");
            if (!ids.insert(p.id).second) return Fail(error, where + "picture '" + p.id + "' is defined twice");
            result.pictures.push_back(p);
        } else if (keyword == "slide") {
            SlideSpec s;
            std::string v[5], extra;
            if (!(words >> s.name >> s.picture >> v[0] >> v[1] >> v[2] >> v[3] >> v[4]))
                return Fail(error, where + "expected: slide NAME PICTURE FADE_IN HOLD FADE_OUT ZOOM SPEED [LAYER]");
            if (words >> s.layer && (words >> extra))
                return Fail(error, where + "expected: slide NAME PICTURE FADE_IN HOLD FADE_OUT ZOOM SPEED [LAYER]");
            if (s.layer != "picture" && s.layer != "flame" && s.layer != kGlassBallLayer && !IsWaterLayerName(s.layer) &&
                !IsRingsLayer(s.layer))
                return Fail(error, where + "no layer named '" + s.layer +
                                       "' (picture, flame, glassball, lake, underwater, rings or rings-over)");
            unsigned* fields[5] = {&s.fadeIn, &s.hold, &s.fadeOut, &s.zoom, &s.speed};
            for (int i = 0; i < 5; ++i)
                if (!ParseUnsigned(v[i], *fields[i])) return Fail(error, where + "'" + v[i] + "' is not a whole number");
            if (!ids.count(s.picture)) return Fail(error, where + "no picture named '" + s.picture + "'");
            result.slides.push_back(s);
        } else if (keyword == "butterflies" || keyword == "clock" || keyword == "leaves") {
            ObjectSpec o;
            size_t numbers = 0;
            std::string usage;
            if (keyword == "butterflies") {
                o.kind = ObjectKind::kButterflies;
                numbers = 5;
                usage = "butterflies COUNT WING_PICTURE LEFT TOP RIGHT BOTTOM";
            } else if (keyword == "clock") {
                o.kind = ObjectKind::kClock;
                numbers = 3;
                usage = "clock X Y SIZE";
            } else {
                o.kind = ObjectKind::kLeaves;
                numbers = 7;
                usage = "leaves COUNT PICTURE MESH SIZE SPEED DEVIATION CHANGE TUMBLE ANGLE";
            }
            std::vector<std::string> v;
            for (std::string word; words >> word;) v.push_back(word);
            const size_t names = o.kind == ObjectKind::kButterflies ? 1 : o.kind == ObjectKind::kLeaves ? 2 : 0;
            if (v.size() != numbers + names) return Fail(error, where + "expected: " + usage);
            // The names follow the first number (the count) where there is one.
            size_t at = 0;
            auto number = [&](const std::string& word) {
                unsigned n = 0;
                if (!ParseUnsigned(word, n)) return false;
                o.values.push_back(n);
                return true;
            };
            if (names > 0) {
                if (!number(v[at++])) return Fail(error, where + "'" + v[0] + "' is not a whole number");
                o.picture = v[at++];
                if (names > 1) o.mesh = v[at++];
            }
            for (; at < v.size(); ++at)
                if (!number(v[at])) return Fail(error, where + "'" + v[at] + "' is not a whole number");
            if (names > 0 && !ids.count(o.picture)) return Fail(error, where + "no picture named '" + o.picture + "'");
            if (o.kind == ObjectKind::kButterflies &&
                (o.values[1] >= o.values[3] || o.values[2] >= o.values[4] || o.values[3] > 100 || o.values[4] > 100))
                return Fail(error, where + "the area is LEFT < RIGHT and TOP < BOTTOM, in percent");
            if (result.slides.empty()) return Fail(error, where + "an object needs a slide before it");
            o.slide = result.slides.size() - 1;
            result.objects.push_back(o);
        } else if (keyword == kGlassBallLayer) {
            if (result.slides.empty() || result.slides.back().layer != kGlassBallLayer)
                return Fail(error, where + "a glassball statement follows a glassball slide");
            std::vector<std::string> rest;
            for (std::string w; words >> w;) rest.push_back(w);
            std::string why;
            if (!ParseGlassBallStatement(rest, result.slides.back().glassBall, &why)) return Fail(error, where + why);
        } else if (keyword == "glyphs") {
            if (result.slides.empty()) return Fail(error, where + "glyphs belong to a slide: put a slide first");
            std::vector<std::string> rest;
            for (std::string w; words >> w;) rest.push_back(w);
            std::string why;
            if (!ParseGlyphStatement(rest, result.slides.back().glyphs, &why)) return Fail(error, where + why);
            result.slides.back().layer = "glyphs";
        } else if (keyword == "sprites") {
            if (result.slides.empty()) return Fail(error, where + "sprites belong to a slide: put a slide first");
            std::vector<std::string> rest;
            for (std::string w; words >> w;) rest.push_back(w);
            SpriteSpec sprite;
            std::string why;
            if (!ParseSpriteStatement(rest, sprite, &why)) return Fail(error, where + why);
            result.slides.back().sprites.push_back(sprite);
        } else if (keyword == "mask" || keyword == "sequence" || keyword == "effect") {
            std::string message;
            bool ok = false;
            if (keyword == "mask") {
                MaskSpec m;
                ok = ParseMask(words, m, &message);
                if (ok && !ids.insert(m.id).second) return Fail(error, where + "'" + m.id + "' is defined twice");
                if (ok) result.masks.push_back(m);
            } else if (keyword == "sequence") {
                SequenceSpec q;
                ok = ParseSequence(words, q, &message);
                if (ok && !ids.insert(q.id).second) return Fail(error, where + "'" + q.id + "' is defined twice");
                if (ok) result.sequences.push_back(q);
            } else {
                EffectSpec e;
                ok = ParseEffect(words, e, &message);
                if (ok && result.slides.empty()) return Fail(error, where + "an effect belongs to a slide above it");
                if (ok) result.slides.back().effects.push_back(e);
            }
            if (!ok) return Fail(error, where + message);
        } else if (keyword == "sound") {
            std::vector<std::string> rest;
            for (std::string w; words >> w;) rest.push_back(w);
            SoundSpec sound;
            std::string why;
            if (!ParseSoundStatement(rest, sound, &why)) return Fail(error, where + why);
            result.sounds.push_back(sound);
        } else {
            return Fail(error, where + "unknown statement '" + keyword + "'");
        }
    }
    if (result.slides.empty()) return Fail(error, "the scene has no slide");
    scene = std::move(result);
    return true;
}

namespace {

// The description an object statement asks for, over a picture of the given
// size (the areas are kept both as fractions and as pixels).
DS_ABObj_Constructor* MakeObject(const SceneSpec& scene, const ObjectSpec& o, const std::map<std::string, DS_LinkKey>& keys,
                                 const std::map<std::string, std::vector<uint8_t>>& tgas, int width, int height,
                                 std::string* error) {
    if (o.kind == ObjectKind::kButterflies) {
        auto* d = new DS_ButterflyConstructor;
        d->name = u"Butterflies";
        d->count.Assign(o.values[0]);
        d->textureLink.key = keys.at(o.picture);
        d->leftFraction = o.values[1] / 100.0f;
        d->topFraction = o.values[2] / 100.0f;
        d->rightFraction = o.values[3] / 100.0f;
        d->bottomFraction = o.values[4] / 100.0f;
        d->area.left.value = static_cast<int>(d->leftFraction * width);
        d->area.top.value = static_cast<int>(d->topFraction * height);
        d->area.right.value = static_cast<int>(d->rightFraction * width);
        d->area.bottom.value = static_cast<int>(d->bottomFraction * height);
        return d;
    }
    if (o.kind == ObjectKind::kClock) {
        auto* d = new DS_ClockConstructor;
        d->name = u"Clock";
        const int x = static_cast<int>(o.values[0]), y = static_cast<int>(o.values[1]);
        const int half = static_cast<int>(o.values[2] / 2);
        d->size.Assign(o.values[2]);
        d->clockRect.x.value = x;
        d->clockRect.y.value = y;
        d->clockRect.left.value = x - half;
        d->clockRect.right.value = x + half;
        d->clockRect.top.value = y - half;
        d->clockRect.bottom.value = y + half;
        return d;
    }
    const std::string path = o.mesh.empty() || o.mesh[0] == '/' ? o.mesh : scene.folder + "/" + o.mesh;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> mesh((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (mesh.empty()) {
        Fail(error, "cannot read the mesh file " + path);
        return nullptr;
    }
    auto* d = new DS_3D_in_2D_array_Constructor;
    d->name = u"Leaves";
    d->count.Assign(o.values[0]);
    std::string file = o.mesh.substr(o.mesh.find_last_of('/') + 1);
    d->meshFile.path = u"C:\\Tessaloom\\Meshes\\" + Widen(file);
    d->meshFile.SetBytes(static_cast<DWORD>(mesh.size()), mesh.data());
    const std::vector<uint8_t>& tga = tgas.at(o.picture);
    d->imageFile.path = keys.at(o.picture).path;
    d->imageFile.SetBytes(static_cast<DWORD>(tga.size()), tga.data());
    d->motion.size.Assign(o.values[1]);
    d->motion.speed.Assign(o.values[2]);
    d->motion.deviation.Assign(o.values[3]);
    d->motion.deviationRate.Assign(o.values[4]);
    d->motion.tumbleSpeed.Assign(o.values[5]);
    d->motion.direction.SetAngle(o.values[6]);
    return d;
}

}  // namespace

std::vector<uint8_t> PaintPicture(const PictureSpec& spec) {
    if (spec.withAlpha) {
        PictureRgba sprite;
        if (!PaintSprite(spec.painter, spec.width, spec.height, 0, sprite)) return {};
        return EncodeTga32(sprite);
    }
    Picture picture;
    if (!PaintNamed(spec.painter, spec.width, spec.height, picture) &&
        !PaintRingsPicture(spec.painter, spec.width, spec.height, picture))
        return {};
    return EncodeTga(picture);
}

std::u16string PicturePath(const PictureSpec& spec) {
    return (spec.withAlpha ? u"C:\\Tessaloom\\Sprites\\" : u"C:\\Tessaloom\\Pictures\\") + Widen(spec.id) + u".tga";
}

// 2026-01-01 00:00 UTC as a Windows file time, one second apart per picture.
int64_t PictureStamp(size_t index) { return 134116128000000000LL + static_cast<int64_t>(index) * 10000000LL; }

bool BuildDocument(const SceneSpec& scene, std::vector<uint8_t>& bytes, std::string* error) {
    if (scene.slides.empty()) return Fail(error, "the scene has no slide");
    // The manager whose tables the section is written from.  It is not made
    // the current link store: the pictures travel as saved images only.
    DS_DocResManager manager;
    std::map<std::string, DS_LinkKey> keys;
    std::map<std::string, std::vector<uint8_t>> tgas;
    std::map<std::string, const PictureSpec*> specs;
    for (size_t i = 0; i < scene.pictures.size(); ++i) {
        const PictureSpec& spec = scene.pictures[i];
        specs[spec.id] = &spec;
        std::vector<uint8_t>& tga = tgas[spec.id];
        tga = PaintPicture(spec);
        if (tga.empty()) return Fail(error, "picture '" + spec.id + "' cannot be painted");
        DS_ResFileData record;
        record.path = PicturePath(spec);
        record.SetBytes(static_cast<DWORD>(tga.size()), tga.data());
        const DS_LinkKey key{record.path, PictureStamp(i)};
        manager.Tables().savedImages[key] = {record};
        manager.Tables().allFiles[key] = {record};
        keys[spec.id] = key;
    }

    EffectDocument effects(scene.masks, scene.sequences);
    if (!effects.AddResources(manager, error)) return false;

    DS_SlideShow_Light root;
    for (const SlideSpec& s : scene.slides) {
        auto* slide = new DS_SlideContainer;
        root.slides.emplace_back(slide);
        slide->fadeIn.value = s.fadeIn;
        slide->hold.value = s.hold;
        slide->fadeOut.value = s.fadeOut;
        slide->name.value = Widen(s.name);
        DS_2D_Light* layer = nullptr;
        if (s.layer == "flame") {
            auto* flame = new DS_FlameLight;
            // A fixed identity for the fire's (unpainted) mask keeps the
            // document the same from build to build.
            flame->fire.maskGuid = GUID{0x7f1a3e00u + static_cast<uint32_t>(root.slides.size()), 0x4d2c, 0x4b1e,
                                        {0x9a, 0x51, 0x46, 0x6c, 0x61, 0x6d, 0x65, 0x00}};
            layer = flame;
        } else if (IsWaterLayerName(s.layer)) {
            layer = MakeWaterLayer(s.layer, manager, root.slides.size());
        } else if (s.layer == kGlassBallLayer) {
            std::string why;
            layer = MakeGlassBallLayer(s.glassBall, keys, &why);
            if (!layer) return Fail(error, "slide '" + s.name + "': " + why);
        } else if (IsRingsLayer(s.layer)) {
            layer = MakeRingsLayer(s.layer);
        } else if (s.layer == "glyphs") {
            layer = MakeGlyphLayer(s.glyphs);
        } else {
            layer = new DS_2D_Light;
        }
        slide->mainLayer = DS_CountedPtr<DS_2D_Light>(layer);
        layer->pictureLink.key = keys.at(s.picture);
        layer->camera.enabled.value = s.zoom != 0 ? 1 : 0;
        layer->camera.zoom.SetValue(s.zoom != 0 ? s.zoom : 100);
        layer->camera.speed.SetValue(s.speed);
        for (const SpriteSpec& sprite : s.sprites) {
            std::string why;
            DS_BaseSpriteProp* description = MakeSpriteDescription(sprite, keys, &why);
            if (!description) return Fail(error, "slide '" + s.name + "': " + why);
            slide->prototypes.push_back(description);
        }
        if (!effects.AddEffects(s.effects, *slide, error)) return false;
    }
    for (const ObjectSpec& o : scene.objects) {
        const PictureSpec& backdrop = *specs.at(scene.slides[o.slide].picture);
        DS_ABObj_Constructor* d = MakeObject(scene, o, keys, tgas, backdrop.width, backdrop.height, error);
        if (!d) return false;
        root.slides[o.slide]->prototypes.push_back(d);
    }

    for (const SoundSpec& sound : scene.sounds) {
        DS_AudioFile* item = MakeSoundItem(sound, error);
        if (!item) return false;
        root.sounds.emplace_back(item);
    }

    DS_IOF_W archive;
    archive.WriteString(Widen(scene.header));
    root.Write(archive);
    manager.Write(archive);
    bytes = archive.TakeBytes();
    return true;
}


}  // namespace tessaloom::scene_builder
