// Loading a scene document with 50 pictures of 1024 x 1024 (TGA, 3 MB each)
// and 20 sound files of 1 MB: the header, a root with the sound list, and the
// manager section whose pictures are decoded into textures.
//
// Counters:
//   decode_share  the part of the load spent decoding pictures (the goal: the
//                 load is dominated by it)
//   held_ratio    bytes the loaded manager and root hold in file records,
//                 against the document's size (the goal: each picture's bytes
//                 held once, so about 1.0)
//   peak_rss_MB   the process's peak resident size after the loads
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "tests/support/doc_fixture.h"

namespace {

constexpr int kPictures = 50;
constexpr int kSounds = 20;
constexpr uint16_t kSide = 1024;
constexpr DWORD kSoundBytes = 1u << 20;

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

void BM_LoadDocument(benchmark::State& state) {
    static const std::vector<BYTE> document = MakeBigDocument();
    TimingDevice device;
    resfix::FakeModules modules;  // no module: every picture comes from the document
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    double total = 0;
    size_t held = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::unique_ptr<DS_IOF_Item> root(LoadSceneDocumentFromMemory(document.data(), document.size()));
        std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        held = HeldBytes(*manager, *static_cast<docfix::TestRoot*>(root.get()));
        SetCurrentDocResManager(nullptr);
        benchmark::DoNotOptimize(root.get());
    }
    SetSceneRootReader(previous);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["decode_share"] = total > 0 ? device.decodeSeconds / total : 0;
    state.counters["held_ratio"] = static_cast<double>(held) / static_cast<double>(document.size());
    state.counters["document_MB"] = static_cast<double>(document.size()) / (1 << 20);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
BENCHMARK(BM_LoadDocument)->Unit(benchmark::kMillisecond)->Iterations(5);

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

void BM_LoadDocumentOnDevice(benchmark::State& state) {
    static const std::vector<BYTE> document = MakeBigDocument();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 64;
    params.BackBufferHeight = 64;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                         D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &g_device))) {
        if (d3d) d3d->Release();
        state.SkipWithError("no Direct3D device");
        return;
    }
    SetResCurrentDeviceGetter(&CurrentForBench);
    TimedD3DX timed(GetResDevice());
    DS_ResDevice* previousDevice = SetResDevice(&timed);
    resfix::FakeModules modules;
    DS_SceneRootReader previous = SetSceneRootReader(&docfix::TestRootReader::Read);
    double total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        std::unique_ptr<DS_IOF_Item> root(LoadSceneDocumentFromMemory(document.data(), document.size()));
        std::unique_ptr<DS_DocResManager> manager(GetCurrentDocResManager());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!manager->Tables().imageCache.begin()->second.GetFrame(0)) state.SkipWithError("no texture made");
        SetCurrentDocResManager(nullptr);
    }
    SetSceneRootReader(previous);
    SetResDevice(previousDevice);
    SetResCurrentDeviceGetter(nullptr);
    g_device->Release();
    g_device = nullptr;
    d3d->Release();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["texture_share"] = total > 0 ? timed.seconds / total : 0;
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_LoadDocumentOnDevice)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
