// Loading a scene document with 50 pictures of 1024 x 1024 (TGA, 3 MB each)
// and 20 sound files of 1 MB: the header, a root with the sound list, and the
// manager section whose pictures are decoded into textures.
//
// Each benchmark loads the document once untimed first (cold_ms: the first
// load of the process, fresh memory everywhere); the timed loads after it
// are warm.  The time is that of the load alone (the tear-down after each
// load is not counted).
//
// BM_LoadDocument, without a device (the pictures are decoded only):
//   decode_share  the part of the load spent decoding pictures (the goal: the
//                 load is dominated by it)
//   held_ratio    bytes the loaded manager and root hold in file records,
//                 against the document's size (the goal: each picture's bytes
//                 held once, so about 1.0)
// BM_LoadDocumentOnDevice, the pictures made into managed textures of a real
// device (llvmpipe in CI):
//   texture_share     the part spent in the texture maker (decode and upload)
//   vs_decode_only    the warm load against warm device-less loads of the
//                     same document in the same run (goal: under 3)
//   cold_vs_decode_only  the same for the first load of each (when
//                     BM_LoadDocument ran first: its first load is the
//                     process's first)
//   peak_MB           the process's peak resident size during the loads on
//                     the device (the document's bytes, the loaded records,
//                     the textures in the driver and the driver itself)
//   before_MB         resident size just before them (the process, the
//                     driver and the document's bytes as the loader gets them)
//   load_peak_MB      what the loads added at their peak (the loaded records
//                     and the textures: the goal, under twice the document
//                     plus its textures, whichever way that is read)
//   textures_MB       the bytes of the textures one load makes
//   peak_vs_goal      peak_MB against twice the document plus its textures
//                     (goal: under 1)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9tex.h"
#include "tests/support/doc_fixture.h"
#include "tests/support/offscreen_device.h"

namespace {

constexpr int kPictures = 50;
constexpr int kSounds = 20;
constexpr uint16_t kSide = 1024;
constexpr DWORD kSoundBytes = 1u << 20;

std::vector<BYTE> MakeBigDocument();

// One document for every benchmark of the run.
const std::vector<BYTE>& Document() {
    static const std::vector<BYTE> document = MakeBigDocument();
    return document;
}

std::vector<BYTE> MakeBigDocument() {
    DS_IOF_W w;
    w.WriteString(u"KVL v 4.0.0");
    docfix::TestRoot root;
    root.title = u"bench";
    std::vector<BYTE> sound(kSoundBytes, 0x5A);
    for (int i = 0; i < kSounds; ++i) {
        auto item = std::make_unique<DS_AudioFile>();
        item->file.path = u"C:\\sounds\\s" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u".wav";
        item->file.SetBytes(kSoundBytes, sound.data());
        root.sounds.push_back(std::move(item));
    }
    root.Write(w);
    w.WriteString(u"DS_DocResManager");
    w.WriteInt(3);
    w.WriteUInt(kPictures);
    for (int i = 0; i < kPictures; ++i) {
        w.WriteString(u"common_res.dll");
        w.WriteInt64(1000 + i);
        w.WriteUInt(1);
        w.WriteResFile(resfix::Record(1000 + i, u"common_res.dll", u"", resfix::MakeTga(kSide, kSide, static_cast<BYTE>(i))));
    }
    w.WriteUInt(0);
    w.WriteUInt(0);
    w.WriteUInt(0);
    return w.TakeBytes();
}

// Times what the device side spends turning bytes into pictures.
class TimingDevice final : public resfix::FakeDevice {
public:
    HRESULT CreateTexture(const void* bytes, UINT size, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) override {
        auto start = std::chrono::steady_clock::now();
        HRESULT hr = FakeDevice::CreateTexture(bytes, size, texture, info);
        decodeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return hr;
    }
    double decodeSeconds = 0;
};

size_t HeldBytes(const DS_DocResManager& m, const docfix::TestRoot& root) {
    size_t n = 0;
    for (const auto& [key, files] : m.Tables().allFiles)
        for (const auto& f : files) n += f.GetSize();
    for (const auto& [key, files] : m.Tables().savedFiles)
        for (const auto& f : files) n += f.GetSize();
    for (const auto& s : root.sounds) n += s->file.GetSize();
    return n;
}

// A line of /proc/self/status in MB ("VmHWM", "VmRSS").
double StatusMB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::stod(line.substr(n + 1)) / 1024.0;
    return 0;
}

// Starts a new peak: the kernel sets the peak resident size to the present one.
void ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One load of the document as the saver does it, timed; `check` sees the
// loaded manager and root before they are torn down.
template <typename Check>
double TimedLoad(Check&& check) {
    const std::vector<BYTE>& document = Document();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<DS_IOF_Item> root(LoadSceneDocumentFromMemory(document.data(), document.size()));
    std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
    const double seconds = Seconds(start);
    check(*manager, *static_cast<docfix::TestRoot*>(root.get()));
    SetCurrentDocResManager(nullptr);
    return seconds;
}

// The mean of `loads` warm device-less loads (after one untimed).
double DecodeOnlySeconds(int loads) {
    TimingDevice device;
    resfix::FakeModules modules;  // no module: every picture comes from the document
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    auto ignore = [](const DS_DocResManager&, const docfix::TestRoot&) {};
    TimedLoad(ignore);
    double total = 0;
    for (int i = 0; i < loads; ++i) total += TimedLoad(ignore);
    SetSceneRootReader(previous);
    return total / loads;
}

// BM_LoadDocument's first load, when it ran before the device benchmark.
double g_coldDecodeOnlySeconds = 0;

void BM_LoadDocument(benchmark::State& state) {
    const std::vector<BYTE>& document = Document();
    TimingDevice device;
    resfix::FakeModules modules;  // no module: every picture comes from the document
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    size_t held = 0;
    auto hold = [&](const DS_DocResManager& m, const docfix::TestRoot& root) { held = HeldBytes(m, root); };
    const double cold = TimedLoad(hold);
    g_coldDecodeOnlySeconds = cold;
    device.decodeSeconds = 0;
    double total = 0;
    for (auto _ : state) {
        const double seconds = TimedLoad(hold);
        total += seconds;
        state.SetIterationTime(seconds);
    }
    SetSceneRootReader(previous);
    state.counters["cold_ms"] = cold * 1e3;
    state.counters["decode_share"] = total > 0 ? device.decodeSeconds / total : 0;
    state.counters["held_ratio"] = static_cast<double>(held) / static_cast<double>(document.size());
    state.counters["document_MB"] = static_cast<double>(document.size()) / (1 << 20);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

// The same with the pictures made into managed textures of a real device:
// texture_share is the part spent in the texture maker (decoding and upload).
class TimedD3DX final : public DS_ResDevice {
public:
    explicit TimedD3DX(DS_ResDevice& inner) : inner_(inner) {}
    HRESULT CreateTexture(const void* bytes, UINT size, IDirect3DTexture9** texture, D3DXIMAGE_INFO* info) override {
        auto start = std::chrono::steady_clock::now();
        HRESULT hr = inner_.CreateTexture(bytes, size, texture, info);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return hr;
    }
    HRESULT CreateTextureNoFilter(const void* b, UINT s, bool f, IDirect3DTexture9** t) override {
        return inner_.CreateTextureNoFilter(b, s, f, t);
    }
    HRESULT CreateMesh(const void* b, UINT s, DS_MeshData& m) override { return inner_.CreateMesh(b, s, m); }
    HRESULT CreateEffect(const void* b, UINT s, ID3DXEffect** e) override { return inner_.CreateEffect(b, s, e); }
    void AddRefEffect(ID3DXEffect* e) override { inner_.AddRefEffect(e); }
    void ReleaseEffect(ID3DXEffect* e) override { inner_.ReleaseEffect(e); }
    void EffectLostDevice(ID3DXEffect* e) override { inner_.EffectLostDevice(e); }
    void EffectResetDevice(ID3DXEffect* e) override { inner_.EffectResetDevice(e); }
    HRESULT SaveTextureAsDDS(IDirect3DTexture9* t, std::vector<BYTE>& b) override { return inner_.SaveTextureAsDDS(t, b); }
    double seconds = 0;

private:
    DS_ResDevice& inner_;
};

IDirect3DDevice9* g_device = nullptr;
IDirect3DDevice9* CurrentForBench() { return g_device; }

// Bytes of the textures a load made (every level; the pictures are 32-bit).
double TextureMB(const DS_DocResManager& m, benchmark::State& state) {
    double bytes = 0;
    for (const auto& [key, set] : m.Tables().imageCache) {
        for (size_t f = 0; f < set.FrameCount(); ++f) {
            IDirect3DTexture9* texture = set.GetFrame(f);
            if (!texture) continue;
            for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
                D3DSURFACE_DESC d{};
                texture->GetLevelDesc(level, &d);
                if (d.Format != D3DFMT_X8R8G8B8 && d.Format != D3DFMT_A8R8G8B8) state.SkipWithError("not a 32-bit texture");
                bytes += 4.0 * d.Width * d.Height;
            }
        }
    }
    return bytes / (1 << 20);
}

void BM_LoadDocumentOnDevice(benchmark::State& state) {
    const std::vector<BYTE>& document = Document();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params = tessaloom::testing::OffscreenParameters();
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &g_device))) {
        if (d3d) d3d->Release();
        state.SkipWithError("no Direct3D device");
        return;
    }
    const DS_CurrentDeviceGetter previousGetter = SetResCurrentDeviceGetter(&CurrentForBench);
    TimedD3DX timed(GetResDevice());
    DS_ResDevice* previousDevice = SetResDevice(&timed);
    double textures = 0, cold = 0, total = 0, before = 0, peak = 0;
    {
        resfix::FakeModules modules;
        DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
        auto check = [&](const DS_DocResManager& m, const docfix::TestRoot&) {
            if (!m.Tables().imageCache.begin()->second.GetFrame(0)) state.SkipWithError("no texture made");
            textures = TextureMB(m, state);
        };
        before = StatusMB("VmRSS");
        ResetPeak();
        cold = TimedLoad(check);
        timed.seconds = 0;
        for (auto _ : state) {
            const double seconds = TimedLoad(check);
            total += seconds;
            state.SetIterationTime(seconds);
        }
        peak = StatusMB("VmHWM");
        SetSceneRootReader(previous);
    }
    SetResDevice(previousDevice);
    SetResCurrentDeviceGetter(previousGetter);
    g_device->Release();
    g_device = nullptr;
    d3d->Release();
    // The device-less loads of the same document, now, in the same process.
    const double decodeOnly = DecodeOnlySeconds(5);
    const double warm = state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
    const double documentMB = static_cast<double>(document.size()) / (1 << 20);
    state.counters["texture_share"] = total > 0 ? timed.seconds / total : 0;
    state.counters["cold_ms"] = cold * 1e3;
    state.counters["decode_only_ms"] = decodeOnly * 1e3;
    state.counters["vs_decode_only"] = decodeOnly > 0 ? warm / decodeOnly : 0;
    if (g_coldDecodeOnlySeconds > 0) state.counters["cold_vs_decode_only"] = cold / g_coldDecodeOnlySeconds;
    state.counters["before_MB"] = before;
    state.counters["peak_MB"] = peak;
    state.counters["load_peak_MB"] = peak - before;
    state.counters["textures_MB"] = textures;
    state.counters["peak_vs_goal"] = peak / (2 * (documentMB + textures));
}
BENCHMARK(BM_LoadDocumentOnDevice)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

// One 1024 x 1024 picture of the document made into a managed texture as
// the resource device makes pictures of the executable's own resources: the
// file's size, no filter, and with the argument 1 the whole mip chain
// (box-filtered level by level), with 0 the top level alone.
void BM_PictureOnDevice(benchmark::State& state) {
    const bool mips = state.range(0) != 0;
    const std::vector<BYTE> tga = resfix::MakeTga(kSide, kSide, 0x40);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params = tessaloom::testing::OffscreenParameters();
    IDirect3DDevice9* device = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device))) {
        if (d3d) d3d->Release();
        state.SkipWithError("no Direct3D device");
        return;
    }
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(D3DXCreateTextureFromFileInMemoryEx(device, tga.data(), static_cast<UINT>(tga.size()), D3DX_DEFAULT,
                                                       D3DX_DEFAULT, mips ? D3DX_DEFAULT : 1, 0, D3DFMT_UNKNOWN,
                                                       D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                                       mips ? D3DX_DEFAULT : D3DX_FILTER_NONE, 0, nullptr, nullptr,
                                                       &texture))) {
            state.SkipWithError("no texture made");
            break;
        }
        state.PauseTiming();
        texture->Release();
        state.ResumeTiming();
    }
    device->Release();
    d3d->Release();
}
BENCHMARK(BM_PictureOnDevice)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
