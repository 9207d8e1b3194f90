#include "ui/tile_cache.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <cstring>

#include "core/rom_layout.h"

namespace korvale {

namespace {

constexpr int kTileSide = 8;
constexpr int kSheetSide = 128;

QImage blackImage(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

}  // namespace

TileCache::TileCache() : sheet_(blackImage(kSheetSide)) {
    tiles_.fill(blackImage(kTileSide));
}

QString TileCache::sheetPath(int index) {
    return sheetFolder(QCoreApplication::applicationDirPath()) + "/" +
           QString::fromStdString(layout::tileSheetFileName(index));
}

QString TileCache::sheetFolder(const QString& programFolder) {
    const QString first = QString::fromStdString(layout::tileSheetFileName(0));
    const QString installed = QDir::cleanPath(programFolder + "/../share/korvale");
    if (!QFileInfo::exists(programFolder + "/" + first) &&
        QFileInfo::exists(installed + "/" + first))
        return installed;
    return programFolder;
}

bool TileCache::load(const QString& path, QString* error) {
    QImageReader reader(path);
    QImage loaded = reader.read();
    if (loaded.isNull()) {
        if (error) {
            const QString why = QFileInfo::exists(path) ? reader.errorString()
                                                        : QStringLiteral("the file does not exist");
            *error = QStringLiteral("Unable to load the tile sheet %1 (%2).")
                         .arg(QDir::toNativeSeparators(path), why);
        }
        return false;
    }

    // Picture3: the sheet on black, so a small sheet leaves the rest black.
    QImage sheet = blackImage(kSheetSide);
    {
        QPainter painter(&sheet);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, loaded.convertToFormat(QImage::Format_RGB32));
    }

    std::array<QImage, 256> tiles;
    for (int n = 0; n < 256; ++n) {
        const int left = kTileSide * (n % 16);
        const int top = kTileSide * (n / 16);
        tiles[static_cast<size_t>(n)] = sheet.copy(left, top, kTileSide, kTileSide);
    }
    sheet_ = std::move(sheet);
    tiles_ = std::move(tiles);
    return true;
}

}  // namespace korvale
