#include "tools/scene_builder/sprite_builder.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "scene/sprites/fish.h"
#include "scene/sprites/flow.h"
#include "scene/sprites/fog.h"
#include "scene/sprites/god_ray.h"
#include "scene/sprites/grass.h"
#include "scene/sprites/lighting.h"
#include "scene/sprites/sparkle.h"
#include "scene/sprites/stat_obj.h"

namespace tessaloom::scene_builder {
namespace {

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

struct Kind {
    std::string name;
    std::function<DS_BaseSpriteProp*()> make;
    std::set<std::string> keys;  // beyond the common ones
};

const std::set<std::string>& CommonKeys() {
    static const std::set<std::string> keys = {"image", "mask",  "count", "size",  "transparency", "additive",
                                               "speed", "color", "sizes", "pulse", "area",         "sheet",
                                               "flipx", "flipy"};
    return keys;
}

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"fish", [] { return new DS_FishConstructor; }, {"range"}},
        {"bird", [] { return new DS_BirdConstructor; }, {"range"}},
        {"ghost", [] { return new DS_GhostConstructor; }, {"range"}},
        {"fog", [] { return new DS_FogConstructor; }, {"range"}},
        {"sparkle", [] { return new DS_SparkleConstructor; }, {}},
        {"godray", [] { return new DS_GodRayConstructor; }, {"angle"}},
        {"lightning", [] { return new DS_LightingConstructor; }, {}},
        {"grass", [] { return new DS_GrassConstructor; }, {"amplitude"}},
        {"flow", [] { return new DS_FlowConstructor; }, {"angle", "sway", "flowspeed", "orientation"}},
        {"rain", [] { return new DS_RainConstructor; }, {"angle", "sway", "flowspeed", "orientation"}},
        {"still", [] { return new DS_StatObjConstructor; }, {"at", "rotation"}},
        {"flower", [] { return new DS_FlowerConstructor; }, {"at", "rotation", "amplitude"}},
        {"discharge", [] { return new DS_DischargeConstructor; }, {"at", "rotation"}},
    };
    return kinds;
}

const Kind* FindKind(const std::string& name) {
    for (const Kind& k : Kinds())
        if (k.name == name) return &k;
    return nullptr;
}

// Comma-separated decimal numbers, exactly `n` of them.
bool Numbers(const std::string& text, size_t n, std::vector<float>& out) {
    out.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        const float v = std::strtof(item.c_str(), &end);
        if (item.empty() || *end != '\0') return false;
        out.push_back(v);
    }
    return out.size() == n;
}

bool Whole(const std::string& text, unsigned& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = static_cast<unsigned>(std::stoul(text));
    return true;
}

}  // namespace

const std::vector<std::string>& SpriteKindNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Kind& k : Kinds()) n.push_back(k.name);
        return n;
    }();
    return names;
}

bool ParseSpriteStatement(const std::vector<std::string>& words, SpriteSpec& spec, std::string* error) {
    if (words.empty()) return Fail(error, "expected: sprites KIND KEY=VALUE...");
    const Kind* kind = FindKind(words[0]);
    if (!kind) return Fail(error, "no sprite kind named '" + words[0] + "'");
    SpriteSpec result;
    result.kind = words[0];
    for (size_t i = 1; i < words.size(); ++i) {
        const size_t eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == words[i].size())
            return Fail(error, "'" + words[i] + "' is not KEY=VALUE");
        const std::string key = words[i].substr(0, eq);
        if (!CommonKeys().count(key) && !kind->keys.count(key))
            return Fail(error, "a " + kind->name + " population has no key '" + key + "'");
        result.values.emplace_back(key, words[i].substr(eq + 1));
    }
    spec = std::move(result);
    return true;
}

DS_BaseSpriteProp* MakeSpriteDescription(const SpriteSpec& spec, const std::map<std::string, DS_LinkKey>& pictures,
                                         std::string* error) {
    const Kind* kind = FindKind(spec.kind);
    if (!kind) {
        Fail(error, "no sprite kind named '" + spec.kind + "'");
        return nullptr;
    }
    std::unique_ptr<DS_BaseSpriteProp> d(kind->make());
    auto* fish = dynamic_cast<DS_FishConstructor*>(d.get());
    auto* fog = dynamic_cast<DS_FogConstructor*>(d.get());
    auto* ray = dynamic_cast<DS_GodRayConstructor*>(d.get());
    auto* grass = dynamic_cast<DS_GrassConstructor*>(d.get());
    auto* flow = dynamic_cast<DS_FlowConstructor*>(d.get());
    auto* placed = dynamic_cast<DS_StatObjConstructor*>(d.get());
    auto* flower = dynamic_cast<DS_FlowerConstructor*>(d.get());
    for (const auto& [key, value] : spec.values) {
        const std::string where = spec.kind + " " + key + "=" + value + ": ";
        std::vector<float> f;
        unsigned u = 0;
        auto bad = [&](const std::string& what) {
            Fail(error, where + what);
            return nullptr;
        };
        if (key == "image" || key == "mask") {
            DS_ImageFileLink& link = key == "image" ? d->image : d->mask;
            if (key == "image" && value.rfind("module:", 0) == 0) {
                if (!Whole(value.substr(7), u)) return bad("expected module:NUMBER");
                link.ConstructFromResource(static_cast<INT>(u), u"common_res.dll");
                d->imageSetMode = 1;
            } else {
                const auto it = pictures.find(value);
                if (it == pictures.end()) return bad("no picture named '" + value + "'");
                link.key = it->second;
            }
        } else if (key == "color") {
            char* end = nullptr;
            const unsigned long rgb = std::strtoul(value.c_str(), &end, 16);
            if (value.size() != 6 || *end != '\0') return bad("expected RRGGBB");
            d->color.value = static_cast<DWORD>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
        } else if (key == "sizes" || key == "range" || key == "sway" || key == "at" || key == "sheet") {
            if (!Numbers(value, 2, f)) return bad("expected two numbers");
            if (key == "sizes") d->sizeMin = f[0], d->sizeMax = f[1];
            else if (key == "range" && fish) fish->rangeX = f[0], fish->rangeY = f[1];
            else if (key == "range" && fog) fog->rangeX = f[0], fog->rangeY = f[1];
            else if (key == "sway") {
                flow->swayAmount.SetValue(static_cast<UINT>(f[0]));
                flow->swayRate.SetValue(static_cast<UINT>(f[1]));
            } else if (key == "at") {
                placed->placement.x.value = static_cast<int>(f[0]);
                placed->placement.y.value = static_cast<int>(f[1]);
            } else if (key == "sheet") {
                d->sheetOn = true;
                d->sheetFrames = static_cast<unsigned>(f[0]);
                d->sheetRate = f[1];
            }
        } else if (key == "pulse") {
            if (!Numbers(value, 3, f)) return bad("expected three numbers");
            d->pulseSpeed = f[0], d->pulseMin = f[1], d->pulseMax = f[2];
        } else if (key == "area") {
            if (!Numbers(value, 4, f)) return bad("expected four fractions");
            d->leftFraction = f[0], d->rightFraction = f[1], d->topFraction = f[2], d->bottomFraction = f[3];
        } else if (key == "amplitude" || key == "flowspeed") {
            if (!Numbers(value, 1, f)) return bad("expected a number");
            if (key == "flowspeed") {
                flow->speed = f[0];
                flow->SetAngle(flow->angle.value);
            } else if (flower) flower->amplitude = f[0];
            else grass->amplitude = f[0];
        } else {
            if (!Whole(value, u)) return bad("expected a whole number");
            if (key == "count") d->count.value = u;
            else if (key == "size") d->size.value = u;
            else if (key == "transparency") d->transparency.SetValue(u);
            else if (key == "additive") d->additive.value = static_cast<int>(u);
            else if (key == "speed") d->speed.value = u;
            else if (key == "flipx") d->flipHorizontal.value = static_cast<int>(u);
            else if (key == "flipy") d->flipVertical.value = static_cast<int>(u);
            else if (key == "orientation") flow->orientation.value = static_cast<int>(u);
            else if (key == "rotation") placed->rotation.value = u;
            else if (key == "angle" && ray) ray->angle.value = u;
            else if (key == "angle") flow->angle.SetValue(u);
        }
    }
    return d.release();
}

}  // namespace tessaloom::scene_builder
