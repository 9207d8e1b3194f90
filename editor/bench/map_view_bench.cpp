// The two repaints a user waits for: redrawtrack (the whole 1024 x 1024
// picture from the map, target under 15 ms) and a full ShowTrack on the demo
// ROM (two decodes, the tile sheet, the repaint; target under 40 ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "core/track_document.h"
#include "support/document_access.h"
#include "support/scripted_prompter.h"
#include "ui/main_window.h"
#include "ui/map_view.h"

namespace korvale {
namespace {

// The editor on a copy of the demo ROM, as the program shows it.
struct Editor {
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    TrackDocument document;
    std::unique_ptr<MainWindow> window;
    bool ready = false;

    Editor() {
        const QString rom = dir.filePath("demo.smc");
        if (!QFile::copy(KORVALE_DEMO_ROM, rom)) return;
        window = std::make_unique<MainWindow>(document, prompter, MainWindow::Options{});
        if (!window->loadInitialTiles(nullptr)) return;
        window->showWithPalette();
        ready = window->openRomFile(rom);
    }
};

// Made on first use and destroyed in main, while the application still exists.
std::unique_ptr<Editor> theEditor;

Editor& editor() {
    if (!theEditor) theEditor = std::make_unique<Editor>();
    return *theEditor;
}

void BM_redrawtrack(benchmark::State& state) {
    Editor& e = editor();
    if (!e.ready) {
        state.SkipWithError("the demo ROM or the tile sheets are missing");
        return;
    }
    for (auto _ : state) {
        e.window->redrawtrack();
        benchmark::DoNotOptimize(e.window->mapView()->image().constBits());
    }
}
BENCHMARK(BM_redrawtrack)->Unit(benchmark::kMillisecond);

void BM_ShowTrack(benchmark::State& state) {
    Editor& e = editor();
    if (!e.ready) {
        state.SkipWithError("the demo ROM or the tile sheets are missing");
        return;
    }
    int track = 0;
    for (auto _ : state) {
        // Alternate tracks (and so tile sets), as paging through them does.
        DocumentTestAccess::setChanged(e.document, false);
        if (!e.document.loadTrack(track).ok()) {
            state.SkipWithError("a track did not load");
            return;
        }
        track = (track + 5) % 24;
    }
}
BENCHMARK(BM_ShowTrack)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvale

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    korvale::theEditor.reset();
    return 0;
}
