// Helpers for the palette and level management widget tests: the test main
// with its QApplication, tile sheets whose every tile has its own colour, and
// reading back what a widget shows.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

namespace korvale::test {

// Tile n of sheet `variant` is one flat colour no other tile of that sheet has.
inline QColor tileColour(int n, int variant = 0) {
    return variant == 0 ? QColor(n, 255 - n, (n * 7) & 0xFF) : QColor(255 - n, (n * 3) & 0xFF, n);
}

inline bool writeSheet(const QString& path, int variant = 0) {
    QImage sheet(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            sheet.setPixelColor(x, y, tileColour(x / 8 + 16 * (y / 8), variant));
    return sheet.save(path, "BMP");
}

// The colour a widget shows at (x, y), as painted on screen.
inline QColor shownColour(QWidget* widget, int x, int y) {
    return widget->grab().toImage().pixelColor(x, y);
}

inline int runWidgetTests(int argc, char** argv) {
    // The build lists the tests by running the program, where no display is
    // set; widget tests never need one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace korvale::test
