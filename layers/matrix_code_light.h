// DS_MatrixCodeLight: the picture layer that covers the screen with columns
// of falling glyphs.
//
// A grid of cells (one per cellSize x cellSize picture pixels) holds one
// glyph index per cell.  Every drawn frame a small cellular simulation writes
// new glyphs into the columns, scrolls or descends them, fades old ones out
// and changes some at random; a walk over the grid then writes every cell as
// one screen-space quad of a quad batch, textured with the glyph's band of a
// glyph strip.  With background 1 each glyph's opacity follows the picture's
// brightness at its place, so the picture shows as a luminance image made of
// glyphs.
//
// The simulation lives in plain records (CodeRainSettings, CodeRainGrid,
// CodeRainCursor) with free functions over them; it draws from the runtime's
// random sequence (crt::rand) in a fixed order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "document/file_link.h"
#include "document/scaled_param.h"
#include "scene/picture_layer.h"
#include "scene/quad_batch.h"

// ------------------------------------------------------------ simulation --

// What the layer hands the simulation.  The glyph count is the number of
// bands the glyph strip is divided into.
struct CodeRainSettings {
    int cellSize = 16;
    int density = 20;
    int changeCount = 10;
    int flicker = 0;
    int mode = 0;
    int glyphCount = 1;
};

// A cell: bits 0-7 the glyph (0 empty, 1..glyphCount a band of the strip),
// bits 8-15 the fade as a signed byte, bit 16 dirty (fade work pending),
// bit 17 changing (its glyph is redrawn at random on every walk).
namespace code_rain {
constexpr uint32_t kGlyphMask = 0xFFu;
constexpr int kFadeShift = 8;
constexpr uint32_t kFadeMask = 0xFFu << kFadeShift;
constexpr uint32_t kDirty = 1u << 16;
constexpr uint32_t kChanging = 1u << 17;
// The most glyphs a cell can name: the glyph byte's range.
constexpr int kMaxGlyphs = 255;
// The most cells (and so quads) a grid has: a stored cell size that would
// make more on the picture is raised until they fit (twelve logical pixels
// a cell on a 1280 x 800 picture, 23 on 2560 x 1600).
constexpr int64_t kMaxCells = 8192;

inline uint32_t Glyph(uint32_t cell) { return cell & kGlyphMask; }
inline int Fade(uint32_t cell) { return static_cast<int8_t>(static_cast<uint8_t>(cell >> kFadeShift)); }
inline uint32_t WithGlyph(uint32_t cell, uint32_t glyph) { return (cell & ~kGlyphMask) | (glyph & kGlyphMask); }
inline uint32_t WithFade(uint32_t cell, int fade) {
    return (cell & ~kFadeMask) | (static_cast<uint32_t>(static_cast<uint8_t>(fade)) << kFadeShift);
}
}  // namespace code_rain

// One column's writer: glyphs still to write in the current drop (0 makes
// the drop an eraser), frames to wait, and the row it writes next (-1: the
// column scrolls instead).
struct ColumnState {
    int remaining = 0;
    int delay = 0;
    int row = 0;
};

// The cell size a grid over a width x height picture uses: `stored` (at
// least 1), or the smallest larger one that keeps the grid within
// code_rain::kMaxCells.
int CodeRainCellSize(int stored, int width, int height);

struct CodeRainGrid {
    int width = 0, height = 0;  // logical size at creation
    int cellSize = 1;           // the settings' cell size, raised to fit code_rain::kMaxCells
    int mode = 0;
    int density = 0;
    int changeCount = 0;
    bool flicker = false;
    int flickerFactor = 10;
    bool trail = true;
    bool alwaysSpawn = false;
    int columns = 0, rows = 0;
    std::vector<uint32_t> cells;  // columns x rows, row-major
    std::vector<ColumnState> columnStates;
    bool canScroll = false;
    bool canDescend = false;
    int glyphCount = 1;

    uint32_t& Cell(int row, int column) { return cells[static_cast<size_t>(row) * columns + column]; }
};

// The walk over the grid: where it stands, and the number of non-empty cells
// it counted in the previous walk and counts in this one.
struct CodeRainCursor {
    std::unique_ptr<CodeRainGrid> grid;
    int column = 0, row = 0;
    int previousCount = 0;
    int currentCount = 0;
};

// One glyph the walk emits, in back-buffer pixels: half extents a and b,
// centre, texture range, colour mask, colour class (0 fading out, 1 settled,
// 2 highlighted) and its cell.
struct CodeRainGlyph {
    float a = 0.0f, b = 0.0f;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float u0 = 0.0f, u1 = 1.0f;
    float v0 = 0.0f, v1 = 0.0f;
    uint32_t mask = 0xFFFFFFFFu;
    int colorClass = 0;
    int column = 0, row = 0;
};

// A grid for a logical width x height: columns = width / cellSize + 1, rows
// = height / cellSize + 1, every cell and column 0, then its changing cells.
// A cell size below 1 is taken as 1; the glyph count is kept in 1..255.
std::unique_ptr<CodeRainGrid> CreateCodeRain(const CodeRainSettings& settings, int width, int height);
// Clears every changing flag, then sets it on changeCount - 1 cells drawn at
// random (a cell may be drawn twice); a count of 0 or 1 sets none.
void PickCodeRainMutators(CodeRainGrid& grid);
// A glyph into the cell (row, column); a negative row scrolls the column down
// one row first and writes row 0.  Rows at or below the last do nothing.
void WriteCodeRainCell(CodeRainGrid& grid, int row, int column, uint32_t glyph);
// One step of every column's writer; `blank` writes empty cells in place of
// new glyphs.
void StepCodeRainColumns(CodeRainGrid& grid, bool blank);
// The spawn divisor for the grid's density (85 below 10 ... 1 from 90 up).
int GetCodeRainSpawnDivisor(const CodeRainGrid& grid);
// Flickers, new drops in idle columns, now and then new changing cells.
void SpawnCodeRainDrops(CodeRainGrid& grid);
// The next non-empty cell from the cursor on, updating the fade and the
// changing glyph of every cell it passes.  The glyph's a and b are the
// caller's; (originX, originY) is the grid's top-left corner in back-buffer
// pixels.  Past the last row the mask's alpha byte becomes 0 and the answer
// is false.
bool NextCodeRainGlyph(CodeRainCursor& cursor, CodeRainGlyph& glyph, float originX, float originY);

// ----------------------------------------------------------------- layer --

class DS_MatrixCodeLight : public DS_2D_Light {
public:
    DS_MatrixCodeLight();
    ~DS_MatrixCodeLight() override;

    void Write(DS_IOF_Virtual& archive) override { WriteRecord(archive); }
    // The base step, the glyph strip, the simulation built setting by
    // setting, the luminance mask.
    void CreateDeviceObjects() override;
    // The base step, then texture times diffuse in colour and alpha.
    void RestoreDeviceObjects() override;
    // One simulation step and walk, the background, the glyphs.
    void DrawPicture() override;
    // Only remembers the time: the camera and the simulation advance when drawn.
    void FrameMove(double time) override;
    void SetPicturePosition(int mode) override;
    void ReloadPicture() override;

    // "DS_MatrixCodeLight", version 2, own fields, the base record.
    void WriteRecord(DS_IOF_Virtual& archive);
    static DS_MatrixCodeLight* CreateFromArchive(DS_IOF_Virtual& archive, int version);
    // Versions 1 and 2; version 2 adds the glyph strip's link.  Then the
    // DS_2D_Light record.
    void ReadFields(DS_IOF_Virtual& archive, int version);

    // A new cursor over a new grid from the settings, at the screen
    // mapping's logical size.
    void ResetSimulation();
    // One quad per cell of the screen mapping's logical size.
    void ReserveQuads();
    // Background 1: the picture's luminance sampled 256 x 256; 0: no table.
    void BuildLuminanceMask();
    // The camera, one simulation step and the walk into the quad batch.
    void UpdateGlyphs(double time);

    MediaParamT<unsigned int> cellSize;
    MediaParamT<unsigned int> density;
    MediaParamT<unsigned int> changeCount;
    MediaParamT<int> flicker;
    MediaParamT<int> background;
    MediaParamT<int> mode;
    MediaColor color;
    MediaColor highlightColor;
    UINTSclaleTo<float> transparency;
    DS_ImageFileLink glyphImage;
    DS_QuadBatch quads;
    std::unique_ptr<CodeRainCursor> cursor;
    std::unique_ptr<CodeRainSettings> settings;
    std::unique_ptr<float[]> luminanceTable;  // 256 x 256, row-major
    double frameTime = 0.0;
};
