// Hostile grid sizes in layer records: the glyph rain's cell size and change
// count and the water rings' grid factors are brought within what a frame
// can show, and each reduction is said once on stderr however often the
// grids are rebuilt.  The records are written field by field in the
// document's own layout and read through the layer registry.
#include <gtest/gtest.h>

#include <string>

#include "layers/matrix_code_light.h"
#include "layers/ripple_mesh.h"
#include "layers/water_ring_light.h"
#include "scene/population_budget.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::ReadLayerAs;
using tessaloom::testing::RecordBytes;

void WriteLink(DS_IOF_W& w, const std::u16string& path, INT64 stamp) {
    w.WriteString(path);
    w.WriteInt64(stamp);
}

// The layer base over module picture 5, with the camera off.
void WriteLayerBase(DS_IOF_W& w) {
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    WriteLink(w, u"common_res.dll", 5);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(0);
    w.WriteUInt(120);
    w.WriteUInt(30);
}

std::vector<BYTE> GlyphRainRecord(UINT cellSize, UINT changeCount) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_MatrixCodeLight", 2);
        w.WriteUInt(cellSize);
        w.WriteUInt(20);  // density
        w.WriteUInt(changeCount);
        w.WriteLong(1);   // flicker
        w.WriteLong(0);   // background: the picture
        w.WriteLong(2);   // mode
        w.WriteInt(0x0000FF00);
        w.WriteInt(0x00FFFFFF);
        w.WriteUInt(0);   // transparency
        WriteLink(w, u"common_res.dll", 40);
        WriteLayerBase(w);
    });
}

std::vector<BYTE> WaterRingRecord(UINT rowsFactor, UINT columnsFactor) {
    return RecordBytes([&](DS_IOF_W& w) {
        WriteRecordHeader(w, u"DS_WaterRingLight", 2);
        for (UINT raw : {10u, rowsFactor, columnsFactor, 40u, 60u, 70u}) w.WriteUInt(raw);
        w.WriteUInt(60);
        w.WriteUInt(50);
        w.WriteUInt(100);
        w.WriteLong(0);  // capture mode
        WriteLayerBase(w);
    });
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The smallest cell size at or above the stored one that keeps the grid
// within 8,192 cells: (w / c + 1) x (h / c + 1), worked out by hand.
TEST(GlyphCellSize, RaisedUntilTheGridFits) {
    struct Case {
        int stored, width, height, cell;
    } cases[] = {
        {16, 1280, 800, 16},   // 81 x 51: as stored
        {0, 1280, 800, 12},    // 11 gives 117 x 73 = 8,541; 12 gives 107 x 67 = 7,169
        {1, 1600, 900, 14},    // 13: 124 x 70 = 8,680; 14: 115 x 65 = 7,475
        {1, 2560, 1600, 23},   // 22: 117 x 73 = 8,541; 23: 112 x 70 = 7,840
        {-5, 0, 0, 1},         // one cell
        {1, 100000, 0, 13},    // 12: 8,334 x 1; 13: 7,693 x 1
        {1000, 64, 64, 1000},  // larger than the picture: one cell, as stored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " on " << c.width << " x " << c.height);
        EXPECT_EQ(CodeRainCellSize(c.stored, c.width, c.height), c.cell);
    }
}

class GridCaps : public tessaloom::testing::LayerSlideFixture {
protected:
    void SetUp() override {
        LayerSlideFixture::SetUp();
        DS_ResetCountReductionNotes();
    }
    void TearDown() override {
        DS_ResetCountReductionNotes();
        LayerSlideFixture::TearDown();
    }
};

// On a 1280 x 800 picture a cell size of 0 or 1 is raised to 12 (107 x 67
// cells, one quad each) and a change count past the cells is held at one
// more than the cells; the six grids of the hand-over and the rebuilds that
// a picture position makes say each once.
TEST_F(GridCaps, GlyphRainGridFitsAndIsSaidOnce) {
    AddPicture(5, 1280, 800, [](UINT, UINT) { return 0xFF808080u; });
    AddPicture(40, 8, 80, [](UINT, UINT) { return 0xFFFFFFFFu; });
    struct Case {
        UINT cellSize, changeCount;
    } cases[] = {{0, 0x7FFFFFFFu}, {1, 0xFFFFFFFFu}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cellSize << ", " << c.changeCount);
        DS_ResetCountReductionNotes();
        ::testing::internal::CaptureStderr();
        std::unique_ptr<DS_MatrixCodeLight> read = ReadLayerAs<DS_MatrixCodeLight>(GlyphRainRecord(c.cellSize, c.changeCount));
        ASSERT_TRUE(read);
        DS_MatrixCodeLight& rain = ShowLayer(read.release());
        slide->SetPicturePosition(DS_POS_FIT);
        Frame(0.1);
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(rain.cursor && rain.cursor->grid);
        const CodeRainGrid& grid = *rain.cursor->grid;
        EXPECT_EQ(grid.cellSize, 12);
        EXPECT_EQ(grid.columns, 107);
        EXPECT_EQ(grid.rows, 67);
        EXPECT_EQ(rain.quads.quadCount, 107 * 67);
        EXPECT_EQ(grid.changeCount, 107 * 67 + 1);
        EXPECT_EQ(Occurrences(said, "tessaloom: the document's glyph cell size ("), 1u) << said;
        EXPECT_EQ(Occurrences(said, "tessaloom: the document's glyph change count ("), 1u) << said;
    }
}

// Stored sizes within the caps are used as they are, and nothing is said.
TEST_F(GridCaps, GlyphRainWithinTheCapsIsUntouched) {
    AddPicture(5, 1280, 800, [](UINT, UINT) { return 0xFF808080u; });
    AddPicture(40, 8, 80, [](UINT, UINT) { return 0xFFFFFFFFu; });
    ::testing::internal::CaptureStderr();
    std::unique_ptr<DS_MatrixCodeLight> read = ReadLayerAs<DS_MatrixCodeLight>(GlyphRainRecord(16, 4132));
    ASSERT_TRUE(read);
    DS_MatrixCodeLight& rain = ShowLayer(read.release());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    EXPECT_EQ(rain.cursor->grid->cellSize, 16);
    EXPECT_EQ(rain.cursor->grid->changeCount, 4132);  // 81 x 51 + 1: as stored
}

// Grid factors of 2^32 - 1 ask for billions of cells: the surface keeps the
// layer's 16,384 (4 columns, the rows the limit leaves), through every
// restore, and says so once.
TEST_F(GridCaps, WaterRingGridFitsAndIsSaidOnce) {
    AddPicture(5, 1280, 800, [](UINT, UINT) { return 0xFF808080u; });
    ::testing::internal::CaptureStderr();
    std::unique_ptr<DS_WaterRingLight> read = ReadLayerAs<DS_WaterRingLight>(WaterRingRecord(0xFFFFFFFFu, 0xFFFFFFFFu));
    ASSERT_TRUE(read);
    DS_WaterRingLight& rings = ShowLayer(read.release());
    slide->InvalidateDeviceObjects();
    slide->RestoreDeviceObjects();
    Frame(0.1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(rings.ripples);
    EXPECT_EQ(rings.ripples->cellCount, 16384u);
    EXPECT_EQ(rings.ripples->columns, 4u);
    EXPECT_EQ(rings.ripples->rows, 4096u);
    EXPECT_EQ(Occurrences(said, "tessaloom: the document's water-ring grid cell count ("), 1u) << said;
}

}  // namespace
