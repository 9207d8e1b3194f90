// Shared by the main window and map view tests: the QApplication, a window
// built on a copy of the demo ROM in a temporary folder, scripted answers,
// and tile sheets whose tiles can be told apart by colour.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTest>
#include <memory>

#include "core/open_rom.h"
#include "support/test_rom.h"
#include "ui/main_window.h"
#include "ui/map_view.h"
#include "ui/prompter.h"
#include "ui/tile_palette.h"

namespace korvale::test {

inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Tile n of sheet `variant` is one flat colour that no other tile of it has.
inline QColor flatTileColour(int n, int variant) {
    return QColor(n, (255 - n + 40 * variant) & 0xFF, (n * 7 + 90 * variant) & 0xFF);
}

inline bool writeFlatSheet(const QString& path, int variant) {
    QImage sheet(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            sheet.setPixelColor(x, y, flatTileColour(x / 8 + 16 * (y / 8), variant));
    return sheet.save(path, "BMP");
}

// True when the view's picture shows tile `tile`'s image at cell (x, y).
inline bool cellShows(const MapView& view, const TileCache& tiles, int x, int y, uint8_t tile) {
    const QImage cell = view.image().copy(8 * x, 8 * y, 8, 8);
    return cell == tiles.tile(tile);
}

// A window on a copy of the demo ROM. `sheets` chooses the tile sheets: the
// build's own (beside the test programs) or flat ones written here.
class WindowFixture : public ::testing::Test {
  protected:
    enum class Sheets { Build, Flat };

    void build(Sheets sheets = Sheets::Build) {
        romPath = q(dir.file("demo.smc"));
        writeBytes(romPath.toStdString(), romImage());
        MainWindow::Options options;
        options.settingsFile = q(dir.file("settings.ini"));
        if (sheets == Sheets::Flat) {
            for (int i = 0; i < 8; ++i)
                ASSERT_TRUE(writeFlatSheet(q(dir.file("t0" + std::to_string(i) + ".bmp")), i));
            options.sheetFolder = q(dir.path().string());
        } else {
            options.sheetFolder = QString(KORVALE_BIN_DIR);
        }
        window = std::make_unique<MainWindow>(session, prompter, options);
        QString error;
        ASSERT_TRUE(window->loadInitialTiles(&error)) << error.toStdString();
        window->showWithPalette();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Opens the copy through File, Open ROM.
    void openRom() {
        prompter.files.push_back(romPath);
        action("mFO")->trigger();
        ASSERT_TRUE(session.rom.isOpen());
    }

    QAction* action(const char* name) {
        auto* a = window->findChild<QAction*>(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    MapView* view() { return window->mapView(); }
    Bytes romBytes() { return readBytes(romPath.toStdString()); }

    TempDir dir;
    QString romPath;
    ScriptedPrompter prompter;
    RomSession session;
    std::unique_ptr<MainWindow> window;
};

}  // namespace korvale::test

// The tests need a QApplication; gtest's own main knows nothing of Qt. Test
// discovery runs the program without the offscreen setting, so default to it.
#define KORVALE_WIDGET_TEST_MAIN                            \
    int main(int argc, char** argv) {                       \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) \
            qputenv("QT_QPA_PLATFORM", "offscreen");        \
        QApplication app(argc, argv);                       \
        ::testing::InitGoogleTest(&argc, argv);             \
        return RUN_ALL_TESTS();                             \
    }
