// The glyph-rain layer: the cell bit layout, the grid simulation step by step
// against the runtime's random sequence (values worked out by hand), the
// spawn divisor, the grids that a cell size larger than the picture or an
// odd strip give, the record in both versions, the walk into the quad batch,
// the luminance mask over a 24-bit copy, and on a real device glyphs drawn in
// the picture's brightness.
#include <gtest/gtest.h>

#include "document/load_error.h"
#include "layers/matrix_code_light.h"
#include "platform/crt/rand.h"
#include "scene/slide.h"
#include "tests/layers/layer_fixture.h"

namespace {

using tessaloom::testing::Image;
using tessaloom::testing::ModuleKey;
using tessaloom::testing::Probe;
using tessaloom::testing::RecordBytes;

constexpr uint32_t D = code_rain::kDirty;
constexpr uint32_t C = code_rain::kChanging;
// A cell from its glyph and fade.
constexpr uint32_t Cell(uint32_t glyph, int fade, uint32_t flags = 0) {
    return glyph | (static_cast<uint32_t>(static_cast<uint8_t>(fade)) << 8) | flags;
}

CodeRainSettings Settings(int cellSize, int density, int changeCount, int flicker, int mode, int glyphCount) {
    CodeRainSettings s;
    s.cellSize = cellSize;
    s.density = density;
    s.changeCount = changeCount;
    s.flicker = flicker;
    s.mode = mode;
    s.glyphCount = glyphCount;
    return s;
}

std::vector<uint32_t> Column(CodeRainGrid& grid, int column) {
    std::vector<uint32_t> out;
    for (int r = 0; r < grid.rows; ++r) out.push_back(grid.Cell(r, column));
    return out;
}

TEST(CodeRainCells, BitLayout) {
    // Glyph in bits 0-7, the fade as a signed byte in 8-15, dirty 16, changing 17.
    EXPECT_EQ(code_rain::kDirty, 0x10000u);
    EXPECT_EQ(code_rain::kChanging, 0x20000u);
    const uint32_t cell = 0x0003FF07u;
    EXPECT_EQ(code_rain::Glyph(cell), 7u);
    EXPECT_EQ(code_rain::Fade(cell), -1);
    EXPECT_EQ(code_rain::Fade(0x00001300u), 19);
    EXPECT_EQ(code_rain::WithFade(cell, 2), 0x00030207u);
    EXPECT_EQ(code_rain::WithGlyph(cell, 0), 0x0003FF00u);
}

// Columns = width / cell + 1, rows = height / cell + 1; the permissions follow
// the mode; a cell size of 0 is used as 1 and the glyph count stays 1..255.
TEST(CodeRainGrid, Creation) {
    struct Case {
        int cell, width, height, mode, glyphs;
        int columns, rows;
        bool scroll, descend;
        int glyphCount;
    } cases[] = {
        {16, 100, 50, 0, 12, 7, 4, true, false, 12},
        {16, 100, 50, 1, 12, 7, 4, false, true, 12},
        {16, 100, 50, 2, 12, 7, 4, true, true, 12},
        {0, 3, 2, 2, 12, 4, 3, true, true, 12},
        {1000, 64, 64, 2, 0, 1, 1, true, true, 1},   // larger than the picture: one cell
        {16, 64, 64, 2, 300, 5, 5, true, true, 255},  // never into the fade bits
    };
    for (const Case& c : cases) {
        crt::ResetRandForTests();
        auto grid = CreateCodeRain(Settings(c.cell, 20, 1, 0, c.mode, c.glyphs), c.width, c.height);
        EXPECT_EQ(grid->columns, c.columns) << c.cell << " " << c.width;
        EXPECT_EQ(grid->rows, c.rows);
        EXPECT_EQ(grid->cells, std::vector<uint32_t>(static_cast<size_t>(c.columns * c.rows), 0u));
        EXPECT_EQ(grid->columnStates.size(), static_cast<size_t>(c.columns));
        EXPECT_EQ(grid->canScroll, c.scroll);
        EXPECT_EQ(grid->canDescend, c.descend);
        EXPECT_EQ(grid->glyphCount, c.glyphCount);
        EXPECT_TRUE(grid->trail);
        EXPECT_EQ(grid->flickerFactor, 10);
        EXPECT_EQ(crt::rand(), 41) << "changeCount 1 draws nothing";
    }
}

// changeCount - 1 cells, each drawn as (rand() % columns, rand() % rows);
// 0, 1 and negative counts choose none and draw nothing.
TEST(CodeRainGrid, ChangingCells) {
    crt::ResetRandForTests();
    auto grid = CreateCodeRain(Settings(10, 20, 3, 0, 2, 4), 20, 10);  // 3 x 2
    // (41 % 3, 18467 % 2) = column 2, row 1; (6334 % 3, 26500 % 2) = column 1, row 0.
    EXPECT_EQ(grid->cells, (std::vector<uint32_t>{0, C, 0, 0, 0, C}));
    EXPECT_EQ(crt::rand(), 19169);
    for (int count : {1, 0, -5}) {
        grid->changeCount = count;
        crt::ResetRandForTests();
        PickCodeRainMutators(*grid);
        EXPECT_EQ(grid->cells, std::vector<uint32_t>(6, 0u)) << count;
        EXPECT_EQ(crt::rand(), 41) << count;
    }
}

TEST(CodeRainGrid, SpawnDivisorByDensity) {
    const int table[][2] = {{-3, 85}, {0, 85}, {9, 85},  {10, 60}, {14, 60}, {15, 45}, {19, 45}, {20, 25}, {24, 25},
                            {25, 20}, {29, 20}, {30, 15}, {34, 15}, {35, 10}, {44, 10}, {45, 8},  {49, 8},  {50, 7},
                            {54, 7},  {55, 5},  {64, 5},  {65, 3},  {79, 3},  {80, 2},  {89, 2},  {90, 1},  {100, 1}};
    CodeRainGrid grid;
    for (const auto& row : table) {
        grid.density = row[0];
        EXPECT_EQ(GetCodeRainSpawnDivisor(grid), row[1]) << row[0];
    }
}

// Two idle columns of a 2 x 6 grid, density 100 (divisor 1), both modes:
//   column 0: 41 % 1 = 0 starts; remaining 18467 % 6 + 3 = 8; delay
//     6334 % 5 + 26500 % 5 = 4; 19169 % 4 = 1: an eraser; 15724 even: scrolls.
//   column 1: 11478 % 1 starts; remaining 29358 % 6 + 3 = 3; delay
//     26962 % 5 + 24464 % 5 = 6; 5705 % 4 = 1: an eraser; 28145 odd:
//     descends from 23281 % 3 = 1.
//   16827 % 500 != 0: no new changing cells.  Next draw: 9961.
TEST(CodeRainSimulation, DropsStartInIdleColumns) {
    auto grid = CreateCodeRain(Settings(10, 100, 1, 0, 2, 4), 10, 50);
    crt::ResetRandForTests();
    SpawnCodeRainDrops(*grid);
    EXPECT_EQ(grid->columnStates[0].remaining, 0);
    EXPECT_EQ(grid->columnStates[0].delay, 4);
    EXPECT_EQ(grid->columnStates[0].row, -1);
    EXPECT_EQ(grid->columnStates[1].remaining, 0);
    EXPECT_EQ(grid->columnStates[1].delay, 6);
    EXPECT_EQ(grid->columnStates[1].row, 1);
    EXPECT_EQ(crt::rand(), 9961);

    // A busy column is skipped without a draw; mode 1 descends without the
    // odd draw: 41 % 1 starts, 18467 % 6 + 3 = 8, 6334 % 5 + 26500 % 5 = 4,
    // 19169 % 4 = 1, row 15724 % 3 = 1; then 11478 % 500.
    grid = CreateCodeRain(Settings(10, 100, 1, 0, 1, 4), 10, 50);
    grid->columnStates[1] = {2, 0, 4};
    crt::ResetRandForTests();
    SpawnCodeRainDrops(*grid);
    EXPECT_EQ(grid->columnStates[0].delay, 4);
    EXPECT_EQ(grid->columnStates[0].row, 1);
    EXPECT_EQ(grid->columnStates[1].remaining, 2);
    EXPECT_EQ(crt::rand(), 29358);
}

// Flicker on a 10 x 2 grid: k = (41 % 50) / 10 - 1 = 3 cells:
// (18467 % 10, 6334 % 2) = column 7, row 0: fading, left alone;
// (26500 % 10, 19169 % 2) = column 0, row 1: settled, fade := 15724 % 20 = 4;
// (11478 % 10, 29358 % 2) = column 8, row 0: empty.  Every column is busy;
// 26962 % 500 != 0.
TEST(CodeRainSimulation, FlickerLightsSettledGlyphs) {
    auto grid = CreateCodeRain(Settings(10, 20, 1, 1, 2, 4), 90, 10);
    ASSERT_EQ(grid->columns, 10);
    ASSERT_EQ(grid->rows, 2);
    for (ColumnState& s : grid->columnStates) s.remaining = 1;
    grid->Cell(0, 7) = Cell(2, -1);
    grid->Cell(1, 0) = Cell(1, 0);
    crt::ResetRandForTests();
    SpawnCodeRainDrops(*grid);
    EXPECT_EQ(grid->Cell(0, 7), Cell(2, -1));
    EXPECT_EQ(grid->Cell(1, 0), Cell(1, 4, D));
    EXPECT_EQ(grid->Cell(0, 8), 0u);
    EXPECT_EQ(crt::rand(), 24464);
}

// A 2 x 4 grid, four glyphs: column 0 a descending writer with 2 glyphs to
// go at row 0, column 1 a scrolling writer with 3.  Two steps, each followed
// by the walk, from the start of the sequence.
TEST(CodeRainSimulation, TwoStepsAndWalks) {
    auto grid = CreateCodeRain(Settings(10, 20, 1, 0, 2, 4), 10, 30);
    ASSERT_EQ(grid->columns, 2);
    ASSERT_EQ(grid->rows, 4);
    grid->columnStates[0] = {2, 0, 0};
    grid->columnStates[1] = {3, 0, -1};
    CodeRainCursor cursor;
    cursor.grid = std::move(grid);
    CodeRainGrid& g = *cursor.grid;
    crt::ResetRandForTests();

    // Step 1.  Column 0: glyph 41 % 4 + 1 = 2 at row 0, fade 1 + (18467 odd)
    // = 2; row 1; 6334 % 10 != 0.  Column 1: glyph 26500 % 4 + 1 = 1 scrolled
    // in at row 0 with fade 0, the rows below marked; 19169 % 10 != 0.
    StepCodeRainColumns(g, false);
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{Cell(2, 2, D), 0, 0, 0}));
    EXPECT_EQ(Column(g, 1), (std::vector<uint32_t>{Cell(1, 0, D), D, D, D}));
    EXPECT_EQ(g.columnStates[0].remaining, 1);
    EXPECT_EQ(g.columnStates[0].row, 1);
    EXPECT_EQ(g.columnStates[1].remaining, 2);
    EXPECT_EQ(g.columnStates[1].row, -1);

    // Walk 1: the highlighted glyph, then the settled one; every other cell
    // only loses its dirty flag.
    CodeRainGlyph glyph;
    glyph.a = 5.0f;
    glyph.b = 6.0f;
    ASSERT_TRUE(NextCodeRainGlyph(cursor, glyph, 100.0f, 200.0f));
    EXPECT_EQ(glyph.colorClass, 2);
    EXPECT_FLOAT_EQ(glyph.x, 105.0f);
    EXPECT_FLOAT_EQ(glyph.y, 206.0f);
    EXPECT_FLOAT_EQ(glyph.v0, 0.25f);
    EXPECT_FLOAT_EQ(glyph.v1, 0.5f);
    EXPECT_EQ(glyph.mask, 0xFFFFFFFFu);
    ASSERT_TRUE(NextCodeRainGlyph(cursor, glyph, 100.0f, 200.0f));
    EXPECT_EQ(glyph.colorClass, 1);
    EXPECT_EQ(glyph.column, 1);
    EXPECT_EQ(glyph.row, 0);
    EXPECT_FLOAT_EQ(glyph.x, 115.0f);
    EXPECT_FLOAT_EQ(glyph.v0, 0.0f);
    EXPECT_FLOAT_EQ(glyph.v1, 0.25f);
    EXPECT_FALSE(NextCodeRainGlyph(cursor, glyph, 100.0f, 200.0f));
    EXPECT_EQ(glyph.mask, 0x00FFFFFFu) << "past the last row the glyph is invisible";
    EXPECT_FALSE(NextCodeRainGlyph(cursor, glyph, 100.0f, 200.0f));
    EXPECT_EQ(cursor.currentCount, 2);
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{Cell(2, 1, D), 0, 0, 0}));
    EXPECT_EQ(Column(g, 1), (std::vector<uint32_t>{Cell(1, 0), 0, 0, 0}));

    // Step 2.  Column 0: glyph 15724 % 4 + 1 = 1 at row 1, fade 1 + (11478
    // odd? no) = 1; that was the drop's last glyph, so it is erased in the
    // same step (the fade stays); row 2; 29358 % 10 != 0.  Column 1: glyph
    // 26962 % 4 + 1 = 3 scrolled in; 24464 % 10 != 0.
    StepCodeRainColumns(g, false);
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{Cell(2, 1, D), Cell(0, 1, D), 0, 0}));
    EXPECT_EQ(Column(g, 1), (std::vector<uint32_t>{Cell(3, 0, D), Cell(1, 0, D), D, D}));
    EXPECT_EQ(g.columnStates[0].remaining, 0);
    EXPECT_EQ(g.columnStates[0].row, 2);
    EXPECT_EQ(g.columnStates[1].remaining, 1);
    EXPECT_EQ(crt::rand(), 5705);

    // Walk 2: (0, 0) still highlighted, (0, 1) and (1, 1) settled.
    cursor.column = cursor.row = 0;
    cursor.previousCount = cursor.currentCount;
    cursor.currentCount = 0;
    std::vector<int> classes;
    while (NextCodeRainGlyph(cursor, glyph, 0.0f, 0.0f)) classes.push_back(glyph.colorClass);
    EXPECT_EQ(classes, (std::vector<int>{2, 1, 1}));
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{Cell(2, 0, D), Cell(0, 0, D), 0, 0}));
    EXPECT_EQ(Column(g, 1), (std::vector<uint32_t>{Cell(3, 0), Cell(1, 0), 0, 0}));

    // A blank step from draw 11 on.  Column 0, an eraser, empties row 2;
    // 28145 % 10 != 0.  Column 1 scrolls an empty cell in (no draw for a
    // glyph) and, its drop ended, scrolls once more as the eraser: glyph 3,
    // now under an empty cell, stays as a tail with fade -1; 23281 % 10 != 0.
    crt::ResetRandForTests();
    for (int i = 0; i < 11; ++i) crt::rand();
    StepCodeRainColumns(g, true);
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{Cell(2, 0, D), D, D, 0}));
    EXPECT_EQ(Column(g, 1), (std::vector<uint32_t>{D, Cell(3, -1, D), Cell(3, 0, D), Cell(1, 0, D)}));
    EXPECT_EQ(g.columnStates[0].row, 3);
    EXPECT_EQ(g.columnStates[1].remaining, 0);
    EXPECT_EQ(crt::rand(), 16827);
}

// The trail: a glyph whose upper neighbour is empty keeps its glyph while
// the column scrolls, with fade -1, and vanishes on its next update.  Rows
// at or below the last are never written.
TEST(CodeRainSimulation, ScrollingLeavesAFadingTail) {
    auto grid = CreateCodeRain(Settings(10, 20, 1, 0, 0, 4), 0, 30);
    CodeRainGrid& g = *grid;
    g.Cell(1, 0) = Cell(2, 0);
    g.Cell(2, 0) = Cell(3, 0);
    WriteCodeRainCell(g, -1, 0, 0);
    EXPECT_EQ(Column(g, 0), (std::vector<uint32_t>{D, Cell(2, -1, D), Cell(2, 0, D), Cell(3, 0, D)}));
    WriteCodeRainCell(g, 3, 0, 4);
    WriteCodeRainCell(g, 9, 0, 4);
    EXPECT_EQ(g.Cell(3, 0), Cell(3, 0, D));

    CodeRainCursor cursor;
    cursor.grid = std::move(grid);
    CodeRainGlyph glyph;
    ASSERT_TRUE(NextCodeRainGlyph(cursor, glyph, 0.0f, 0.0f));
    EXPECT_EQ(glyph.row, 1);
    EXPECT_EQ(glyph.colorClass, 0) << "a negative fade: fading out";
    EXPECT_EQ(cursor.grid->Cell(1, 0), D) << "the fade reached 0: erased";
}

// A changing cell redraws its glyph as rand() % glyphCount on every walk;
// 0 empties it, and an empty cell draws nothing more.
TEST(CodeRainSimulation, ChangingCellsRedrawTheirGlyph) {
    CodeRainCursor cursor;
    cursor.grid = CreateCodeRain(Settings(10, 20, 1, 0, 2, 4), 0, 0);
    CodeRainGrid& g = *cursor.grid;
    g.Cell(0, 0) = Cell(3, 0, C);
    crt::ResetRandForTests();
    const uint32_t expected[] = {41 % 4, 18467 % 4, 6334 % 4, 26500 % 4};  // 1, 3, 2, 0
    for (uint32_t glyph : expected) {
        cursor.column = cursor.row = 0;
        CodeRainGlyph out;
        ASSERT_TRUE(NextCodeRainGlyph(cursor, out, 0.0f, 0.0f));
        EXPECT_EQ(out.colorClass, 2);
        EXPECT_EQ(code_rain::Glyph(g.Cell(0, 0)), glyph);
        EXPECT_TRUE(g.Cell(0, 0) & D);
    }
    cursor.column = cursor.row = 0;
    CodeRainGlyph out;
    EXPECT_FALSE(NextCodeRainGlyph(cursor, out, 0.0f, 0.0f));
    EXPECT_EQ(crt::rand(), 19169);
}

// One column and one row (a cell larger than the picture): flicker and the
// start row take their remainders modulo 1, nothing divides by zero.
TEST(CodeRainSimulation, OneCellGridRuns) {
    CodeRainCursor cursor;
    cursor.grid = CreateCodeRain(Settings(1000, 100, 5, 1, 2, 4), 64, 64);
    for (int i = 0; i < 200; ++i) {
        StepCodeRainColumns(*cursor.grid, false);
        SpawnCodeRainDrops(*cursor.grid);
        cursor.column = cursor.row = 0;
        CodeRainGlyph glyph;
        while (NextCodeRainGlyph(cursor, glyph, 0.0f, 0.0f)) {
        }
        ASSERT_LE(code_rain::Glyph(cursor.grid->Cell(0, 0)), 4u) << i;
    }
}

// ---------------------------------------------------------------- record --

void WriteLink(DS_IOF_W& w, const std::u16string& path, INT64 stamp) {
    w.WriteString(path);
    w.WriteInt64(stamp);
}

void WriteGlyphRain(DS_IOF_W& w, INT version) {
    WriteRecordHeader(w, u"DS_MatrixCodeLight", version);
    w.WriteUInt(12);          // cell size
    w.WriteUInt(70);          // density
    w.WriteUInt(5);           // change count
    w.WriteLong(1);           // flicker
    w.WriteLong(1);           // background
    w.WriteLong(0);           // mode
    w.WriteInt(0x0000FF00);   // colour
    w.WriteInt(0x00FFFFFF);   // highlight
    w.WriteUInt(25);          // transparency
    if (version >= 2) WriteLink(w, u"C:\\glyphs\\strip.tga", 9);
    WriteRecordHeader(w, u"DS_2D_Light", 3);
    WriteLink(w, u"C:\\pictures\\city.tga", 77);
    WriteRecordHeader(w, u"DSM_Camera", 1);
    w.WriteLong(0);
    w.WriteUInt(120);
    w.WriteUInt(30);
}

std::unique_ptr<DS_MatrixCodeLight> ReadGlyphRain(const std::vector<BYTE>& bytes, size_t* left = nullptr) {
    return tessaloom::testing::ReadLayerAs<DS_MatrixCodeLight>(bytes, left);
}

TEST(GlyphRainRecord, Defaults) {
    DS_MatrixCodeLight rain;
    EXPECT_EQ(rain.cellSize.value, 16u);
    EXPECT_EQ(rain.density.value, 20u);
    EXPECT_EQ(rain.changeCount.value, 50u);
    EXPECT_EQ(rain.flicker.value, 0);
    EXPECT_EQ(rain.background.value, 0);
    EXPECT_EQ(rain.mode.value, 2);
    EXPECT_EQ(rain.color.value, 0u);
    EXPECT_EQ(rain.highlightColor.value, 0u);
    EXPECT_FLOAT_EQ(rain.transparency.Converted(), 1.0f);
    EXPECT_EQ(rain.glyphImage.key, ModuleKey(40));
    ASSERT_TRUE(rain.settings);
    EXPECT_EQ(rain.settings->cellSize, 16);
    EXPECT_EQ(rain.settings->density, 20);
    EXPECT_EQ(rain.settings->changeCount, 10);
    EXPECT_EQ(rain.settings->glyphCount, 1);
    EXPECT_FALSE(rain.cursor);
    EXPECT_FALSE(rain.NeedsSceneTexture());
}

// Version 1 has no glyph link (the module's strip stays); both are written
// back as version 2, byte for byte what the layer reads.
TEST(GlyphRainRecord, BothVersionsRead) {
    for (INT version : {1, 2}) {
        SCOPED_TRACE(version);
        size_t left = 1;
        auto rain = ReadGlyphRain(RecordBytes([&](DS_IOF_W& w) { WriteGlyphRain(w, version); }), &left);
        ASSERT_TRUE(rain);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(rain->cellSize.value, 12u);
        EXPECT_EQ(rain->density.value, 70u);
        EXPECT_EQ(rain->changeCount.value, 5u);
        EXPECT_EQ(rain->flicker.value, 1);
        EXPECT_EQ(rain->background.value, 1);
        EXPECT_EQ(rain->mode.value, 0);
        EXPECT_EQ(rain->color.value, 0x0000FF00u);
        EXPECT_EQ(rain->highlightColor.value, 0x00FFFFFFu);
        EXPECT_FLOAT_EQ(rain->transparency.Converted(), 0.75f) << "the opacity follows the raw value read";
        EXPECT_EQ(rain->glyphImage.key, version >= 2 ? (DS_LinkKey{u"C:\\glyphs\\strip.tga", 9}) : ModuleKey(40));
        EXPECT_EQ(rain->pictureLink.key, (DS_LinkKey{u"C:\\pictures\\city.tga", 77}));
        EXPECT_EQ(rain->camera.zoom.value, 120u);
        const std::vector<BYTE> written = RecordBytes([&](DS_IOF_W& w) { rain->Write(w); });
        auto again = ReadGlyphRain(written, &left);
        ASSERT_TRUE(again);
        EXPECT_EQ(left, 0u);
        EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { again->Write(w); }), written);
    }
    const std::vector<BYTE> v2 = RecordBytes([&](DS_IOF_W& w) { WriteGlyphRain(w, 2); });
    auto rain = ReadGlyphRain(v2);
    ASSERT_TRUE(rain);
    EXPECT_EQ(RecordBytes([&](DS_IOF_W& w) { rain->Write(w); }), v2);
}

TEST(GlyphRainRecord, EveryTruncatedRecordFails) {
    for (INT version : {1, 2}) {
        const std::vector<BYTE> bytes = RecordBytes([&](DS_IOF_W& w) { WriteGlyphRain(w, version); });
        for (size_t n = 0; n < bytes.size(); ++n) {
            std::unique_ptr<BYTE[]> exact(new BYTE[n ? n : 1]);
            if (n) std::memcpy(exact.get(), bytes.data(), n);
            ResourceBuffer buffer(exact.get(), n);
            DS_DocumentReader reader(&buffer);
            EXPECT_THROW(delete ReadLightByClassName(reader), DS_LoadError) << version << ": " << n << " bytes";
        }
    }
}

// ------------------------------------------------------------- on device --

constexpr DWORD kGreen = 0x0000FF00u;  // COLORREF
constexpr DWORD kPink = 0x00CC66FFu;   // COLORREF: red FF, green 66, blue CC

class GlyphRainOnDevice : public tessaloom::testing::LayerSlideFixture {
protected:
    // The picture (64 x 64) and an opaque white strip of `bands` - 2 square
    // 8-pixel glyphs.
    void AddPictures(const std::function<D3DCOLOR(UINT, UINT)>& picture, UINT stripHeight = 16) {
        AddPicture(5, 64, 64, picture);
        AddPicture(40, 8, stripHeight, [](UINT, UINT) { return 0xFFFFFFFFu; });
    }
    DS_MatrixCodeLight& MakeSlide(const std::function<void(DS_MatrixCodeLight&)>& configure = {}) {
        auto* rain = new DS_MatrixCodeLight;
        rain->camera.enabled.value = 0;
        rain->cellSize.value = 8;
        rain->changeCount.value = 1;
        rain->density.value = 1;
        rain->color.value = kGreen;
        rain->highlightColor.value = 0x00FFFFFFu;
        if (configure) configure(*rain);
        return ShowLayer(rain);
    }
    // Writers that neither write in the next step nor start a drop: busy,
    // waiting, below the bottom row.
    static void QuietColumns(CodeRainGrid& grid) {
        for (ColumnState& s : grid.columnStates) s = {1, 1000, grid.rows + 10};
    }
};

// Twelve bands for a strip of ten square glyphs; no strip gives two bands,
// a strip of 1000 glyphs the 255 a cell can hold.  Six grids are built while
// the settings are handed over one by one: with changeCount 3 that is three
// grids of the default 10 (18 draws each) and three of 3 (4 each).
TEST_F(GlyphRainOnDevice, TheStripAndTheSettingsMakeTheGrids) {
    AddPictures([](UINT, UINT) { return 0xFF808080u; }, 80);
    DS_MatrixCodeLight rain;
    rain.cellSize.value = 0;
    rain.density.value = 500;
    rain.changeCount.value = 3;
    rain.mode.value = 1;
    crt::ResetRandForTests();
    rain.CreateDeviceObjects();
    EXPECT_EQ(crt::rand(), 9040) << "the 66 draws of six grids";
    EXPECT_EQ(rain.settings->glyphCount, 12);
    EXPECT_EQ(rain.settings->cellSize, 1);
    EXPECT_EQ(rain.settings->density, 100);
    ASSERT_TRUE(rain.cursor);
    EXPECT_EQ(rain.cursor->grid->columns, 65);
    EXPECT_EQ(rain.cursor->grid->rows, 65);
    EXPECT_FALSE(rain.cursor->grid->canScroll);
    EXPECT_EQ(rain.quads.quadCount, 65 * 65);

    struct Case {
        UINT height;  // 0: no strip
        int glyphCount;
    } cases[] = {{0, 2}, {8000, 255}};
    for (const Case& c : cases) {
        pictures.pictures.erase(ModuleKey(40));
        if (c.height) AddPicture(40, 8, c.height, [](UINT, UINT) { return 0xFFFFFFFFu; });
        DS_MatrixCodeLight other;
        other.cellSize.value = 8;
        other.flicker.value = 1;
        other.CreateDeviceObjects();
        EXPECT_EQ(other.settings->glyphCount, c.glyphCount);
        EXPECT_EQ(other.cursor->grid->glyphCount, c.glyphCount);
    }
}

// The walk into the batch: quad k is the k-th glyph row by row, its corners
// the cell in back-buffer pixels, its v range the glyph's band, its colour
// the class's colour with the opacity (halved while fading out) in the
// alpha byte; past the last glyph the quads keep the last place, invisible.
TEST_F(GlyphRainOnDevice, TheWalkWritesOneQuadPerGlyph) {
    AddPictures([](UINT, UINT) { return 0xFF404040u; }, 16);  // four bands
    DS_MatrixCodeLight& rain = MakeSlide([](DS_MatrixCodeLight& r) {
        r.color.value = kPink;
        r.transparency.SetValue(50);
    });
    ASSERT_EQ(rain.quads.quadCount, 81);
    CodeRainGrid& g = *rain.cursor->grid;
    QuietColumns(g);
    g.Cell(0, 0) = Cell(2, 0);
    g.Cell(1, 2) = Cell(1, 2, D);
    g.Cell(2, 0) = Cell(3, -1, D);
    rain.UpdateGlyphs(0.0);
    rain.quads.Lock();
    struct Expected {
        float left, top;
        float v0, v1;
        D3DCOLOR color;
    } expected[] = {
        {0, 0, 0.25f, 0.5f, 0x7FFF66CCu},   // settled: alpha 0.5 x 255 = 127
        {16, 8, 0.0f, 0.25f, 0x7FFFFFFFu},  // highlighted
        {0, 16, 0.5f, 0.75f, 0x3FFF66CCu},  // fading out: 0.25 x 255 = 63
        {0, 16, 0.5f, 0.75f, 0x00FF66CCu},  // past the last glyph
        {0, 16, 0.5f, 0.75f, 0x00FF66CCu},
    };
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const DX_V::TPCT* v = rain.quads.QuadVertices(k);
        ASSERT_NE(v, nullptr);
        const Expected& e = expected[k];
        const float corners[4][4] = {{e.left, e.top + 8, 0, e.v1},
                                     {e.left, e.top, 0, e.v0},
                                     {e.left + 8, e.top + 8, 1, e.v1},
                                     {e.left + 8, e.top, 1, e.v0}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(v[i].x, corners[i][0]) << i;
            EXPECT_FLOAT_EQ(v[i].y, corners[i][1]) << i;
            EXPECT_FLOAT_EQ(v[i].u, corners[i][2]) << i;
            EXPECT_FLOAT_EQ(v[i].v, corners[i][3]) << i;
            EXPECT_EQ(v[i].color, e.color) << i;
        }
    }
    rain.quads.Unlock();
    EXPECT_EQ(rain.cursor->currentCount, 3);

    // Opacity outside the authoring range: the alpha byte wraps.  Raw 150
    // gives -0.5: trunc(-127.5) = -127, low byte 0x81.
    struct Wrap {
        UINT raw;
        DWORD alpha;
    } wraps[] = {{0, 0xFF}, {100, 0x00}, {150, 0x81}};
    for (const Wrap& w : wraps) {
        rain.transparency.SetValue(w.raw);
        QuietColumns(g);
        g.Cell(0, 0) = Cell(2, 0);
        rain.UpdateGlyphs(0.0);
        rain.quads.Lock();
        EXPECT_EQ(rain.quads.QuadVertices(0)->color >> 24, w.alpha) << w.raw;
        rain.quads.Unlock();
    }
}

// At the start the grid is empty: the first walk emits nothing and every
// quad is invisible.  Once every cell held a glyph, writers write blanks.
TEST_F(GlyphRainOnDevice, EmptyAtTheStartAndBlankWhenFull) {
    AddPictures([](UINT, UINT) { return 0xFF404040u; });
    DS_MatrixCodeLight& rain = MakeSlide();
    rain.UpdateGlyphs(0.0);
    EXPECT_EQ(rain.cursor->currentCount, 0);
    rain.quads.Lock();
    for (int k = 0; k < rain.quads.quadCount; ++k) ASSERT_EQ(rain.quads.QuadVertices(k)->color >> 24, 0u) << k;
    rain.quads.Unlock();

    for (bool full : {false, true}) {
        rain.ResetSimulation();
        CodeRainGrid& g = *rain.cursor->grid;
        QuietColumns(g);
        for (uint32_t& cell : g.cells) cell = Cell(1, 0);
        if (!full) g.Cell(8, 8) = 0;
        rain.UpdateGlyphs(0.0);
        EXPECT_EQ(rain.cursor->currentCount, full ? 81 : 80);
        QuietColumns(g);
        g.columnStates[0] = {2, 0, 3};
        g.Cell(3, 0) = 0;
        rain.UpdateGlyphs(0.0);
        EXPECT_EQ(code_rain::Glyph(g.Cell(3, 0)) == 0, full) << (full ? "full: a blank" : "a new glyph");
    }
}

// The mask is built from a 24-bit copy of the picture: three bytes a pixel,
// B, G, R, rows at the lock's pitch.
TEST_F(GlyphRainOnDevice, TheLuminanceMaskReadsA24BitCopy) {
    // Red on the left, blue on the right, green in the bottom half.
    const auto picture = [](UINT x, UINT y) { return y >= 32 ? 0xFF00FF00u : x < 32 ? 0xFFFF0000u : 0xFF0000FFu; };
    AddPictures(picture);
    DS_ComRef<IDirect3DTexture9> copy;
    ASSERT_EQ(CopyTextureResized(256, 256, pictures.pictures[ModuleKey(5)].texture.Get(), copy.Out(), D3DFMT_R8G8B8),
              S_OK);
    D3DSURFACE_DESC desc{};
    copy->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_R8G8B8);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_GE(locked.Pitch, 256 * 3);
    const auto* bytes = static_cast<const BYTE*>(locked.pBits);
    const BYTE* red = bytes + 20 * locked.Pitch + 20 * 3;
    const BYTE* blue = bytes + 20 * locked.Pitch + 230 * 3;
    const BYTE* green = bytes + 230 * locked.Pitch + 230 * 3;
    EXPECT_EQ((std::vector<int>{red[0], red[1], red[2]}), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ((std::vector<int>{blue[0], blue[1], blue[2]}), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ((std::vector<int>{green[0], green[1], green[2]}), (std::vector<int>{0, 255, 0}));
    copy->UnlockRect(0);

    DS_MatrixCodeLight& rain = MakeSlide([](DS_MatrixCodeLight& r) { r.background.value = 1; });
    ASSERT_TRUE(rain.luminanceTable);
    EXPECT_NEAR(rain.luminanceTable[20 * 256 + 20], 0.299f, 1e-5f);
    EXPECT_NEAR(rain.luminanceTable[20 * 256 + 230], 0.114f, 1e-5f);
    EXPECT_NEAR(rain.luminanceTable[230 * 256 + 230], 0.587f, 1e-5f);
    rain.background.value = 0;
    rain.BuildLuminanceMask();
    EXPECT_FALSE(rain.luminanceTable);
}

// Background 1: black, and each settled glyph as bright as the picture at its
// place; highlighted glyphs keep the full opacity.  Background 0: the glyphs
// over the picture.
TEST_F(GlyphRainOnDevice, GlyphsShowThePicturesBrightness) {
    // White on the left, grey (luminance 0.5) on the right.
    AddPictures([](UINT x, UINT) { return x < 32 ? 0xFFFFFFFFu : 0xFF808080u; });
    DS_MatrixCodeLight& rain = MakeSlide([](DS_MatrixCodeLight& r) { r.background.value = 1; });
    CodeRainGrid& g = *rain.cursor->grid;
    QuietColumns(g);
    for (int r = 1; r < 7; ++r)
        for (int c = 0; c < 8; ++c)
            if (c != 2) g.Cell(r, c) = Cell(1, 0);
    g.Cell(4, 6) = Cell(1, 3, D);
    const Image image = Frame(0.1f);
    image.WritePngIfAsked("GlyphRainOnDevice_Mask");
    EXPECT_TRUE(Probe(image, 4, 4, 0xFF000000u)) << "an empty cell: black";
    EXPECT_TRUE(Probe(image, 20, 20, 0xFF000000u)) << "column 2 empty";
    EXPECT_TRUE(Probe(image, 12, 20, 0xFF00FF00u, 3)) << "under white: full green";
    EXPECT_TRUE(Probe(image, 60, 20, 0xFF008000u, 4)) << "under grey: half green";
    EXPECT_TRUE(Probe(image, 52, 36, 0xFFFFFFFFu, 3)) << "highlighted: full opacity";

    rain.background.value = 0;
    rain.BuildLuminanceMask();
    g.Cell(4, 6) = Cell(1, 0);
    QuietColumns(g);
    const Image over = Frame(0.2f);
    over.WritePngIfAsked("GlyphRainOnDevice_OverPicture");
    EXPECT_TRUE(Probe(over, 4, 4, 0xFFFFFFFFu)) << "the picture";
    EXPECT_TRUE(Probe(over, 60, 4, 0xFF808080u));
    EXPECT_TRUE(Probe(over, 12, 20, 0xFF00FF00u, 3)) << "opaque green glyphs over it";
    EXPECT_TRUE(Probe(over, 60, 20, 0xFF00FF00u, 3));
}

}  // namespace
