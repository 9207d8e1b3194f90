// frmTileSet, the "Tools" window: tool buttons, clipboard buttons, the tile
// sheet to choose the left and right tiles from, pointer previews, four tile
// slots, Swap and Transform.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "core/edit_tools.h"
#include "core/track_document.h"
#include "ui/tile_cache.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace korvale {

class TilePalette : public QWidget {
    Q_OBJECT
  public:
    TilePalette(TrackDocument& document, EditTools& tools, TileCache& tiles,
                QWidget* parent = nullptr);

    // Highlights button `index` (yellow; the others light grey), sets the
    // tool in the core and emits toolChanged so the map view sets its pointer.
    void ctool_Click(int index);
    // Emits clipRequested(index) when that clip button is enabled; the main
    // window supplies the view's top-left corner and calls the core.
    void clip_Click(int index);

    // Follows the core's state: clip buttons' enabled state, the left/right
    // tile labels and pictures, the map-tile preview (mseltile/lmseltile).
    void refreshFromTools();
    // A new tile set was loaded: show its sheet in tsetprev.
    void showSheet();

    // Tile number stored in slot 0..3 (ts1seltile, ts2seltile, tdseltile,
    // tsseltile); -1 when nothing was stored (reads as tile 0 in Swap and
    // Transform).
    int slotTile(int slot) const;

    // The palette's own handlers, public for the window and for tests.
    void tileyank(int slot, int button);
    void cmdswap_Click();
    void cmdTransform_Click();

  signals:
    void toolChanged(int index);
    void clipRequested(int index);

  private:
    class TileBox;
    class SheetBox;

    void buildTools();
    void buildPictures();
    void highlightTool(int index);
    void showTile(TileBox* box, uint8_t tile);
    void tsetprev_MouseDown(int button, double x, double y);
    void tsetprev_MouseMove(double x, double y);
    TrackDocument& document_;
    EditTools& tools_;
    TileCache& tiles_;

    std::array<QToolButton*, 8> cTool_{};
    std::array<QToolButton*, 4> clip_{};
    int shownTool_ = -1;
    SheetBox* tsetprev_ = nullptr;
    QLabel* lpseltile_ = nullptr;
    TileBox* pseltile_ = nullptr;
    QLabel* lmseltile_ = nullptr;
    TileBox* mseltile_ = nullptr;
    QLabel* llseltile_ = nullptr;
    TileBox* lseltile_ = nullptr;
    QLabel* lrseltile_ = nullptr;
    TileBox* rseltile_ = nullptr;
    std::array<TileBox*, 4> slots_{};  // ts1seltile, ts2seltile, tdseltile, tsseltile
    std::array<int, 4> slotTiles_{-1, -1, -1, -1};
};

}  // namespace korvale
