// Encode and decode speed of every format on the inputs that stress the
// encoders' searches. Run: build/bin/codec_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "zarni_compress.h"

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
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
