// tessaloom-scene-builder: scene documents and demo pictures from code.
//
//   tessaloom-scene-builder -o scene.dds SCENE_SOURCE
//       the scene document described by SCENE_SOURCE (see scene_builder.h)
//   tessaloom-scene-builder --paint PAINTER WIDTHxHEIGHT OUT.tga
//       one picture, for the resource module
//   tessaloom-scene-builder --paint-sprite PAINTER WIDTHxHEIGHT OUT.tga
//       one sprite picture with alpha
//   tessaloom-scene-builder --paint-set NAME WIDTHxHEIGHT OUT
//       a picture set of sprite frames with their delays, for the resource module
//   tessaloom-scene-builder --paint-effect NAME WIDTHxHEIGHT OUT.tga
//       one picture of the shader effects, for the resource module (effect_builder.h)
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/scene_builder/scene_builder.h"
#include "tools/scene_builder/sprite_pictures.h"

namespace {

using namespace tessaloom::scene_builder;

int Usage() {
    std::fprintf(stderr,
                 "usage: tessaloom-scene-builder -o DOCUMENT SCENE_SOURCE\n"
                 "       tessaloom-scene-builder --paint PAINTER WIDTHxHEIGHT OUT.tga\n"
                 "       tessaloom-scene-builder --paint-sprite PAINTER WIDTHxHEIGHT OUT.tga\n"
                 "       tessaloom-scene-builder --paint-set NAME WIDTHxHEIGHT OUT\n"
                 "       tessaloom-scene-builder --paint-effect NAME WIDTHxHEIGHT OUT.tga\n");
    return 2;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "tessaloom-scene-builder: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

int Paint(const std::string& mode, const std::string& painter, const std::string& size, const std::string& output) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    std::istringstream in(size);
    if (!(in >> w >> x >> h) || x != 'x' || (in >> extra)) return Usage();
    PictureSpec spec{"picture", painter, w, h, mode == "--paint-sprite"};
    std::vector<uint8_t> tga = mode == "--paint-set"      ? BuildSpriteSet(painter, w, h)
                               : mode == "--paint-effect" ? PaintEffectPicture(painter, w, h)
                                                          : PaintPicture(spec);
    if (tga.empty()) {
        std::fprintf(stderr, "tessaloom-scene-builder: no painter '%s' for %dx%d\n", painter.c_str(), w, h);
        return 1;
    }
    return WriteFile(output, tga) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && (args[0] == "--paint" || args[0] == "--paint-sprite" || args[0] == "--paint-set" ||
                             args[0] == "--paint-effect"))
        return Paint(args[0], args[1], args[2], args[3]);
    if (args.size() != 3 || args[0] != "-o") return Usage();
    std::ifstream in(args[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tessaloom-scene-builder: cannot read %s\n", args[2].c_str());
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    SceneSpec scene;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ParseScene(text.str(), scene, &error)) {
        std::fprintf(stderr, "%s: %s\n", args[2].c_str(), error.c_str());
        return 1;
    }
    const size_t slash = args[2].find_last_of('/');
    scene.folder = slash == std::string::npos ? "." : args[2].substr(0, slash);
    if (!BuildDocument(scene, bytes, &error)) {
        std::fprintf(stderr, "tessaloom-scene-builder: %s\n", error.c_str());
        return 1;
    }
    if (!WriteFile(args[1], bytes)) return 1;
    std::printf("%s: %zu slides, %zu pictures, %zu bytes\n", args[1].c_str(), scene.slides.size(),
                scene.pictures.size(), bytes.size());
    return 0;
}
