// Undo and redo of the largest single edit there is: a 128 x 128 block
// pasted and dropped, which rewrites every cell of the map. Target: each
// under 5 ms.
#include <benchmark/benchmark.h>

#include "core/edit_tools.h"
#include "core/history.h"
#include "support/document_access.h"

namespace korvale {
namespace {

// A map with a lifted, copied and pasted whole-map block dropped one cell to
// the right and down, so the drop changes every cell it covers.
struct PastedMap {
    TrackDocument document;
    History& history = document.history();
    EditTools tools{document};

    PastedMap() {
        TrackMap::Cells cells;
        for (int i = 0; i < layout::kMapCells; ++i)
            cells[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 37 + i / 128) % 251);
        DocumentTestAccess::map(document).load(cells);
        tools.setRightTile(0xFF);
        tools.picture2_MouseDown(kLeftButton, 3, 3);
        tools.picture2_MouseMove(kLeftButton, 1020, 1020);
        tools.picture2_MouseUp(kLeftButton, 1020, 1020);
        tools.clip_Click(kClipCopy);
        tools.clip_Click(kClipPaste, 8, 8);
        tools.picture2_MouseDown(kLeftButton, 500, 500);  // the drop
        tools.picture2_MouseUp(kLeftButton, 500, 500);
    }
};

void BM_UndoPasteAndDrop(benchmark::State& state) {
    PastedMap m;
    for (auto _ : state) {
        m.tools.undo();  // the drop: the pasted block floats again
        state.PauseTiming();
        m.tools.redo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoPasteAndDrop)->Unit(benchmark::kMicrosecond);

void BM_RedoPasteAndDrop(benchmark::State& state) {
    PastedMap m;
    for (auto _ : state) {
        state.PauseTiming();
        m.tools.undo();
        state.ResumeTiming();
        m.tools.redo();
    }
}
BENCHMARK(BM_RedoPasteAndDrop)->Unit(benchmark::kMicrosecond);

// Undo of the drop and of the paste together, back to a floating whole-map
// lift, and both redone.
void BM_UndoRedoWholePaste(benchmark::State& state) {
    PastedMap m;
    for (auto _ : state) {
        m.tools.undo();
        m.tools.undo();
        m.tools.redo();
        m.tools.redo();
    }
}
BENCHMARK(BM_UndoRedoWholePaste)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korvale

BENCHMARK_MAIN();
