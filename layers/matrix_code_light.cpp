#include "layers/matrix_code_light.h"

#include <algorithm>
#include <cstdint>

#include "platform/crt/rand.h"
#include "scene/layer_resources.h"
#include "scene/noise.h"
#include "scene/population_budget.h"

DS_REGISTER_READER(GetLightReaderRegistry(), DS_MatrixCodeLight, DS_2D_Light)

namespace {

constexpr const char16_t* kModule = u"common_res.dll";
constexpr INT kGlyphStrip = 40;
// The luminance table's side.
constexpr int kMaskSide = 256;
// Luminance weights of red, green and blue.
constexpr float kLumaR = 0.299f, kLumaG = 0.587f, kLumaB = 0.114f;

int Rand() { return crt::rand(); }

// (density, divisor): the first row whose density the grid's is below.
constexpr struct {
    int below;
    int divisor;
} kSpawnDivisors[] = {{10, 85}, {15, 60}, {20, 45}, {25, 25}, {30, 20}, {35, 15}, {45, 10},
                      {50, 8},  {55, 7},  {65, 5},  {80, 3},  {90, 2}};

}  // namespace

// ------------------------------------------------------------ simulation --

namespace {

int64_t CellsFor(int64_t cell, int64_t width, int64_t height) { return (width / cell + 1) * (height / cell + 1); }

}  // namespace

int CodeRainCellSize(int stored, int width, int height) {
    const int64_t w = std::max(width, 0), h = std::max(height, 0);
    int64_t lo = std::max(stored, 1);
    if (CellsFor(lo, w, h) <= code_rain::kMaxCells) return static_cast<int>(lo);
    // One cell past the larger side makes a grid of one cell: the answer lies
    // in (lo, hi].
    int64_t hi = std::max(w, h) + 1;
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        (CellsFor(mid, w, h) <= code_rain::kMaxCells ? hi : lo) = mid;
    }
    return static_cast<int>(hi);
}

std::unique_ptr<CodeRainGrid> CreateCodeRain(const CodeRainSettings& settings, int width, int height) {
    auto grid = std::make_unique<CodeRainGrid>();
    const int cell = CodeRainCellSize(settings.cellSize, width, height);
    if (cell != std::max(settings.cellSize, 1))
        DS_SayCountReduced("glyph cell size", static_cast<uint64_t>(std::max(settings.cellSize, 1)),
                           static_cast<uint64_t>(cell));
    grid->width = width;
    grid->height = height;
    grid->cellSize = cell;
    grid->mode = settings.mode;
    grid->density = settings.density;
    grid->flicker = settings.flicker != 0;
    grid->columns = std::max(width, 0) / cell + 1;
    grid->rows = std::max(height, 0) / cell + 1;
    // More changing cells than the grid has would change nothing more: one
    // per cell at most (the count is one more than the cells chosen).
    const int64_t cells = static_cast<int64_t>(grid->columns) * grid->rows;
    grid->changeCount = settings.changeCount;
    if (static_cast<int64_t>(settings.changeCount) - 1 > cells) {
        grid->changeCount = static_cast<int>(cells + 1);
        DS_SayCountReduced("glyph change count", static_cast<uint64_t>(settings.changeCount),
                           static_cast<uint64_t>(grid->changeCount));
    }
    grid->cells.assign(static_cast<size_t>(grid->columns) * grid->rows, 0u);
    grid->columnStates.assign(static_cast<size_t>(grid->columns), ColumnState{});
    grid->canScroll = settings.mode != 1;
    grid->canDescend = settings.mode != 0;
    // A glyph past 255 would run into the fade byte.
    grid->glyphCount = std::clamp(settings.glyphCount, 1, code_rain::kMaxGlyphs);
    PickCodeRainMutators(*grid);
    return grid;
}

void PickCodeRainMutators(CodeRainGrid& grid) {
    for (uint32_t& cell : grid.cells) cell &= ~code_rain::kChanging;
    // Signed: a count of 0 must not wrap round to four billion cells.
    const int64_t count = static_cast<int64_t>(grid.changeCount) - 1;
    for (int64_t i = 0; i < count; ++i) {
        const int column = Rand() % grid.columns;
        const int row = Rand() % grid.rows;
        grid.Cell(row, column) |= code_rain::kChanging;
    }
}

void WriteCodeRainCell(CodeRainGrid& grid, int row, int column, uint32_t glyph) {
    using namespace code_rain;
    if (row >= grid.rows - 1) return;
    const bool scrolling = row < 0;
    if (scrolling) {
        for (int r = grid.rows - 1; r >= 1; --r) {
            uint32_t& to = grid.Cell(r, column);
            const uint32_t from = grid.Cell(r - 1, column);
            if (grid.trail && Glyph(to) != 0 && Glyph(from) == 0) {
                to = WithFade(to, -1);  // the tail vanishes on its next update
            } else {
                to = WithFade(WithGlyph(to, Glyph(from)), Fade(from));
            }
            to |= kDirty;
        }
        row = 0;
    }
    uint32_t& cell = grid.Cell(row, column);
    cell = WithGlyph(cell, glyph) | kDirty;
    if (glyph != 0) cell = WithFade(cell, scrolling ? 0 : 1 + (Rand() & 1));
}

void StepCodeRainColumns(CodeRainGrid& grid, bool blank) {
    for (int column = 0; column < grid.columns; ++column) {
        ColumnState& s = grid.columnStates[static_cast<size_t>(column)];
        if (s.delay != 0) {
            s.delay -= 1;
        } else {
            if (s.remaining > 0) {
                const uint32_t glyph = blank ? 0u : static_cast<uint32_t>(Rand() % grid.glyphCount + 1);
                WriteCodeRainCell(grid, s.row, column, glyph);
                s.remaining -= 1;
            }
            // The drop's last glyph is erased in the step that wrote it.
            if (s.remaining <= 0) WriteCodeRainCell(grid, s.row, column, 0);
            if (s.row >= 0) s.row += 1;
        }
        if (Rand() % 10 == 0) s.delay = Rand() % 5 + Rand() % 5;
    }
}

int GetCodeRainSpawnDivisor(const CodeRainGrid& grid) {
    for (const auto& row : kSpawnDivisors)
        if (grid.density < row.below) return row.divisor;
    return 1;
}

void SpawnCodeRainDrops(CodeRainGrid& grid) {
    using namespace code_rain;
    // A grid of one column or one row takes its remainders modulo 1.
    const int halfColumns = std::max(grid.columns / 2, 1);
    const int halfRows = std::max(grid.rows / 2, 1);
    if (grid.flicker) {
        const int k = (Rand() % (halfColumns * grid.flickerFactor)) / grid.flickerFactor - 1;
        for (int i = 0; i < k; ++i) {
            const int column = Rand() % grid.columns;
            const int row = Rand() % grid.rows;
            uint32_t& cell = grid.Cell(row, column);
            if (Glyph(cell) != 0 && Fade(cell) == 0) cell = WithFade(cell, Rand() % 20) | kDirty;
        }
    }
    for (ColumnState& s : grid.columnStates) {
        if (s.remaining > 0 && !grid.alwaysSpawn) continue;
        if (Rand() % GetCodeRainSpawnDivisor(grid) != 0) continue;
        s.remaining = Rand() % grid.rows + 3;
        s.delay = Rand() % 5 + Rand() % 5;
        if (Rand() % 4 != 0) s.remaining = 0;  // three drops in four erase
        const bool descends = grid.canDescend && (!grid.canScroll || (Rand() & 1) != 0);
        s.row = descends ? Rand() % halfRows : -1;
    }
    if (Rand() % 500 == 0) PickCodeRainMutators(grid);
}

bool NextCodeRainGlyph(CodeRainCursor& cursor, CodeRainGlyph& glyph, float originX, float originY) {
    using namespace code_rain;
    CodeRainGrid& grid = *cursor.grid;
    const float count = static_cast<float>(grid.glyphCount);
    while (cursor.row < grid.rows) {
        const int column = cursor.column, row = cursor.row;
        uint32_t& cell = grid.Cell(row, column);
        const uint32_t n = Glyph(cell);
        if (n != 0) {
            ++cursor.currentCount;
            const int fade = Fade(cell);
            glyph.x = originX + glyph.a * static_cast<float>(2 * column + 1);
            glyph.y = originY + glyph.b * static_cast<float>(2 * row + 1);
            glyph.z = 0.0f;
            glyph.u0 = 0.0f;
            glyph.u1 = 1.0f;
            glyph.v0 = static_cast<float>(n - 1) / count;
            glyph.v1 = static_cast<float>(n) / count;
            glyph.mask = 0xFFFFFFFFu;
            glyph.column = column;
            glyph.row = row;
            glyph.colorClass = fade > 0 || (cell & kChanging) ? 2 : fade == 0 ? 1 : 0;
        }
        // The cell's own update, emitted or not.
        if (cell & kDirty) {
            cell &= ~kDirty;
            const int fade = Fade(cell);
            if (fade > 0) {
                cell = WithFade(cell, fade - 1) | kDirty;
            } else if (fade < 0) {
                cell = WithFade(cell, fade + 1) | kDirty;
                if (fade + 1 == 0) cell = WithGlyph(cell, 0);
            }
        }
        if ((cell & kChanging) && Glyph(cell) != 0)
            cell = WithGlyph(cell, static_cast<uint32_t>(Rand() % grid.glyphCount)) | kDirty;
        if (++cursor.column >= grid.columns) {
            cursor.column = 0;
            ++cursor.row;
        }
        if (n != 0) return true;
    }
    glyph.mask &= 0x00FFFFFFu;
    return false;
}

// ----------------------------------------------------------------- layer --

DS_MatrixCodeLight::DS_MatrixCodeLight()
    : cellSize(16),
      density(20),
      changeCount(50),
      flicker(0),
      background(0),
      mode(2),
      color(0),
      highlightColor(0),
      glyphImage(kGlyphStrip, kModule),
      settings(std::make_unique<CodeRainSettings>()) {
    transparency.SetFactor(-0.01f, 1.0f);
    transparency.SetValue(0);
}

DS_MatrixCodeLight::~DS_MatrixCodeLight() = default;

void DS_MatrixCodeLight::CreateDeviceObjects() {
    DS_2D_Light::CreateDeviceObjects();
    Resize(1, 1);
    const DS_PictureInfo strip = GetLayerResources()->GetPicture(glyphImage);
    // A strip without width (none found) has only the two extra bands; one
    // taller than 253 widths is cut to the 255 glyphs a cell can name.
    const UINT ratio = strip.width != 0 ? strip.height / strip.width : 0u;
    settings->glyphCount = static_cast<int>(std::min<UINT>(ratio, code_rain::kMaxGlyphs - 2)) + 2;
    quads.SetTexture(strip.texture.Get());
    ResetSimulation();
    settings->cellSize = static_cast<int>(std::clamp(cellSize.value, 1u, 0x7FFFFFFFu));
    ResetSimulation();
    ReserveQuads();
    settings->density = static_cast<int>(std::clamp(density.value, 1u, 100u));
    ResetSimulation();
    // Past the int range the count saturates (the grid then keeps it within its cells).
    settings->changeCount = static_cast<int>(std::min(changeCount.value, 0x7FFFFFFFu));
    ResetSimulation();
    settings->flicker = flicker.value;
    ResetSimulation();
    settings->mode = mode.value;
    ResetSimulation();
    ReserveQuads();
    BuildLuminanceMask();
}

void DS_MatrixCodeLight::RestoreDeviceObjects() {
    DS_2D_Light::RestoreDeviceObjects();
    if (IDirect3DDevice9* d = CurrentDevice) {
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    }
}

void DS_MatrixCodeLight::DrawPicture() {
    UpdateGlyphs(frameTime);
    IDirect3DDevice9* d = CurrentDevice;
    if (background.value == 0) {
        DS_2D_Light::DrawPicture();
    } else if (background.value == 1 && d) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000u, 1.0f, 0);
    }
    if (!d) return;
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    quads.Draw();
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}

void DS_MatrixCodeLight::FrameMove(double time) { frameTime = time; }

void DS_MatrixCodeLight::SetPicturePosition(int newMode) {
    savedMode = newMode;
    DS_2DView::Current().Setup(targetWidth, targetHeight, pictureQuad.info, newMode, false);
    DS_2D_Light::Resize(targetWidth, targetHeight);
    ResetSimulation();
    ReserveQuads();
}

void DS_MatrixCodeLight::ReloadPicture() {
    pictureQuad.LoadPicture(pictureLink);
    Resize(targetWidth, targetHeight);
    BuildLuminanceMask();
    ResetSimulation();
    ReserveQuads();
}

void DS_MatrixCodeLight::ResetSimulation() {
    const DS_ScreenMapping& mapping = DS_ScreenMapping::Current();
    cursor = std::make_unique<CodeRainCursor>();
    cursor->grid = CreateCodeRain(*settings, mapping.logicalWidth, mapping.logicalHeight);
}

void DS_MatrixCodeLight::ReserveQuads() {
    const DS_ScreenMapping& mapping = DS_ScreenMapping::Current();
    const unsigned cell =
        static_cast<unsigned>(CodeRainCellSize(settings->cellSize, mapping.logicalWidth, mapping.logicalHeight));
    const unsigned w = static_cast<unsigned>(std::max(mapping.logicalWidth, 0));
    const unsigned h = static_cast<unsigned>(std::max(mapping.logicalHeight, 0));
    quads.Resize(static_cast<int>((h / cell + 1) * (w / cell + 1)));
}

void DS_MatrixCodeLight::BuildLuminanceMask() {
    if (background.value == 0) {
        luminanceTable.reset();
        return;
    }
    if (background.value != 1) return;
    luminanceTable.reset(new float[kMaskSide * kMaskSide]());
    DS_ComRef<IDirect3DTexture9> copy;
    if (FAILED(CopyTextureResized(kMaskSide, kMaskSide, pictureQuad.info.texture.Get(), copy.Out(), D3DFMT_R8G8B8)) ||
        !copy.Get())
        return;  // no picture: every settled glyph stays dark
    D3DLOCKED_RECT locked{};
    if (FAILED(copy->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return;
    const auto* rows = static_cast<const BYTE*>(locked.pBits);
    for (int y = 0; y < kMaskSide; ++y) {
        const BYTE* p = rows + static_cast<ptrdiff_t>(y) * locked.Pitch;
        float* out = luminanceTable.get() + y * kMaskSide;
        for (int x = 0; x < kMaskSide; ++x, p += 3)
            out[x] = kLumaR * p[2] / 255.0f + kLumaG * p[1] / 255.0f + kLumaB * p[0] / 255.0f;
    }
    copy->UnlockRect(0);
}

void DS_MatrixCodeLight::UpdateGlyphs(double time) {
    camera.FrameMove(time);
    if (!cursor || !cursor->grid) return;
    CodeRainGrid& grid = *cursor->grid;
    const DS_ScreenMapping& mapping = DS_ScreenMapping::Current();
    const DS_QuadVerts::Corner* q = mapping.fitted.c;
    const float logicalW = static_cast<float>(std::max(mapping.logicalWidth, 1));
    const float logicalH = static_cast<float>(std::max(mapping.logicalHeight, 1));
    const float hx = (q[3].x - q[0].x) * 0.5f / logicalW;
    const float hy = (q[2].y - q[1].y) * 0.5f / logicalH;
    const float cell = static_cast<float>(grid.cellSize);
    CodeRainGlyph g;
    g.a = hx * cell;
    g.b = hy * cell;

    cursor->column = 0;
    cursor->row = 0;
    cursor->previousCount = cursor->currentCount;
    cursor->currentCount = 0;
    StepCodeRainColumns(grid, cursor->previousCount >= quads.quadCount);
    SpawnCodeRainDrops(grid);

    quads.Lock();
    const DS_2DView& view = DS_2DView::Current();
    float sx, sy, ox, oy;
    if (view.mode == DS_POS_CAPTURE) {
        sx = 1.0f / view.inverseScaleX;
        sy = 1.0f / view.inverseScaleY;
        ox = view.offsetX;
        oy = view.offsetY;
    } else {
        const D3DXMATRIX p = view.zoom * view.positionOffset * view.positionScale;
        sx = p._11;
        sy = p._22;
        ox = view.GetScaleX();
        oy = view.GetScaleY();
    }
    const float tx = 2.0f * ox * hx * sx;
    const float ty = 2.0f * oy * hy * sy;

    const float opacity = transparency.Converted();
    const bool mask = background.value == 1 && luminanceTable;
    auto rgb = [](DWORD colorRef) {
        return ((colorRef & 0xFFu) << 16) | (colorRef & 0xFF00u) | ((colorRef >> 16) & 0xFFu);
    };
    const uint32_t settled = rgb(color.value), highlighted = rgb(highlightColor.value);
    bool walking = true;
    for (int k = 0; k < quads.quadCount; ++k) {
        if (walking) walking = NextCodeRainGlyph(*cursor, g, q[0].x, q[1].y);
        quads.SetQuadCorners(k, D3DXVECTOR3(q[0].x + sx * (g.x - q[0].x) + tx, q[1].y + sy * (g.y - q[1].y) + ty, g.z),
                             D3DXVECTOR3(g.a * sx, 0.0f, 0.0f), D3DXVECTOR3(0.0f, g.b * sy, 0.0f));
        float alpha = g.colorClass == 0 ? opacity * 0.5f : opacity;
        if (mask && g.colorClass != 2) {
            const int64_t my = int64_t{kMaskSide} * g.row / grid.rows;
            const int64_t mx = int64_t{kMaskSide} * g.column / grid.columns;
            alpha = opacity * luminanceTable[static_cast<size_t>(my * kMaskSide + mx)];
        }
        // The alpha byte is the low byte of the product: values outside
        // 0..1 wrap as they always have.
        const uint32_t a = static_cast<uint32_t>(TruncateToInt(alpha * 255.0f)) & 0xFFu;
        quads.SetQuadColor(k, ((a << 24) | (g.colorClass == 2 ? highlighted : settled)) & g.mask);
        if (DX_V::TPCT* v = quads.QuadVertices(k)) {
            v[0].u = g.u0, v[0].v = g.v1;
            v[1].u = g.u0, v[1].v = g.v0;
            v[2].u = g.u1, v[2].v = g.v1;
            v[3].u = g.u1, v[3].v = g.v0;
        }
    }
    quads.Unlock();
}

// ---------------------------------------------------------------- record --

void DS_MatrixCodeLight::WriteRecord(DS_IOF_Virtual& archive) {
    WriteRecordHeader(archive, u"DS_MatrixCodeLight", 2);
    archive.WriteUInt(cellSize.value);
    archive.WriteUInt(density.value);
    archive.WriteUInt(changeCount.value);
    WriteParam(archive, flicker);
    WriteParam(archive, background);
    WriteParam(archive, mode);
    WriteParam(archive, color);
    WriteParam(archive, highlightColor);
    archive.WriteUInt(transparency.value);
    if (DS_LayerResources* resources = GetLayerResources()) resources->PrepareLinkForSave(glyphImage);
    WriteFileLink(archive, glyphImage);
    DS_2D_Light::WriteRecord(archive);
}

DS_MatrixCodeLight* DS_MatrixCodeLight::CreateFromArchive(DS_IOF_Virtual& archive, int version) {
    std::unique_ptr<DS_MatrixCodeLight> layer(new DS_MatrixCodeLight);
    layer->ReadFields(archive, version);
    return layer.release();
}

void DS_MatrixCodeLight::ReadFields(DS_IOF_Virtual& archive, int version) {
    ReadParam(archive, cellSize);
    ReadParam(archive, density);
    ReadParam(archive, changeCount);
    ReadParam(archive, flicker);
    ReadParam(archive, background);
    ReadParam(archive, mode);
    ReadParam(archive, color);
    ReadParam(archive, highlightColor);
    ReadParam(archive, transparency);
    if (version >= 2) ReadFileLink(archive, glyphImage);
    DS_2D_Light::ReadRecord(archive, *this);
}
