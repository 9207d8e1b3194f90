// form1, the editor's main window: the menus, the map view with its scroll
// bars and the status bar. Its commands ask the user (every question and
// message goes through the Prompter) and call the track document, and it
// shows what the document reports as changed. It owns the editing tools,
// the tile images and the palette window.
#pragma once

#include <QMainWindow>
#include <QPointF>
#include <QPointer>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "core/edit_tools.h"
#include "core/history.h"
#include "core/outcome.h"
#include "core/track_document.h"
#include "ui/level_management.h"
#include "ui/prompter.h"
#include "ui/scroll_layout.h"
#include "ui/tile_cache.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollBar;
class QSettings;
class QWheelEvent;

namespace korvale {

class MapView;
class TilePalette;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    struct Options {
        QString sheetFolder;  // empty: the program's folder
        // Where the View menu's choices are kept; empty: the user's settings.
        QString settingsFile;
    };

    MainWindow(TrackDocument& document, Prompter& prompter, Options options);
    ~MainWindow() override;

    // Form_Load's last part: the tile images of tile set 0 (nothing drawn).
    // False with a message naming the file when the sheet cannot be read.
    bool loadInitialTiles(QString* error);
    // Shows the window and the palette beside it.
    void showWithPalette();

    // --- the commands, public for tests and the program ---
    void mFO_Click();
    // Opens a ROM image without the file dialog (the command line, tests).
    bool openRomFile(const QString& path);
    // Open ROM without the dialog: the unsaved-changes question first (a
    // recent ROM, a dropped file).
    bool openRomAsking(const QString& path);
    // File > Recent ROMs: most recent first, at most kRecentRoms.
    static constexpr int kRecentRoms = 8;
    QStringList recentRoms() const;
    void mFRecent_Click(const QString& path);
    void mFRecentClear_Click();
    // File > Export Picture: the map image at 1x as a PNG file.
    void mFPicture_Click();
    void mFX_Click();
    // File > Fix ROM Checksum: asks, then makes the image's checksum pair match it.
    void mFChecksum_Click();
    void mTrack_Click(int index);
    void mTrackN_Click();
    void mTileSet_Click(int index);
    void mTS_Click();
    void mTE_Click();
    void mTi_Click();
    void mTN_Click();
    void mTOffset_Click();
    void mLevel_Click();

    // Repaints the whole map and resets the tools.
    void redrawtrack();

    // Map pixel shown at the view's top-left corner (where Paste puts a block).
    QPoint viewTopLeft() const;

    // Edit menu: undo or redo one step of the history.
    void mEUndo_Click();
    void mERedo_Click();
    // View menu. Zooming keeps the point `anchor` of the view's frame (its
    // centre when none is given) over the same map pixel where scrolling allows.
    void setZoom(int zoom, std::optional<QPointF> anchor = std::nullopt);
    int zoom() const;
    void mVGrid_Click(bool shown);
    // Shows or hides the tile numbers and remembers the choice for the next run.
    void mVTileNumbers_Click(bool shown);

    // The captions the Edit menu shows for a history step's name.
    static QString undoCaption(const std::string& stepName);
    static QString redoCaption(const std::string& stepName);

    TrackDocument& document() { return document_; }
    EditTools& tools() { return tools_; }
    History& history() { return document_.history(); }
    TileCache& tiles() { return tiles_; }
    MapView* mapView() const { return picture2_; }
    TilePalette* palette() const { return palette_; }
    LevelManagement* levelManagement() const { return levelWindow_; }
    QScrollBar* hscroll() const { return hscroll_; }
    QScrollBar* vscroll() const { return vscroll_; }
    QString panelText(const QString& key) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Busy;

    void buildMenus();
    void buildFileMenu(QMenuBar* bar);
    void buildEditMenu(QMenuBar* bar);
    // Window geometry, zoom, grid and the dialogs' folders from the last run.
    void restoreSettings();
    void setRecentRoms(const QStringList& paths);
    void buildViewMenu(QMenuBar* bar);
    // The keyboard commands: shortcuts of the window's own, menu-less actions.
    void buildKeyCommands();
    // Runs a document operation out of the user's reach, then shows its failure.
    template <typename Operation>
    bool perform(Operation operation);
    // Runs a write into the ROM image out of the user's reach; an image that
    // another program changed is written only when the user says so.
    template <typename Write>
    Outcome writeRom(Write write);
    void documentChanged(unsigned changes);
    void updateEditMenu();
    void updateViewMenu();
    // Sets a bar's value, moving the picture even when the value stays.
    void scrollTo(QScrollBar* bar, int value);
    void buildView();
    void buildStatusBar();
    void Form_Resize();
    void hscroll_Change(int value);
    void vscroll_Change(int value);
    void onToolsChanged();
    void onWheel(QWheelEvent* event);
    void runPageCommand(PageCommand command);
    void runEditCommand(EditCommand command);
    // The unsaved-changes question: true when the command may go on.
    bool mayDiscardChanges();
    void showFilePanel();
    void showFailure(const Outcome& outcome);
    QString sheetPath(int index) const;
    QString dialogFolder() const;
    std::unique_ptr<QSettings> settings() const;
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;
    ScrollGeometry geometry() const;

    TrackDocument& document_;
    Prompter& prompter_;
    Options options_;
    EditTools tools_;
    TileCache tiles_;

    MapView* picture2_ = nullptr;
    QWidget* frame_ = nullptr;
    QScrollBar* hscroll_ = nullptr;
    QScrollBar* vscroll_ = nullptr;
    TilePalette* palette_ = nullptr;
    QPointer<LevelManagement> levelWindow_;

    QMenu* mT_ = nullptr;
    QAction* mFChecksum_ = nullptr;
    QAction* mFPicture_ = nullptr;
    QMenu* mFRecent_ = nullptr;
    std::array<QAction*, kRecentRoms> mFRecentItems_{};
    QAction* mEUndo_ = nullptr;
    QAction* mERedo_ = nullptr;
    QAction* mVZoomIn_ = nullptr;
    QAction* mVZoomOut_ = nullptr;
    QAction* mVActual_ = nullptr;
    QAction* mVGrid_ = nullptr;
    QAction* mVTileNumbers_ = nullptr;
    int wheelZoom_ = 0;  // Ctrl+wheel travel not yet turned into a zoom step
    std::array<QAction*, layout::kLevelCount> mTrack_{};
    std::array<QAction*, layout::kTileSetCount> mTileSet_{};
    QLabel* panelMouse_ = nullptr;
    QLabel* panelTile_ = nullptr;
    QLabel* panelPointer_ = nullptr;
    QLabel* panelFile_ = nullptr;
    QLabel* panelDesc_ = nullptr;

    QString lastTrackFile_;
    QString lastRomFolder_;
    QString lastPictureFile_;
    bool closingAsked_ = false;  // Exit already asked; closing must not ask again
    int busyDepth_ = 0;
};

}  // namespace korvale
