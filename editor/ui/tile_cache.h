// imgtiles: the 256 tile images of the current tile set, cut once from a
// 128 x 128 tile sheet (tile n at column n mod 16, row n div 16).
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

namespace korvale {

class TileCache {
  public:
    TileCache();

    // Loads the sheet file and cuts it into tiles. A missing or unreadable
    // file gives false and a message naming it; the previous tiles stay.
    // Pixels the sheet does not cover are black.
    bool load(const QString& path, QString* error);

    // The sheet of tile set `index` (t00.bmp ...) in the program's sheet folder.
    static QString sheetPath(int index);

    // Beside the program when the sheets are there (the build, a copied
    // folder), else the installed programFolder/../share/korvale.
    static QString sheetFolder(const QString& programFolder);

    const QImage& sheet() const { return sheet_; }             // Picture3, 128 x 128
    const QImage& tile(uint8_t n) const { return tiles_[n]; }  // 8 x 8, entry n + 1

  private:
    QImage sheet_;
    std::array<QImage, 256> tiles_;
};

}  // namespace korvale
