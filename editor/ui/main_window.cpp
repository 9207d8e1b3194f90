#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/hex.h"
#include "core/safe_file.h"
#include "ui/level_management.h"
#include "ui/map_view.h"
#include "ui/message_text.h"
#include "ui/tile_palette.h"

namespace korvale {

namespace {

const QString kRomFilter = QStringLiteral(
    "Super MagiCom / headerless (*.smc *.sfc);;Super MagiCom (*.smc);;All Files (*.*)");
const QString kTrackFilter = QStringLiteral("SMK Track (*.mkt);;All Files (*.*)");
const QString kPictureFilter = QStringLiteral("PNG Picture (*.png);;All Files (*.*)");
const QString kTileNumbersKey = QStringLiteral("view/tileNumbers");
const QString kZoomKey = QStringLiteral("view/zoom");
const QString kGridKey = QStringLiteral("view/grid");
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kRecentKey = QStringLiteral("files/recentRoms");
const QString kRomFolderKey = QStringLiteral("files/romFolder");
const QString kTrackFileKey = QStringLiteral("files/trackFile");
const QString kPictureFileKey = QStringLiteral("files/pictureFile");
const QString kSmallestSavesKey = QStringLiteral("track/smallestSaves");

constexpr int kPanelTwips = 2540;
constexpr int kLastPanelTwips = 4233;
constexpr int kTilePanelTwips = 1200;

QString title() {
    return QString::fromStdString(layout::applicationTitle());
}
QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
QString hexText(int32_t value) {
    return QString::number(static_cast<uint32_t>(value), 16).toUpper();
}
// File names cross to the library as 8-bit strings in the system's encoding.
std::string fileNameArg(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The one local file a drag carries; empty for anything else.
QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// A history step's name as it reads after "Undo" or "Redo": the tools' own
// names where they say what happened, plainer words where they do not.
QString stepCaption(const std::string& name) {
    QString shown = qs(name);
    if (name == "Transform") shown = QStringLiteral("Replace Tile");
    if (name == "Delete") shown = QStringLiteral("Delete Block");
    return shown.replace('&', QStringLiteral("&&"));
}

}  // namespace

// Puts the window (and the palette) out of the user's reach while a load or
// a repaint runs. Questions and messages are shown outside it: a dialog with
// a disabled parent could not be answered.
class MainWindow::Busy {
  public:
    explicit Busy(MainWindow& window) : window_(window) {
        if (window_.busyDepth_++ == 0) window_.setEnabled(false);
    }
    ~Busy() {
        if (--window_.busyDepth_ == 0) window_.setEnabled(true);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

  private:
    MainWindow& window_;
};

MainWindow::MainWindow(TrackDocument& document, Prompter& prompter, Options options)
    : document_(document), prompter_(prompter), options_(std::move(options)), tools_(document) {
    setObjectName("form1");

    // Form_Load
    buildMenus();
    buildKeyCommands();
    setWindowTitle(title());
    buildView();
    buildStatusBar();

    palette_ = new TilePalette(document_, tools_, tiles_, this);
    connect(palette_, &TilePalette::toolChanged, picture2_, &MapView::setToolPointer);
    connect(palette_, &TilePalette::clipRequested, this, [this](int index) {
        const QPoint at = viewTopLeft();
        tools_.clip_Click(index, at.x(), at.y());
    });
    picture2_->setToolPointer(tools_.curtool());

    // The tile images of a tile set are made ready before the document shows it.
    document_.setTileSetLoader([this](int index, std::string* error) {
        QString message;
        if (tiles_.load(sheetPath(index), &message)) return true;
        *error = message.toStdString();
        return false;
    });
    document_.onChanged = [this](unsigned changes) { documentChanged(changes); };
    tools_.onStateChanged = [this] { onToolsChanged(); };
    history().onChanged = [this] { updateEditMenu(); };
    updateEditMenu();
    updateViewMenu();
    // The tool window is where the mouse often is; its keys undo and zoom too.
    palette_->addActions({mEUndo_, mERedo_, mVZoomIn_, mVZoomOut_, mVActual_, mVGrid_});
    palette_->addAction(mVTileNumbers_);
    restoreSettings();
    setAcceptDrops(true);
}

MainWindow::~MainWindow() {
    tools_.onStateChanged = nullptr;
    history().onChanged = nullptr;
    document_.onChanged = nullptr;
    document_.setTileSetLoader(nullptr);
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("menubar");

    buildFileMenu(bar);
    buildEditMenu(bar);

    mT_ = bar->addMenu("&Track");
    mT_->setObjectName("mT");
    mT_->menuAction()->setObjectName("mT");
    auto add = [this](QMenu* menu, const QString& caption, const char* name, auto slot) {
        QAction* a = menu->addAction(caption, this, slot);
        a->setObjectName(name);
        return a;
    };
    add(mT_, "&New Track", "mTN", &MainWindow::mTN_Click);
    add(mT_, "&Save Track to ROM", "mTS", &MainWindow::mTS_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    add(mT_, "&Import Track from File", "mTi", &MainWindow::mTi_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    add(mT_, "&Export Track to File", "mTE", &MainWindow::mTE_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    mT_->addSeparator()->setObjectName("mDiv0");

    QMenu* mTO = mT_->addMenu("&Import Track from Level in ROM");
    mTO->setObjectName("mTO");
    mTO->menuAction()->setObjectName("mTO");
    add(mTO, "(&0) Track Number", "mTrackN", &MainWindow::mTrackN_Click);
    for (int i = 0; i < layout::kLevelCount; ++i) {
        QAction* a = mTO->addAction(qs(layout::levelMenuCaption(i)));
        a->setObjectName(QString("mTrack%1").arg(i));
        a->setEnabled(false);
        connect(a, &QAction::triggered, this, [this, i] { mTrack_Click(i); });
        mTrack_[static_cast<size_t>(i)] = a;
    }

    QMenu* mTLoadT = mT_->addMenu("&Tileset");
    mTLoadT->setObjectName("mTLoadT");
    mTLoadT->menuAction()->setObjectName("mTLoadT");
    for (int i = 0; i < layout::kTileSetCount; ++i) {
        QAction* a = mTLoadT->addAction(qs(layout::tileSetMenuCaption(i)));
        a->setObjectName(QString("mTileSet%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] { mTileSet_Click(i); });
        mTileSet_[static_cast<size_t>(i)] = a;
    }

    add(mT_, "Import Level from O&ffset", "mTOffset", &MainWindow::mTOffset_Click);
    add(mT_, "Level &Management", "mLevel", &MainWindow::mLevel_Click);
    mT_->addSeparator()->setObjectName("mDiv1");
    // Saved bytes then differ from the game's own encoder, so it is a choice, off by default.
    QAction* mTSmallest = mT_->addAction("Smallest Saves (slower)");
    mTSmallest->setObjectName("mTSmallest");
    mTSmallest->setCheckable(true);
    mTSmallest->setStatusTip(
        "Save tracks in the fewest bytes the decoder accepts; off saves exactly as the game's "
        "tools do");
    connect(mTSmallest, &QAction::toggled, this, [this](bool on) {
        document_.setSaveEncoding(on ? SaveEncoding::Smallest : SaveEncoding::Exact);
        settings()->setValue(kSmallestSavesKey, on);
    });
    mTSmallest->setChecked(settings()->value(kSmallestSavesKey, false).toBool());

    buildViewMenu(bar);

    // Until a ROM is open only the File menu is usable. The menu itself is
    // disabled (not only its action), so that giving the window back after a
    // load cannot enable it again.
    mT_->setEnabled(false);
}

void MainWindow::buildFileMenu(QMenuBar* bar) {
    QMenu* mF = bar->addMenu("&File");
    mF->setObjectName("mF");
    mF->menuAction()->setObjectName("mF");
    QAction* mFO = mF->addAction("&Open ROM", this, &MainWindow::mFO_Click);
    mFO->setObjectName("mFO");
    mFO->setShortcut(QKeySequence::Open);
    mFRecent_ = mF->addMenu("&Recent ROMs");
    mFRecent_->setObjectName("mFRecent");
    mFRecent_->menuAction()->setObjectName("mFRecent");
    for (int i = 0; i < kRecentRoms; ++i) {
        QAction* a = mFRecent_->addAction(QString());
        a->setObjectName(QString("mFRecent%1").arg(i));
        connect(a, &QAction::triggered, this, [this, a] { mFRecent_Click(a->data().toString()); });
        mFRecentItems_[static_cast<size_t>(i)] = a;
    }
    mFRecent_->addSeparator();
    mFRecent_->addAction("&Clear", this, &MainWindow::mFRecentClear_Click)
        ->setObjectName("mFRecentClear");
    mF->addSeparator();
    mFPicture_ = mF->addAction("Export &Picture...", this, &MainWindow::mFPicture_Click);
    mFPicture_->setObjectName("mFPicture");
    mFPicture_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    mFPicture_->setStatusTip(
        "Writes the map as a 1024 x 1024 PNG picture, without grid or numbers");
    mFPicture_->setEnabled(false);
    mFChecksum_ = mF->addAction("Fix ROM &Checksum", this, &MainWindow::mFChecksum_Click);
    mFChecksum_->setObjectName("mFChecksum");
    mFChecksum_->setStatusTip(
        "Rewrites the internal checksum and its complement to match the image, for emulators "
        "that flag an edited ROM");
    mFChecksum_->setEnabled(false);
    mF->addSeparator();
    QAction* mFX = mF->addAction("E&xit", this, &MainWindow::mFX_Click);
    mFX->setObjectName("mFX");
    mFX->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void MainWindow::restoreSettings() {
    const auto s = settings();
    if (!restoreGeometry(s->value(kGeometryKey).toByteArray())) resize(900, 740);
    const int z = std::clamp(s->value(kZoomKey, 1).toInt(), MapView::kMinZoom, MapView::kMaxZoom);
    // Nothing is scrolled yet, so the picture stays in the corner.
    picture2_->setZoom(z);
    mVGrid_->setChecked(s->value(kGridKey, false).toBool());
    mVTileNumbers_->setChecked(s->value(kTileNumbersKey, false).toBool());
    lastRomFolder_ = s->value(kRomFolderKey).toString();
    lastTrackFile_ = s->value(kTrackFileKey).toString();
    lastPictureFile_ = s->value(kPictureFileKey).toString();
    setRecentRoms(s->value(kRecentKey).toStringList());
    updateViewMenu();
}

QStringList MainWindow::recentRoms() const {
    QStringList paths;
    for (QAction* a : mFRecentItems_)
        if (a->isVisible()) paths << a->data().toString();
    return paths;
}

// The items stay and only change: one of them may be the very item whose
// command is running.
void MainWindow::setRecentRoms(const QStringList& paths) {
    const QStringList kept = paths.mid(0, kRecentRoms);
    for (int i = 0; i < kRecentRoms; ++i) {
        QAction* a = mFRecentItems_[static_cast<size_t>(i)];
        const QString path = i < kept.size() ? kept.at(i) : QString();
        QString caption = QDir::toNativeSeparators(path).replace('&', QStringLiteral("&&"));
        a->setText(QString("&%1 %2").arg(i + 1).arg(caption));
        a->setData(path);
        a->setVisible(i < kept.size());
    }
    mFRecent_->setEnabled(!kept.isEmpty());
    settings()->setValue(kRecentKey, kept);
}

void MainWindow::buildKeyCommands() {
    // Only these exact combinations act, whichever of the window's widgets
    // has the focus; keys typed into dialogs and other windows stay theirs.
    auto key = [this](const char* name, QKeyCombination keys, auto run) {
        auto* a = new QAction(this);
        a->setObjectName(name);
        a->setShortcut(QKeySequence(keys));
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, run);
        addAction(a);
    };
    key("keyDelete", QKeyCombination(Qt::Key_Delete),
        [this] { runEditCommand(EditCommand::Delete); });
    key("keyCopy", Qt::CTRL | Qt::Key_C, [this] { runEditCommand(EditCommand::Copy); });
    key("keyPaste", Qt::CTRL | Qt::Key_V, [this] { runEditCommand(EditCommand::Paste); });
    key("keySelectAll", Qt::CTRL | Qt::Key_A, [this] { runEditCommand(EditCommand::SelectAll); });
    key("keyCut", Qt::CTRL | Qt::Key_X, [this] { runEditCommand(EditCommand::Cut); });
    key("keyNextTrack", QKeyCombination(Qt::Key_PageDown),
        [this] { runPageCommand(PageCommand::NextTrack); });
    key("keyPreviousTrack", QKeyCombination(Qt::Key_PageUp),
        [this] { runPageCommand(PageCommand::PreviousTrack); });
    key("keyNextLevel", Qt::SHIFT | Qt::Key_PageDown,
        [this] { runPageCommand(PageCommand::NextLevel); });
    key("keyPreviousLevel", Qt::SHIFT | Qt::Key_PageUp,
        [this] { runPageCommand(PageCommand::PreviousLevel); });
}

void MainWindow::buildEditMenu(QMenuBar* bar) {
    QMenu* mE = bar->addMenu("&Edit");
    mE->setObjectName("mE");
    mE->menuAction()->setObjectName("mE");
    mEUndo_ = mE->addAction("&Undo", this, &MainWindow::mEUndo_Click);
    mEUndo_->setObjectName("mEUndo");
    mEUndo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mERedo_ = mE->addAction("&Redo", this, &MainWindow::mERedo_Click);
    mERedo_->setObjectName("mERedo");
    mERedo_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
}

void MainWindow::buildViewMenu(QMenuBar* bar) {
    QMenu* mV = bar->addMenu("&View");
    mV->setObjectName("mV");
    mV->menuAction()->setObjectName("mV");
    mVZoomIn_ = mV->addAction("Zoom &In", this, [this] { setZoom(zoom() + 1); });
    mVZoomIn_->setObjectName("mVZoomIn");
    // Ctrl+= as well: on many keyboards + is = with Shift.
    mVZoomIn_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    mVZoomOut_ = mV->addAction("Zoom &Out", this, [this] { setZoom(zoom() - 1); });
    mVZoomOut_->setObjectName("mVZoomOut");
    mVZoomOut_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    mVActual_ = mV->addAction("&Actual Size", this, [this] { setZoom(MapView::kMinZoom); });
    mVActual_->setObjectName("mVActual");
    mVActual_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    mV->addSeparator();
    mVGrid_ = mV->addAction("&Grid");
    mVGrid_->setObjectName("mVGrid");
    mVGrid_->setCheckable(true);
    mVGrid_->setChecked(false);
    mVGrid_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(mVGrid_, &QAction::toggled, this, &MainWindow::mVGrid_Click);
    mVTileNumbers_ = mV->addAction("Tile &Numbers");
    mVTileNumbers_->setObjectName("mVTileNumbers");
    mVTileNumbers_->setCheckable(true);
    mVTileNumbers_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    mVTileNumbers_->setStatusTip(
        "Shows each cell's tile number over the map, from 2x zoom up (at 1x a cell is too small "
        "to hold them)");
    connect(mVTileNumbers_, &QAction::toggled, this, &MainWindow::mVTileNumbers_Click);
}

QString MainWindow::undoCaption(const std::string& stepName) {
    return stepName.empty() ? QStringLiteral("&Undo") : "&Undo " + stepCaption(stepName);
}

QString MainWindow::redoCaption(const std::string& stepName) {
    return stepName.empty() ? QStringLiteral("&Redo") : "&Redo " + stepCaption(stepName);
}

void MainWindow::updateEditMenu() {
    mEUndo_->setEnabled(history().canUndo());
    mEUndo_->setText(undoCaption(history().undoName()));
    mERedo_->setEnabled(history().canRedo());
    mERedo_->setText(redoCaption(history().redoName()));
}

void MainWindow::updateViewMenu() {
    mVZoomIn_->setEnabled(zoom() < MapView::kMaxZoom);
    mVZoomOut_->setEnabled(zoom() > MapView::kMinZoom);
    mVGrid_->setChecked(picture2_->gridShown());
}

void MainWindow::mEUndo_Click() {
    // The tools close an open paint stroke first and follow a floating block.
    tools_.undo();
}

void MainWindow::mERedo_Click() {
    tools_.redo();
}

void MainWindow::mVGrid_Click(bool shown) {
    picture2_->setGridShown(shown);
    if (mVGrid_->isChecked() != shown) mVGrid_->setChecked(shown);
    settings()->setValue(kGridKey, shown);
}

void MainWindow::mVTileNumbers_Click(bool shown) {
    picture2_->setTileNumbersShown(shown);
    if (mVTileNumbers_->isChecked() != shown) mVTileNumbers_->setChecked(shown);
    settings()->setValue(kTileNumbersKey, shown);
}

std::unique_ptr<QSettings> MainWindow::settings() const {
    if (!options_.settingsFile.isEmpty())
        return std::make_unique<QSettings>(options_.settingsFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("Korvale"), QStringLiteral("Korvale"));
}

int MainWindow::zoom() const {
    return picture2_->zoom();
}

void MainWindow::setZoom(int zoom, std::optional<QPointF> anchor) {
    zoom = std::clamp(zoom, MapView::kMinZoom, MapView::kMaxZoom);
    const int old = picture2_->zoom();
    if (zoom == old) return;
    const QPointF at = anchor.value_or(QPointF(frame_->width() / 2.0, frame_->height() / 2.0));
    const QPointF mapPoint = (at - QPointF(picture2_->pos())) / old;
    picture2_->setZoom(zoom);

    // Where the picture's corner must go for mapPoint to stay at `at`; the
    // scroll bars get the values that place it there by their own formula.
    const QPointF corner = at - mapPoint * zoom;
    const ScrollGeometry g = geometry();
    scrollTo(hscroll_, g.hscrollValueFor(corner.x(), picture2_->width()));
    scrollTo(vscroll_, g.vscrollValueFor(corner.y(), picture2_->height()));
    updateViewMenu();
    settings()->setValue(kZoomKey, zoom);
}

void MainWindow::scrollTo(QScrollBar* bar, int value) {
    {
        QSignalBlocker block(bar);
        bar->setValue(value);
    }
    if (bar == hscroll_) {
        hscroll_Change(bar->value());
    } else {
        vscroll_Change(bar->value());
    }
}

void MainWindow::buildView() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    setCentralWidget(client);
    // The layout follows the client area's size.
    client->installEventFilter(this);

    // The frame clips the 1024 x 1024 picture, which scrolling only moves.
    frame_ = new QWidget(client);
    frame_->setObjectName("mapFrame");
    picture2_ = new MapView(document_, tools_, tiles_, frame_);
    picture2_->move(0, 0);
    connect(picture2_, &MapView::wheelScrolled, this, &MainWindow::onWheel);

    vscroll_ = new QScrollBar(Qt::Vertical, client);
    vscroll_->setObjectName("vscroll");
    hscroll_ = new QScrollBar(Qt::Horizontal, client);
    hscroll_->setObjectName("hscroll");
    for (QScrollBar* bar : {vscroll_, hscroll_}) {
        bar->setRange(0, 63);
        bar->setSingleStep(1);
        bar->setPageStep(16);
        bar->setFocusPolicy(Qt::NoFocus);
    }
    connect(hscroll_, &QScrollBar::valueChanged, this, &MainWindow::hscroll_Change);
    connect(vscroll_, &QScrollBar::valueChanged, this, &MainWindow::vscroll_Change);
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("statbar");
    bar->setSizeGripEnabled(true);
    auto panel = [this, bar](const char* key, int twips) {
        auto* label = new QLabel(bar);
        label->setObjectName(key);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(static_cast<int>(std::lround(twips / twipsPerPixelX())));
        bar->addWidget(label);
        return label;
    };
    panelMouse_ = panel("mouse", kPanelTwips);
    panelTile_ = panel("tile", kTilePanelTwips);
    panelPointer_ = panel("pointer", kPanelTwips);
    panelFile_ = panel("file", kPanelTwips);
    panelDesc_ = panel("desc", kLastPanelTwips);
}

QString MainWindow::panelText(const QString& key) const {
    const auto* label = statusBar()->findChild<QLabel*>(key);
    return label ? label->text() : QString();
}

bool MainWindow::loadInitialTiles(QString* error) {
    return tiles_.load(sheetPath(0), error);
}

void MainWindow::showWithPalette() {
    show();
    const QRect frame = frameGeometry();
    palette_->move(frame.right() + 8, frame.top());
    palette_->show();
    palette_->raise();
}

QString MainWindow::sheetPath(int index) const {
    if (options_.sheetFolder.isEmpty()) return TileCache::sheetPath(index);
    return options_.sheetFolder + "/" + qs(layout::tileSheetFileName(index));
}

QString MainWindow::dialogFolder() const {
    return QCoreApplication::applicationDirPath();
}

double MainWindow::twipsPerPixelX() const {
    return 1440.0 / std::max(1, logicalDpiX());
}
double MainWindow::twipsPerPixelY() const {
    return 1440.0 / std::max(1, logicalDpiY());
}

// ---------------------------------------------------------------------------
// Layout and scrolling

ScrollGeometry MainWindow::geometry() const {
    const QWidget* client = centralWidget();
    return ScrollGeometry(client->width(), client->height(), vscroll_->sizeHint().width(),
                          hscroll_->sizeHint().height(), twipsPerPixelX(), twipsPerPixelY());
}

void MainWindow::Form_Resize() {
    if (isMinimized()) return;
    const ScrollGeometry g = geometry();
    const ScrollLayout& l = g.layout();
    vscroll_->setGeometry(g.vscrollLeft(), 0, vscroll_->sizeHint().width(), g.vscrollHeight());
    hscroll_->setGeometry(0, g.hscrollTop(), g.hscrollWidth(), hscroll_->sizeHint().height());
    frame_->setGeometry(0, 0, g.frameWidth(), g.frameHeight());

    QSignalBlocker blockV(vscroll_);
    QSignalBlocker blockH(hscroll_);
    vscroll_->setMaximum(l.vscrollMax);
    hscroll_->setMaximum(l.hscrollMax);
    vscroll_->setSingleStep(l.vscrollSmall);
    vscroll_->setPageStep(l.vscrollLarge);
    hscroll_->setSingleStep(l.hscrollSmall);
    hscroll_->setPageStep(l.hscrollLarge);
}

void MainWindow::hscroll_Change(int value) {
    picture2_->move(geometry().pictureLeft(picture2_->width(), value), picture2_->y());
}

void MainWindow::vscroll_Change(int value) {
    picture2_->move(picture2_->x(), geometry().pictureTop(picture2_->height(), value));
}

QPoint MainWindow::viewTopLeft() const {
    const int z = picture2_->zoom();
    return {std::abs(picture2_->x()) / z, std::abs(picture2_->y()) / z};
}

void MainWindow::onWheel(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        // One step per notch (120); fine-grained wheels add up to one.
        wheelZoom_ += event->angleDelta().y();
        const int steps = wheelZoom_ / 120;
        wheelZoom_ -= steps * 120;
        if (steps != 0) setZoom(zoom() + steps, QPointF(picture2_->pos()) + event->position());
        event->accept();
        return;
    }
    QPoint delta = event->angleDelta();
    QScrollBar* bar = vscroll_;
    int steps = delta.y();
    if (delta.x() != 0 && std::abs(delta.x()) > std::abs(delta.y())) {
        bar = hscroll_;
        steps = delta.x();
    } else if (event->modifiers() & Qt::ShiftModifier) {
        bar = hscroll_;
    }
    const int lines = QApplication::wheelScrollLines();
    bar->setValue(bar->value() - steps * lines * bar->singleStep() / 120);
    event->accept();
}

// ---------------------------------------------------------------------------
// Events

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == centralWidget()) Form_Resize();
    return false;
}

void MainWindow::runEditCommand(EditCommand command) {
    const QPoint at = viewTopLeft();
    tools_.run(command, at.x(), at.y());
}

void MainWindow::runPageCommand(PageCommand command) {
    // Before a ROM is open there is nothing to page through.
    if (!document_.rom().isOpen()) return;
    if (!mayDiscardChanges()) return;
    perform([&] { return document_.loadPage(command); });
}

void MainWindow::onToolsChanged() {
    picture2_->syncFromTools();
    palette_->refreshFromTools();
    panelMouse_->setText(qs(tools_.statusText()));
    const auto tile = picture2_->tileUnderPointer();
    panelTile_->setText(tile ? "Tile " + qs(HexPad(*tile, 2)) : QString());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closingAsked_ && !mayDiscardChanges()) {
        event->ignore();
        return;
    }
    event->accept();
    closingAsked_ = false;
    settings()->setValue(kGeometryKey, saveGeometry());
    if (levelWindow_) levelWindow_->hide();
    palette_->hide();
    QCoreApplication::quit();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // Questions after the drop has finished: the program the file came from
    // waits for the drop to end.
    QMetaObject::invokeMethod(
        this, [this, path] { openRomAsking(path); }, Qt::QueuedConnection);
}

bool MainWindow::mayDiscardChanges() {
    if (!document_.changed()) return true;
    return prompter_.askYesNo(messages::kUnsavedQuestion) == Prompter::Answer::No;
}

// ---------------------------------------------------------------------------
// Messages

void MainWindow::showFailure(const Outcome& o) {
    const QString text = messageText(o);
    if (!text.isEmpty()) prompter_.inform(text);
}

void MainWindow::showFilePanel() {
    const OpenRom& rom = document_.rom();
    if (rom.isOpen()) {
        panelFile_->setText(
            QString("%1, %2").arg(QFileInfo(shownFileName(rom.romFileName)).fileName(),
                                  rom.headerSize ? "header" : "no header"));
    }
    const QString caption = qs(layout::tileSetMenuCaption(document_.tileSet()));
    panelDesc_->setText(caption.isEmpty() ? QString() : "Tile set: " + caption.mid(4));
}

// ---------------------------------------------------------------------------
// The document's operations

template <typename Operation>
bool MainWindow::perform(Operation operation) {
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = operation();
    }
    // Messages after the window is back: a box over a disabled window could
    // not be answered.
    showFailure(outcome);
    return outcome.ok();
}

template <typename Write>
Outcome MainWindow::writeRom(Write write) {
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = write(false);
    }
    if (outcome.status == Status::ChangedOnDisk) {
        if (prompter_.askYesNo(messageText(outcome)) != Prompter::Answer::Yes)
            return Outcome{Status::Cancelled};
        Busy busy(*this);
        outcome = write(true);
    }
    showFailure(outcome);
    return outcome;
}

void MainWindow::documentChanged(unsigned changes) {
    const OpenRom& rom = document_.rom();
    if ((changes & TrackDocument::kRomChanged) && rom.isOpen()) {
        for (QAction* a : mTrack_) a->setEnabled(true);
        mT_->setEnabled(true);
        mFChecksum_->setEnabled(true);
        mFPicture_->setEnabled(true);
    }
    if (changes & TrackDocument::kTrackChanged) {
        const QString track = qs(HexPad(rom.curTrack, 2));
        const QString offset = hexText(rom.curOffset);
        setWindowTitle(QString("%1 - Track %2 [%3]").arg(title(), track, offset));
        panelPointer_->setText(track + ": " + offset);
    }
    if (changes & TrackDocument::kTileSetChanged) palette_->showSheet();
    // One repaint for whatever changed the whole picture; the tools start afresh.
    if (changes &
        (TrackDocument::kTileSetChanged | TrackDocument::kMapLoaded | TrackDocument::kMapRewritten))
        redrawtrack();
    showFilePanel();
}

void MainWindow::redrawtrack() {
    Busy busy(*this);
    picture2_->redrawtrack();
    tools_.ResetTools();
}

void MainWindow::mTileSet_Click(int index) {
    perform([&] { return document_.setTileSet(index); });
}

bool MainWindow::openRomFile(const QString& path) {
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = document_.openRom(fileNameArg(path), false);
    }
    if (outcome.status == Status::ForeignTitle) {
        if (prompter_.askYesNo(messageFor(Status::ForeignTitle).text) != Prompter::Answer::Yes)
            return false;
        Busy busy(*this);
        outcome = document_.openRom(fileNameArg(path), true);
    }
    showFailure(outcome);
    if (!outcome.ok()) return false;
    const QFileInfo opened(path);
    lastRomFolder_ = opened.absolutePath();
    settings()->setValue(kRomFolderKey, lastRomFolder_);
    QStringList recent = recentRoms();
    recent.removeAll(opened.absoluteFilePath());
    recent.prepend(opened.absoluteFilePath());
    setRecentRoms(recent);
    return true;
}

bool MainWindow::openRomAsking(const QString& path) {
    if (!mayDiscardChanges()) return false;
    return openRomFile(path);
}

// ---------------------------------------------------------------------------
// Menu commands

void MainWindow::mFO_Click() {
    if (!mayDiscardChanges()) return;
    const QString folder = lastRomFolder_.isEmpty() ? dialogFolder() : lastRomFolder_;
    const QString path = prompter_.openFileName("Open ROM", kRomFilter, folder);
    if (path.isEmpty()) return;
    openRomFile(path);
}

void MainWindow::mFRecent_Click(const QString& path) {
    if (!QFileInfo::exists(path)) {
        prompter_.inform(QString(messages::kRecentRomMissing).arg(QDir::toNativeSeparators(path)));
        QStringList recent = recentRoms();
        recent.removeAll(path);
        setRecentRoms(recent);
        return;
    }
    openRomAsking(path);
}

void MainWindow::mFRecentClear_Click() {
    setRecentRoms({});
}

void MainWindow::mFPicture_Click() {
    if (!document_.rom().isOpen()) return;
    const QString start = lastPictureFile_.isEmpty() ? dialogFolder() : lastPictureFile_;
    const QString path = prompter_.saveFileName("Export Picture", kPictureFilter, start);
    if (path.isEmpty()) return;
    lastPictureFile_ = path;
    settings()->setValue(kPictureFileKey, path);
    // The whole file in memory first, so the disk gets all of it or nothing.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    FileResult written{FileFault::Other, "the picture could not be made"};
    if (picture2_->image().save(&buffer, "PNG"))
        written = writeFileAtomically(fileNameArg(path), png.constData(),
                                      static_cast<size_t>(png.size()));
    if (!written.ok())
        showFailure(Outcome{Status::FileFailed, fileNameArg(path), 0, written.reason});
}

void MainWindow::mFX_Click() {
    if (!mayDiscardChanges()) return;
    closingAsked_ = true;
    close();
}

void MainWindow::mTrack_Click(int index) {
    if (index < 0 || index >= layout::kLevelCount) return;
    if (!mayDiscardChanges()) return;
    perform([&] { return document_.loadLevel(index); });
}

void MainWindow::mTrackN_Click() {
    if (!mayDiscardChanges()) return;
    const QString answer = prompter_.inputText(messages::kTrackNumberPrompt, "0");
    if (answer.trimmed().isEmpty()) return;
    const auto number = parseDecimalAnswer(answer.toStdString());
    if (!number || *number >= static_cast<uint32_t>(layout::kTrackCount)) {
        prompter_.inform(QString(messages::kNotATrackNumber).arg(answer.trimmed()));
        return;
    }
    perform([&] { return document_.loadTrack(static_cast<int>(*number)); });
}

void MainWindow::mTS_Click() {
    if (!document_.rom().isOpen()) return;
    const QString answer =
        prompter_.inputText(messages::kSavePrompt, qs(HexPad(document_.rom().curTrack, 2)));
    const std::string typed = answer.toStdString();
    const Outcome outcome =
        writeRom([&](bool overwrite) { return document_.saveTrack(typed, overwrite); });
    if (outcome.ok()) prompter_.inform(messages::kTrackSavedToRom);
}

void MainWindow::mFChecksum_Click() {
    if (!document_.rom().isOpen()) return;
    const QString file = shownFileName(document_.rom().romFileName);
    if (prompter_.askYesNo(QString(messages::kFixChecksumQuestion).arg(file)) !=
        Prompter::Answer::Yes)
        return;
    RomChecksum before;
    const Outcome outcome =
        writeRom([&](bool overwrite) { return document_.fixChecksum(before, overwrite); });
    if (!outcome.ok()) return;
    const auto word = [](uint16_t value) { return qs(HexPad(value, 4)); };
    const uint16_t complement = static_cast<uint16_t>(before.computed ^ 0xFFFF);
    if (before.matches()) {
        prompter_.inform(
            QString(messages::kChecksumCorrect).arg(file, word(before.stored), word(complement)));
    } else {
        prompter_.inform(QString(messages::kChecksumFixed)
                             .arg(file, word(before.computed), word(complement),
                                  word(before.stored), word(before.complement)));
    }
}

void MainWindow::mTE_Click() {
    const QString start = lastTrackFile_.isEmpty() ? dialogFolder() : lastTrackFile_;
    const QString path = prompter_.saveFileName("Export Track", kTrackFilter, start);
    if (path.isEmpty()) return;
    lastTrackFile_ = path;
    settings()->setValue(kTrackFileKey, path);
    if (perform([&] { return document_.exportTrack(fileNameArg(path)); }))
        prompter_.inform(messages::kTrackFileSaved);
}

void MainWindow::mTi_Click() {
    if (!mayDiscardChanges()) return;
    const QString start = lastTrackFile_.isEmpty() ? dialogFolder() : lastTrackFile_;
    const QString path = prompter_.openFileName("Import Track", kTrackFilter, start);
    if (path.isEmpty()) return;
    lastTrackFile_ = path;
    settings()->setValue(kTrackFileKey, path);
    perform([&] { return document_.importTrack(fileNameArg(path)); });
}

void MainWindow::mTN_Click() {
    if (!mayDiscardChanges()) return;
    Busy busy(*this);
    document_.newTrack(tools_.rightTile());
}

void MainWindow::mTOffset_Click() {
    if (!mayDiscardChanges()) return;
    const OpenRom& rom = document_.rom();
    const int shown = std::min<int>(rom.curTrack, layout::kTrackCount - 1);
    const QString answer = prompter_.inputText(
        messages::kOffsetPrompt, hexText(rom.trackOffset[static_cast<size_t>(shown)]));
    // An empty (or cancelled) answer loads track 0 from its usual place.
    perform([&] { return document_.importFromOffset(answer.toStdString()); });
}

void MainWindow::mLevel_Click() {
    if (!levelWindow_) {
        levelWindow_ = new LevelManagement(document_, prompter_, this);
        levelWindow_->setWindowFlag(Qt::Window, true);
        connect(levelWindow_, &LevelManagement::finished, this, [this](bool) {
            raise();
            activateWindow();
        });
        const QRect frame = frameGeometry();
        levelWindow_->move(frame.left() + 60, frame.top() + 60);
    }
    levelWindow_->show();
    levelWindow_->raise();
    levelWindow_->activateWindow();
}

}  // namespace korvale
