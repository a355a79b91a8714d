// What the frame benchmarks share: an offscreen device of the Direct3D
// stand-in at the frame's size with the services a slide show draws through
// (the current device, the view state, one picture for every picture link,
// a resource manager), the frame loop, the calling thread's CPU time, and a
// second run of the same benchmarks under Mesa's no-op driver.
//
// The calling thread's CPU under llvmpipe is not our own: llvmpipe sets up
// and bins on the thread that draws (its other threads rasterise).  Under the
// no-op driver (GALLIUM_NOOP=1: Mesa's GL front end takes every call, the
// driver under it does nothing) what is left is our code, the stand-in and
// Mesa's GL front end: the cost a hardware driver would leave us.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "document/res_device.h"
#include "document/res_manager.h"
#include "platform/d3d9/d3d9.h"
#include "scene/current_device.h"
#include "scene/layer_resources.h"
#include "scene/slide_show.h"
#include "scene/view_2d.h"
#include "tests/support/offscreen_device.h"
#include "tests/support/scene_fixture.h"

namespace tessaloom::bench {

// A managed A8R8G8B8 texture with a pattern in every channel.
inline IDirect3DTexture9* MakePicture(IDirect3DDevice9* device, UINT w, UINT h) {
    return testing::MakeManagedTexture(device, w, h, [](UINT x, UINT y) {
        return static_cast<D3DCOLOR>(D3DCOLOR_ARGB(255, x & 255, y & 255, (x ^ y) & 255));
    });
}

// A windowed 1920 x 1080 offscreen device (or of the size given; with a depth surface when asked)
// made current together with a view state, one picture of the frame's size
// that answers every picture link, and an empty current resource manager;
// all of it released in order when the benchmark ends.  The slide show must
// be gone before this is.
class BenchDevice {
public:
    static constexpr UINT kWidth = 1920, kHeight = 1080;

    explicit BenchDevice(bool depth = false, UINT width = kWidth, UINT height = kHeight) {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d) return;
        D3DPRESENT_PARAMETERS params = testing::OffscreenParameters(width, height);
        params.EnableAutoDepthStencil = depth;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &params, &device)))
            device = nullptr;
        if (!device) return;
        CurrentDevice = device;
        current_ = device;
        SetResCurrentDeviceGetter(&Current);
        DS_SetCurrentViewState(&view);
        resources.picture.texture.Attach(MakePicture(device, width, height));
        resources.picture.width = width;
        resources.picture.height = height;
        SetLayerResources(&resources);
        manager = std::make_unique<DS_DocResManager>();
        SetCurrentDocResManager(manager.get());
    }
    BenchDevice(const BenchDevice&) = delete;
    BenchDevice& operator=(const BenchDevice&) = delete;
    ~BenchDevice() {
        if (device) {
            SetCurrentDocResManager(nullptr);
            manager.reset();
            resources.picture.texture.Release();
            SetLayerResources(nullptr);
            view.view.Teardown();
            DS_SetCurrentViewState(nullptr);
            SetResCurrentDeviceGetter(nullptr);
            CurrentDevice = nullptr;
            current_ = nullptr;
            device->Release();
        }
        if (d3d) d3d->Release();
    }

    // False (with the reason) when no device could be made.
    bool Ready(benchmark::State& state) const {
        if (device) return true;
        state.SkipWithError(d3d ? "no device" : "no Direct3D");
        return false;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    DS_ViewState view;
    testing::OnePictureResources resources;
    std::unique_ptr<DS_DocResManager> manager;

private:
    static IDirect3DDevice9* Current() { return current_; }
    static inline IDirect3DDevice9* current_ = nullptr;
};

// CPU seconds the calling thread has used.
inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// True when this process runs on Mesa's no-op driver.
inline bool NoopDriver() {
    const char* noop = std::getenv("GALLIUM_NOOP");
    return noop && *noop && std::strcmp(noop, "0") != 0 && std::strcmp(noop, "false") != 0;
}

// Frames of `root` (its slides made and initialised), one per iteration:
// FrameMove, BeginScene, Render, EndScene; Present (which waits for the
// rasteriser) outside the timing.  Answers the calling thread's mean CPU
// milliseconds per frame in the timed part, and labels the run with the
// driver it ran on.
inline double RunFrames(benchmark::State& state, DS_SlideShow_Light& root, IDirect3DDevice9* device) {
    state.SetLabel(NoopDriver() ? "noop driver" : "llvmpipe");
    double time = 0.0, cpu = 0.0;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        time += 0.033;
        root.FrameMove(time);
        device->BeginScene();
        root.Render();
        device->EndScene();
        cpu += ThreadCpuSeconds() - start;
        state.PauseTiming();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        state.ResumeTiming();
    }
    const double ms = state.iterations() > 0 ? cpu * 1e3 / static_cast<double>(state.iterations()) : 0.0;
    state.counters["cpu_us"] = ms * 1e3;
    return ms;
}

// A main that runs the benchmarks, then (unless this already is that run)
// runs this program again with the same arguments under the no-op driver,
// so one run gives both figures.  `summary` prints a process's figures after
// its benchmarks.
inline int MainWithNoopRun(int argc, char** argv, void (*summary)()) {
    std::vector<char*> original(argv, argv + argc);
    original.push_back(nullptr);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (summary) summary();
    if (NoopDriver()) return 0;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork for the no-op driver run");
        return 1;
    }
    if (child == 0) {
        setenv("GALLIUM_NOOP", "1", 1);
        execv("/proc/self/exe", original.data());
        std::perror("exec for the no-op driver run");
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the run under the no-op driver failed\n");
        return 1;
    }
    return 0;
}

}  // namespace tessaloom::bench
