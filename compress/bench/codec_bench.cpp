// Encode and decode speed of every format on the inputs that stress the
// encoders' searches, and the shortest-stream encoder on them and on the demo
// tracks. Run: build/bin/codec_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(ZARNI_BENCH_ZLIB)
#include <zlib.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "zarni_compress.h"
#if defined(ZARNI_BENCH_DEMO_TRACKS)
#include "demo_tracks.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// A 128 x 128 map like a race track: grass, a walled edge, a closed road
// loop with kerbs, and a few item tiles.
Bytes trackMap() {
    Bytes map(16384, 0x10);
    std::mt19937 rng(3);
    auto onRing = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            uint8_t& cell = map[y * 128 + x];
            const bool inBox = onRing(x, 12, 115) && onRing(y, 12, 115);
            const bool inHole = onRing(x, 25, 102) && onRing(y, 25, 102);
            if (x == 0 || y == 0 || x == 127 || y == 127) {
                cell = 0x01;
            } else if (inBox && !inHole) {
                const bool kerb = x == 12 || x == 115 || y == 12 || y == 115 ||
                                  ((x == 24 || x == 103) && onRing(y, 24, 103)) ||
                                  ((y == 24 || y == 103) && onRing(x, 24, 103));
                cell = kerb ? static_cast<uint8_t>(0x20 + (x + y) % 2) : 0x30;
            }
        }
    }
    for (int i = 0; i < 24; ++i) map[(14 + rng() % 10) * 128 + 14 + rng() % 100] = 0x40 + i % 4;
    return map;
}

Bytes pattern(size_t period) {
    Bytes out(65536);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(0x31 + (i % period) * 17);
    return out;
}

Bytes randomBytes(size_t size) {
    std::mt19937 rng(11);
    Bytes out(size);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

Bytes repeatedBlock() {
    std::mt19937 rng(12);
    Bytes block(300);
    for (auto& b : block) b = static_cast<uint8_t>(rng());
    Bytes out(65536);
    for (size_t i = 0; i < out.size(); ++i) out[i] = block[i % 300];
    return out;
}

Bytes pairFlood() {
    std::mt19937 rng(13);
    Bytes out(65536);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = i % 3 == 0 ? 'A' : i % 3 == 1 ? 'B' : static_cast<uint8_t>(rng());
    return out;
}

Bytes sequences() {
    std::mt19937 rng(14);
    Bytes out;
    while (out.size() < 65536) {
        uint8_t v = static_cast<uint8_t>(rng()), step = static_cast<uint8_t>(rng() % 5);
        size_t n = 4 + rng() % 60;
        for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v + step * i));
        if (rng() % 2)
            for (size_t i = 0; i < 12; ++i)
                out.push_back(i % 2 ? static_cast<uint8_t>(rng()) : 0x55);
    }
    out.resize(65536);
    return out;
}

const Bytes& input(int which) {
    // 64 KiB of random bytes cannot be coded (the stream would pass 64 KiB),
    // so 63 KiB of them measure decoding literal runs.
    static const std::vector<Bytes> inputs = {
        trackMap(),         Bytes(65536, 0), pattern(2),  pattern(3), randomBytes(65536),
        randomBytes(64512), repeatedBlock(), pairFlood(), sequences()};
    return inputs[which];
}

const char* const kInputNames[] = {"track_map_16k", "zeros_64k",      "period2_64k",
                                   "period3_64k",   "random_64k",     "random_63k",
                                   "block300_64k",  "pair_flood_64k", "sequences_64k"};

void encode(benchmark::State& state, uint32_t format, int which) {
    const Bytes& in = input(which);
    Bytes work = in, out(65536);
    uint32_t n = 0;
    for (auto _ : state) {
        work = in;
        n = ZarniRecompress(work.data(), out.data(), static_cast<uint32_t>(work.size()), 65536,
                            format, 0);
        benchmark::DoNotOptimize(n);
    }
    state.counters["stream_bytes"] = n;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void decode(benchmark::State& state, uint32_t format, int which) {
    const Bytes& in = input(which);
    Bytes work = in, stream(65536), out(65536);
    uint32_t n = ZarniRecompress(work.data(), stream.data(), static_cast<uint32_t>(work.size()),
                                 65536, format, 0);
    if (n == 0) {
        state.SkipWithError("input does not encode");
        return;
    }
    std::string path =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zarni-bench.bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(stream.data(), 1, n, f);
    std::fclose(f);
    ZarniOpenFile(path.c_str(), 0);
    uint32_t got = 0;
    for (auto _ : state) {
        got = ZarniDecompress(out.data(), 0, 65536, format, 0, nullptr);
        benchmark::DoNotOptimize(got);
    }
    ZarniCloseFile();
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * got));
}

#if defined(ZARNI_BENCH_ZLIB)
// The yardstick for encode speed: zlib at level 9 on the same input.
void zlibLevel9(benchmark::State& state, int which) {
    const Bytes& in = input(which);
    Bytes out(compressBound(static_cast<uLong>(in.size())));
    uLongf n = 0;
    for (auto _ : state) {
        n = static_cast<uLongf>(out.size());
        if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK) {
            state.SkipWithError("zlib failed");
            return;
        }
        benchmark::DoNotOptimize(n);
    }
    state.counters["stream_bytes"] = static_cast<double>(n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
#endif

using Recompress = uint32_t (*)(void*, void*, uint32_t, uint32_t, uint32_t, uint32_t);

Bytes compressed(Bytes in, Recompress recompress) {
    Bytes out(65536);
    out.resize(recompress(in.data(), out.data(), static_cast<uint32_t>(in.size()), 65536, 4, 0));
    return out;
}

void encodeSmallest(benchmark::State& state, int which) {
    const Bytes& in = input(which);
    Bytes work = in, out(65536);
    uint32_t n = 0;
    for (auto _ : state) {
        n = ZarniRecompressSmallest(work.data(), out.data(), static_cast<uint32_t>(work.size()),
                                    65536, 4, 0);
        benchmark::DoNotOptimize(n);
    }
    work = in;
    state.counters["stream_bytes"] = n;
    state.counters["default_bytes"] =
        ZarniRecompress(work.data(), nullptr, static_cast<uint32_t>(work.size()), 0, 4, 0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// Growth of the process's peak memory over one 64 KiB call, measured in a
// child so that nothing allocated before counts.
void smallestMemory(benchmark::State& state, int which) {
    const Bytes& in = input(which);
    long growthKiB = -1;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = fork();
        if (child == 0) {
            Bytes work = in, out(65536);
            rusage before{}, after{};
            getrusage(RUSAGE_SELF, &before);
            benchmark::DoNotOptimize(ZarniRecompressSmallest(
                work.data(), out.data(), static_cast<uint32_t>(work.size()), 65536, 4, 0));
            getrusage(RUSAGE_SELF, &after);
            const long growth = after.ru_maxrss - before.ru_maxrss;
            _exit(write(fds[1], &growth, sizeof growth) == sizeof growth ? 0 : 1);
        }
        close(fds[1]);
        if (read(fds[0], &growthKiB, sizeof growthKiB) != sizeof growthKiB) growthKiB = -1;
        close(fds[0]);
        waitpid(child, nullptr, 0);
    }
    if (growthKiB < 0) state.SkipWithError("the child reported nothing");
    state.counters["peak_growth_MiB"] = static_cast<double>(growthKiB) / 1024.0;
}

// A track map as a save stores it, compressed twice: the default encoder both
// times, and the shortest of smallest/smallest, default inner with smallest
// outer, and default/default.
struct Stored {
    size_t byDefault, smallest;
};

Stored store(const Bytes& map) {
    const Bytes inner = compressed(map, ZarniRecompress);
    const size_t byDefault = compressed(inner, ZarniRecompress).size();
    const size_t both =
        compressed(compressed(map, ZarniRecompressSmallest), ZarniRecompressSmallest).size();
    const size_t outer = compressed(inner, ZarniRecompressSmallest).size();
    return {byDefault, std::min({both, outer, byDefault})};
}

void bothPassesSmallest(benchmark::State& state, const Bytes& map) {
    size_t n = 0;
    for (auto _ : state) {
        n = compressed(compressed(map, ZarniRecompressSmallest), ZarniRecompressSmallest).size();
        benchmark::DoNotOptimize(n);
    }
    state.counters["stored_bytes"] = static_cast<double>(n);
}

#if defined(ZARNI_BENCH_DEMO_TRACKS)
Bytes demoMap(int track) {
    const auto map = korvale::demo::demoTrackMap(track);
    return Bytes(map.begin(), map.end());
}

// One demo track saved with the smallest option: all three ways.
void demoTrack(benchmark::State& state, int track) {
    const Bytes map = demoMap(track);
    Stored s{};
    for (auto _ : state) {
        s = store(map);
        benchmark::DoNotOptimize(s);
    }
    state.counters["default_bytes"] = static_cast<double>(s.byDefault);
    state.counters["smallest_bytes"] = static_cast<double>(s.smallest);
    state.counters["saved_percent"] = 100.0 * (1.0 - static_cast<double>(s.smallest) / s.byDefault);
}

void demoTracksTotal(benchmark::State& state) {
    std::vector<Bytes> maps;
    for (int t = 0; t < korvale::demo::kTrackCount; ++t) maps.push_back(demoMap(t));
    size_t byDefault = 0, smallest = 0, larger = 0;
    for (auto _ : state) {
        byDefault = smallest = larger = 0;
        for (const Bytes& map : maps) {
            const Stored s = store(map);
            byDefault += s.byDefault;
            smallest += s.smallest;
            larger += s.smallest > s.byDefault;
        }
    }
    state.counters["default_bytes"] = static_cast<double>(byDefault);
    state.counters["smallest_bytes"] = static_cast<double>(smallest);
    state.counters["saved_percent"] = 100.0 * (1.0 - static_cast<double>(smallest) / byDefault);
    state.counters["tracks_larger"] = static_cast<double>(larger);
}
#endif

void registerSmallest() {
    for (int which = 0; which < static_cast<int>(std::size(kInputNames)); ++which) {
        benchmark::RegisterBenchmark(
            (std::string("encode/format4_smallest/") + kInputNames[which]).c_str(), encodeSmallest,
            which)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("smallest/memory/pair_flood_64k", smallestMemory, 7)
        ->Iterations(1);
    benchmark::RegisterBenchmark("smallest/both_passes/track_map_16k", bothPassesSmallest, input(0))
        ->Unit(benchmark::kMillisecond);
#if defined(ZARNI_BENCH_DEMO_TRACKS)
    // The demo map whose default inner stream is longest.
    int longest = 0;
    size_t most = 0;
    for (int t = 0; t < korvale::demo::kTrackCount; ++t) {
        const size_t n = compressed(demoMap(t), ZarniRecompress).size();
        if (n > most) most = n, longest = t;
    }
    benchmark::RegisterBenchmark("smallest/both_passes/demo_track_longest", bothPassesSmallest,
                                 demoMap(longest))
        ->Unit(benchmark::kMillisecond);
    for (int t = 0; t < korvale::demo::kTrackCount; ++t) {
        char name[48];
        std::snprintf(name, sizeof name, "smallest/demo_track/%02d", t);
        benchmark::RegisterBenchmark(name, demoTrack, t)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("smallest/demo_tracks/all_24", demoTracksTotal)
        ->Unit(benchmark::kMillisecond);
#endif
}

int registerAll() {
    const uint32_t formats[] = {4, 0, 1, 2, 3, 100, 101};
    for (uint32_t format : formats) {
        for (int which = 0; which < static_cast<int>(std::size(kInputNames)); ++which) {
            std::string name = "format" + std::to_string(format) + "/" + kInputNames[which];
            benchmark::RegisterBenchmark(("encode/" + name).c_str(), encode, format, which)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("decode/" + name).c_str(), decode, format, which)
                ->Unit(benchmark::kMicrosecond);
        }
    }
#if defined(ZARNI_BENCH_ZLIB)
    for (int which = 0; which < static_cast<int>(std::size(kInputNames)); ++which) {
        benchmark::RegisterBenchmark((std::string("encode/zlib9/") + kInputNames[which]).c_str(),
                                     zlibLevel9, which)
            ->Unit(benchmark::kMillisecond);
    }
#endif
    registerSmallest();
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
