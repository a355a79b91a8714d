// Reading a document-sized stream of many small records through the archive
// interface, as the scene readers do: strings, ints, floats, flags, points,
// stamps and area records, about 10 MB in all.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "document/archive.h"
#include "document/archive_writer.h"
#include "document/media_area.h"

namespace {

constexpr size_t kTargetBytes = 10u << 20;

// One record: a class-name header, a few parameter values, an area, a link-like key.
void WriteRecord(DS_IOF_W& w, int i) {
    w.WriteString(i % 3 == 0 ? u"DS_FishConstructor" : u"DS_ViewObjCtrl");
    w.WriteInt(i & 7);
    w.WriteUInt(static_cast<UINT>(i));
    w.WriteLong(-i);
    w.WriteFloat(static_cast<float>(i) * 0.5f);
    w.WriteBool((i & 1) != 0);
    w.WritePair(POINT{i, -i});
    MediaRectangle area;
    area.left.value = i;
    area.bottom.value = i * 2;
    area.Write(w);
    w.WriteString(i % 5 == 0 ? u"common_res.dll" : u"");
    w.WriteInt64(static_cast<INT64>(i) << 20);
}

struct Sink {
    std::u16string name, path;
    INT version = 0;
    UINT count = 0;
    LONG offset = 0;
    float speed = 0;
    bool flag = false;
    POINT point{};
    INT64 stamp = 0;
    MediaRectangle area;
};

void ReadRecord(DS_IOF_Virtual& ar, Sink& s) {
    ar.ReadString(s.name);
    ar.ReadInt(s.version);
    ar.ReadUInt(s.count);
    ar.ReadLong(s.offset);
    ar.ReadFloat(s.speed);
    ar.ReadBool(s.flag);
    ar.ReadPair(s.point);
    s.area.ReadFields(ar);
    ar.ReadString(s.path);
    ar.ReadInt64(s.stamp);
}

const std::vector<BYTE>& Document(int& records) {
    static std::vector<BYTE> bytes;
    static int count = 0;
    if (bytes.empty()) {
        DS_IOF_W w;
        while (w.Bytes().size() < kTargetBytes) WriteRecord(w, count++);
        bytes = w.TakeBytes();
    }
    records = count;
    return bytes;
}

void BM_ReadMixedValues(benchmark::State& state) {
    int records = 0;
    const std::vector<BYTE>& bytes = Document(records);
    Sink sink;
    for (auto _ : state) {
        ResourceBuffer buffer(bytes.data(), bytes.size());
        DS_IOF_R<ResourceBuffer> reader(&buffer);
        DS_IOF_Virtual& ar = reader;
        for (int i = 0; i < records; ++i) ReadRecord(ar, sink);
        benchmark::DoNotOptimize(sink);
        if (buffer.Remaining() != 0) state.SkipWithError("stream not consumed exactly");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["values"] = benchmark::Counter(static_cast<double>(records) * 15 * state.iterations(),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadMixedValues)->Unit(benchmark::kMillisecond);

void BM_WriteMixedValues(benchmark::State& state) {
    int records = 0;
    const std::vector<BYTE>& bytes = Document(records);
    for (auto _ : state) {
        DS_IOF_W w;
        for (int i = 0; i < records; ++i) WriteRecord(w, i);
        benchmark::DoNotOptimize(w.Bytes().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_WriteMixedValues)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
