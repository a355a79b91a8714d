// The decoders' fuzz seeds (tests/fuzz/corpus/<decoder>/): every seed named
// bad_* is refused, every other one decodes. The seeds are written by this
// file's writers: run with TESSALOOM_WRITE_FUZZ_SEEDS=1 to write them again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/d3dx9/image.h"
#include "tests/platform/d3dx9_image_files.h"

using namespace tessaloom::d3dx;
using testimg::Bytes;

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(TESSALOOM_TEST_DATA) / "fuzz" / "corpus";

std::map<std::string, Bytes> Seeds(const std::string& decoder) {
    using testimg::PngKind;
    const std::vector<uint32_t> palette = {0xFF102030, 0xFFFF0000, 0x8000FF00, 0xFF0000FF, 0xFFFFFFFF};
    const testimg::Picture small = testimg::Gradient(9, 5);
    const testimg::Picture mapped = testimg::FewColours(9, 5, palette);
    testimg::Picture runs{12, 4, {}};
    for (uint32_t i = 0; i < 48; ++i) runs.argb.push_back(palette[(i / 5) % palette.size()]);
    std::map<std::string, Bytes> s;
    if (decoder == "tga") {
        s["tc32_bottom_up.tga"] = testimg::WriteTga(small, {2, false, 32, 8, false, false});
        s["tc32_top_right.tga"] = testimg::WriteTga(small, {2, false, 32, 8, true, true});
        s["tc24_top_down.tga"] = testimg::WriteTga(small, {2, false, 24, 0, true, false});
        s["tc16.tga"] = testimg::WriteTga(small, {2, false, 16, 1, false, false});
        s["tc15.tga"] = testimg::WriteTga(small, {2, false, 15, 0, false, false});
        s["rle32.tga"] = testimg::WriteTga(runs, {2, true, 32, 8, false, false});
        s["rle24.tga"] = testimg::WriteTga(runs, {2, true, 24, 0, true, false});
        s["rle16.tga"] = testimg::WriteTga(runs, {2, true, 16, 1, false, false});
        s["cm24.tga"] = testimg::WriteTga(mapped, {1, false, 24, 0, false, false}, palette);
        s["cm32_rle.tga"] = testimg::WriteTga(runs, {1, true, 32, 8, false, false, 2}, palette);
        s["cm15.tga"] = testimg::WriteTga(mapped, {1, false, 15, 0, true, false}, palette);
        s["grey.tga"] = testimg::WriteTga(small, {3, false, 8, 0, false, false});
        s["grey_rle.tga"] = testimg::WriteTga(runs, {3, true, 8, 0, false, false});
        Bytes bad = testimg::WriteTga(runs, {2, true, 24, 0, false, false});
        bad[27] = 0xff;  // a run of 128 pixels in a picture of 48
        s["bad_run_overflow.tga"] = bad;
    } else if (decoder == "bmp") {
        s["bits1.bmp"] = testimg::WriteBmp(testimg::FewColours(9, 5, {0xFF000000, 0xFFFFFFFF}), {1},
                                           {0xFF000000, 0xFFFFFFFF});
        s["bits4.bmp"] = testimg::WriteBmp(mapped, {4}, palette);
        s["bits8_top_down.bmp"] = testimg::WriteBmp(mapped, {8, true}, palette);
        s["bits8_core.bmp"] = testimg::WriteBmp(mapped, {8, false, false, false, false, true}, palette);
        s["rle8.bmp"] = testimg::WriteBmp(mapped, {8, false, false, false, true}, palette);
        s["rle4.bmp"] = testimg::Rle4Sample();
        s["bits16.bmp"] = testimg::WriteBmp(small, {16});
        s["bits16_565.bmp"] = testimg::WriteBmp(small, {16, true, true});
        s["bits24.bmp"] = testimg::WriteBmp(small, {24});
        s["bits32.bmp"] = testimg::WriteBmp(small, {32});
        s["bits32_alpha.bmp"] = testimg::WriteBmp(small, {32, false, false, true});
        Bytes bad = testimg::WriteBmp(mapped, {8}, palette);
        bad[bad.size() - 4] = 250;  // the last pixel of a 12-byte row: an index past the palette
        s["bad_index.bmp"] = bad;
    } else if (decoder == "dds") {
        s["a8r8g8b8_mips.dds"] = testimg::WriteDds(testimg::Gradient(8, 4), D3DFMT_A8R8G8B8, 4);
        s["x8r8g8b8.dds"] = testimg::WriteDds(small, D3DFMT_X8R8G8B8);
        s["r8g8b8.dds"] = testimg::WriteDds(small, D3DFMT_R8G8B8);
        s["r5g6b5.dds"] = testimg::WriteDds(small, D3DFMT_R5G6B5);
        s["a1r5g5b5.dds"] = testimg::WriteDds(small, D3DFMT_A1R5G5B5);
        s["a8.dds"] = testimg::WriteDds(small, D3DFMT_A8);
        s["l8.dds"] = testimg::WriteDds(small, D3DFMT_L8);
        s["v8u8.dds"] = testimg::WriteDds(small, D3DFMT_V8U8);
        s["v16u16.dds"] = testimg::WriteDds(small, D3DFMT_V16U16);
        Bytes blocks;
        for (int i = 0; i < 6; ++i)
            for (uint8_t b : {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, 0xB1}) blocks.push_back(b);
        s["dxt1.dds"] = testimg::WriteDxt(9, 5, D3DFMT_DXT1, blocks);
        Bytes blocks16;
        for (int i = 0; i < 6; ++i)
            for (uint8_t b : {0xFF, 0x00, 0x88, 0xC6, 0xFA, 0x05, 0x91, 0x24, 0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x1B,
                              0x4E, 0xB1})
                blocks16.push_back(b);
        s["dxt3.dds"] = testimg::WriteDxt(9, 5, D3DFMT_DXT3, blocks16);
        s["dxt5.dds"] = testimg::WriteDxt(9, 5, D3DFMT_DXT5, blocks16);
        Bytes bad = testimg::WriteDds(small, D3DFMT_X8R8G8B8);
        bad.resize(bad.size() - 1);
        s["bad_truncated.dds"] = bad;
    } else if (decoder == "png") {
        s["grey.png"] = testimg::WritePng(small, PngKind::Grey);
        s["grey16.png"] = testimg::WritePng(small, PngKind::Grey16);
        s["grey_alpha.png"] = testimg::WritePng(small, PngKind::GreyAlpha);
        s["rgb.png"] = testimg::WritePng(small, PngKind::Rgb);
        s["rgb16_interlaced.png"] = testimg::WritePng(small, PngKind::Rgb16Interlaced);
        s["rgba.png"] = testimg::WritePng(small, PngKind::Rgba);
        s["palette.png"] = testimg::WritePng(mapped, PngKind::Palette);
        s["palette_trns.png"] = testimg::WritePng(mapped, PngKind::PaletteTrns);
    } else if (decoder == "jpeg") {
        testimg::Picture opaque = testimg::Gradient(17, 9, false);
        s["baseline.jpg"] = testimg::WriteJpeg(opaque, false);
        s["progressive.jpg"] = testimg::WriteJpeg(opaque, false, true);
        s["grey.jpg"] = testimg::WriteJpeg(opaque, true);
    }
    return s;
}

DecodeFn DecoderOf(const std::string& name) {
    if (name == "tga") return DecodeTga;
    if (name == "bmp") return DecodeBmp;
    if (name == "dds") return DecodeDds;
    if (name == "png") return DecodePng;
    return DecodeJpeg;
}

}  // namespace

TEST(D3DXImageSeeds, CommittedSeedsDecodeOrFailAsNamed) {
    const char* write = std::getenv("TESSALOOM_WRITE_FUZZ_SEEDS");
    for (const std::string decoder : {"tga", "bmp", "dds", "png", "jpeg"}) {
        SCOPED_TRACE(decoder);
        const fs::path dir = kCorpus / decoder;
        if (write && std::string(write) == "1") {
            fs::create_directories(dir);
            for (const auto& [name, bytes] : Seeds(decoder)) {
                std::ofstream out(dir / name, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            }
        }
        ASSERT_TRUE(fs::is_directory(dir)) << dir;
        int count = 0;
        for (const auto& entry : fs::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const std::string name = entry.path().filename().string();
            DecodedImage image;
            D3DXIMAGE_INFO info{};
            HRESULT hr = DecoderOf(decoder)(bytes.data(), bytes.size(), &info, &image);
            if (name.rfind("bad_", 0) == 0) EXPECT_TRUE(FAILED(hr)) << name;
            else EXPECT_EQ(S_OK, hr) << name;
            ++count;
        }
        EXPECT_GT(count, 0);
    }
}
