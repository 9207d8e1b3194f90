// Loading a track from the demo ROM (two decodes, the second from memory,
// then the map replaced) and saving one back (two encodes, the free-space
// search, the writes and their read-back). Target: each under 20 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/hex.h"
#include "core/track_document.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

// A private copy of the demo ROM in a folder of its own.
class RomCopy {
  public:
    RomCopy() {
        folder_ =
            fs::temp_directory_path() / ("korvale-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        path_ = (folder_ / "demo.smc").string();
        reset();
    }
    ~RomCopy() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    void reset() { fs::copy_file(KORVALE_DEMO_ROM, path_, fs::copy_options::overwrite_existing); }
    const std::string& path() const { return path_; }

  private:
    fs::path folder_;
    std::string path_;
};

bool openCopy(benchmark::State& state, TrackDocument& document, const RomCopy& copy) {
    const Outcome o = document.openRom(copy.path(), false);
    if (!o.ok()) state.SkipWithError(("cannot open the demo ROM: " + o.detail).c_str());
    return o.ok();
}

void BM_LoadTrack(benchmark::State& state) {
    RomCopy copy;
    TrackDocument document;
    if (!openCopy(state, document, copy)) return;
    int track = 0;
    for (auto _ : state) {
        if (!document.loadTrack(track).ok()) {
            state.SkipWithError("a track did not load");
            return;
        }
        benchmark::DoNotOptimize(document.map().cells().data());
        track = (track + 1) % layout::kTrackCount;
    }
}
BENCHMARK(BM_LoadTrack)->Unit(benchmark::kMillisecond);

// The first save into a fresh copy, which also grows the ROM to 16 megabits.
void BM_SaveTrackFreshCopy(benchmark::State& state) {
    RomCopy copy;
    TrackDocument document;
    int track = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copy.reset();
        bool ready = openCopy(state, document, copy);
        ready = ready && document.loadTrack(track).ok();
        if (!ready) return;
        document.DrawMap(64, 64, 0x5A);
        state.ResumeTiming();
        const Outcome o = document.saveTrack(HexPad(track, 2));
        if (!o.ok()) {
            state.SkipWithError("the save failed");
            return;
        }
        track = (track + 1) % layout::kTrackCount;
    }
}
BENCHMARK(BM_SaveTrackFreshCopy)->Unit(benchmark::kMillisecond);

// Saves into an already grown copy; a fresh one replaces it when it is full.
void BM_SaveTrackWithRoom(benchmark::State& state) {
    RomCopy copy;
    TrackDocument document;
    if (!openCopy(state, document, copy)) return;
    if (!document.loadTrack(3).ok()) return state.SkipWithError("no track");
    int cell = 0;
    for (auto _ : state) {
        document.DrawMap(cell % layout::kMapSide, cell / layout::kMapSide % layout::kMapSide, 0x21);
        ++cell;
        Outcome o = document.saveTrack("3");
        if (o.status == Status::NoSpace) {
            state.PauseTiming();
            copy.reset();
            state.ResumeTiming();
            o = document.saveTrack("3");
        }
        if (!o.ok()) return state.SkipWithError("the save failed");
    }
}
BENCHMARK(BM_SaveTrackWithRoom)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvale

BENCHMARK_MAIN();
