#include "ui/main_window.h"

#include "ui/file_messages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/hex.h"
#include "core/track_file.h"
#include "ui/level_management.h"
#include "ui/map_view.h"
#include "ui/tile_palette.h"

namespace korvale {

namespace {

const QString kUnsavedQuestion =
    QStringLiteral("Would you like to save changes: Track->Export/Save to ROM");
const QString kForeignQuestion =
    QStringLiteral("This file does not look like a Super Mario Kart ROM image. Open it anyway?");
const QString kRomFilter = QStringLiteral(
    "Super MagiCom / headerless (*.smc *.sfc);;Super MagiCom (*.smc);;All Files (*.*)");
const QString kTrackFilter = QStringLiteral("SMK Track (*.mkt);;All Files (*.*)");
const QString kTileNumbersKey = QStringLiteral("view/tileNumbers");

// Layout constants in twips, measured from the window's outer edges.
constexpr int kVscrollFromRight = 390;
constexpr int kVscrollShorter = 1185;
constexpr int kHscrollFromBottom = 1200;
constexpr int kHscrollNarrower = 375;
constexpr int kScrollMaxLimit = 32767;
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
QString shownName(const std::string& path) {
    return QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(path)));
}

// A history step's name as it reads after "Undo" or "Redo": the tools' own
// names where they say what happened, plainer words where they do not.
QString stepCaption(const std::string& name) {
    QString shown = qs(name);
    if (name == "Transform") shown = QStringLiteral("Replace Tile");
    if (name == "Delete") shown = QStringLiteral("Delete Block");
    return shown.replace('&', QStringLiteral("&&"));
}

// Rounds halves to the even neighbour, as the scroll changes are specified.
int roundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

int vbKeyCode(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Delete:
            return kKeyDelete;
        case Qt::Key_PageDown:
            return kKeyPageDown;
        case Qt::Key_PageUp:
            return kKeyPageUp;
        default:
            break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;  // same codes as the letters
    return 0;
}

int shiftBits(Qt::KeyboardModifiers modifiers) {
    int bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= kShiftKey;
    if (modifiers & Qt::ControlModifier) bits |= kCtrlKey;
    if (modifiers & Qt::AltModifier) bits |= kAltKey;
    return bits;
}

}  // namespace

ScrollLayout computeScrollLayout(int w, int h) {
    ScrollLayout l;
    l.vscrollLeft = std::max(0, w - kVscrollFromRight);
    l.vscrollHeight = std::max(0, h - kVscrollShorter);
    l.hscrollTop = std::max(0, h - kHscrollFromBottom);
    l.hscrollWidth = std::max(0, w - kHscrollNarrower);
    // A maximum of 0 would make the proportional placement divide by zero.
    l.vscrollMax = std::clamp(h, 1, kScrollMaxLimit);
    l.hscrollMax = std::clamp(w, 1, kScrollMaxLimit);
    l.vscrollSmall = roundHalfEven(l.vscrollMax / 128.0);
    l.vscrollLarge = roundHalfEven(l.vscrollMax / 4.0);
    l.hscrollSmall = roundHalfEven(l.hscrollMax / 128.0);
    l.hscrollLarge = roundHalfEven(l.hscrollMax / 4.0);
    return l;
}

double scrolledEdge(double pictureTwips, double visibleTwips, int value, int maximum) {
    if (maximum <= 0) return 0;
    const double edge = -(pictureTwips - visibleTwips) * value / maximum;
    return edge > 0 ? 0 : edge;
}

int scrollValueFor(double edgeTwips, double pictureTwips, double visibleTwips, int maximum) {
    const double span = pictureTwips - visibleTwips;
    if (maximum <= 0 || span <= 0) return 0;
    const double value = std::round(-edgeTwips * maximum / span);
    return static_cast<int>(std::clamp(value, 0.0, static_cast<double>(maximum)));
}

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

MainWindow::MainWindow(RomSession& session, Prompter& prompter, Options options)
    : session_(session),
      prompter_(prompter),
      options_(std::move(options)),
      tools_(session),
      history_(session.map) {
    setObjectName("form1");
    tools_.setHistory(&history_);

    // Form_Load
    buildMenus();
    setWindowTitle(title());
    buildView();
    buildStatusBar();

    palette_ = new TilePalette(session_, tools_, tiles_, &history_, this);
    connect(palette_, &TilePalette::toolChanged, picture2_, &MapView::setToolPointer);
    connect(palette_, &TilePalette::clipRequested, this, [this](int index) {
        const QPoint at = viewTopLeft();
        tools_.clip_Click(index, at.x(), at.y());
    });
    connect(palette_, &TilePalette::mapRewritten, this, &MainWindow::redrawtrack);
    picture2_->setToolPointer(tools_.curtool());

    tools_.onStateChanged = [this] { onToolsChanged(); };
    history_.onChanged = [this] { updateEditMenu(); };
    updateEditMenu();
    updateViewMenu();
    // The tool window is where the mouse often is; its keys undo and zoom too.
    palette_->addActions({mEUndo_, mERedo_, mVZoomIn_, mVZoomOut_, mVActual_, mVGrid_});
    palette_->addAction(mVTileNumbers_);
    mVTileNumbers_->setChecked(settings()->value(kTileNumbersKey, false).toBool());

    qApp->installEventFilter(this);
    resize(900, 740);
}

MainWindow::~MainWindow() {
    // A window may outlive the application object (a static in a tool).
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
    tools_.onStateChanged = nullptr;
    history_.onChanged = nullptr;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("menubar");

    QMenu* mF = bar->addMenu("&File");
    mF->setObjectName("mF");
    mF->menuAction()->setObjectName("mF");
    QAction* mFO = mF->addAction("&Open ROM", this, &MainWindow::mFO_Click);
    mFO->setObjectName("mFO");
    mFO->setShortcut(QKeySequence::Open);
    QAction* mFX = mF->addAction("E&xit", this, &MainWindow::mFX_Click);
    mFX->setObjectName("mFX");
    mFX->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

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

    buildViewMenu(bar);

    // Until a ROM is open only the File menu is usable. The menu itself is
    // disabled (not only its action), so that giving the window back after a
    // load cannot enable it again.
    mT_->setEnabled(false);
}

void MainWindow::buildEditMenu(QMenuBar* bar) {
    QMenu* mE = bar->addMenu("&Edit");
    mE->setObjectName("mE");
    mE->menuAction()->setObjectName("mE");
    // The shortcuts are these actions' alone: a disabled action lets the key
    // through to the key filter, which leaves it alone.
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
    mEUndo_->setEnabled(history_.canUndo());
    mEUndo_->setText(undoCaption(history_.undoName()));
    mERedo_->setEnabled(history_.canRedo());
    mERedo_->setText(redoCaption(history_.redoName()));
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
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const QSize form = formSizeTwips();
    scrollTo(hscroll_, scrollValueFor(corner.x() * tx, picture2_->width() * tx,
                                      form.width() - kHscrollNarrower, hscroll_->maximum()));
    scrollTo(vscroll_, scrollValueFor(corner.y() * ty, picture2_->height() * ty,
                                      form.height() - kVscrollShorter, vscroll_->maximum()));
    updateViewMenu();
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

    // The frame clips the 1024 x 1024 picture, which scrolling only moves.
    frame_ = new QWidget(client);
    frame_->setObjectName("mapFrame");
    picture2_ = new MapView(session_.map, tools_, tiles_, frame_);
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

QSize MainWindow::formSizeTwips() const {
    // The layout's constants assume the scroll bars' thickness inside a
    // window's outer size. Measuring from our own client area and scroll bar
    // extent keeps the bars flush with the right and bottom edges whatever
    // frame the platform draws.
    const QWidget* client = centralWidget();
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const int barW = vscroll_->sizeHint().width();
    const int barH = hscroll_->sizeHint().height();
    const double w = (client->width() - barW) * tx + kVscrollFromRight;
    const double h = (client->height() - barH) * ty + kHscrollFromBottom;
    const auto clampInt = [](double v) {
        return static_cast<int>(std::clamp(v, 0.0, double(std::numeric_limits<int>::max())));
    };
    return {clampInt(std::lround(w)), clampInt(std::lround(h))};
}

void MainWindow::Form_Resize() {
    if (isMinimized()) return;
    const QSize form = formSizeTwips();
    const ScrollLayout l = computeScrollLayout(form.width(), form.height());
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    const auto px = [](double twips, double perPixel) {
        return static_cast<int>(std::lround(twips / perPixel));
    };
    const int barW = vscroll_->sizeHint().width();
    const int barH = hscroll_->sizeHint().height();
    vscroll_->setGeometry(px(l.vscrollLeft, tx), 0, barW, px(l.vscrollHeight, ty));
    hscroll_->setGeometry(0, px(l.hscrollTop, ty), px(l.hscrollWidth, tx), barH);
    frame_->setGeometry(0, 0, px(l.vscrollLeft, tx), px(l.hscrollTop, ty));

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
    const double tx = twipsPerPixelX();
    const QSize form = formSizeTwips();
    const double left = scrolledEdge(picture2_->width() * tx, form.width() - kHscrollNarrower,
                                     value, hscroll_->maximum());
    picture2_->move(static_cast<int>(std::lround(left / tx)), picture2_->y());
}

void MainWindow::vscroll_Change(int value) {
    const double ty = twipsPerPixelY();
    const QSize form = formSizeTwips();
    const double top = scrolledEdge(picture2_->height() * ty, form.height() - kVscrollShorter,
                                    value, vscroll_->maximum());
    picture2_->move(picture2_->x(), static_cast<int>(std::lround(top / ty)));
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

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
}

// ---------------------------------------------------------------------------
// Events

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == centralWidget()) {
        Form_Resize();
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Keys typed into a dialog or another window are theirs.
    if (!widget || widget->window() != this || QApplication::activeModalWidget()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = vbKeyCode(key->key());
    if (code == 0) return false;
    return Form_KeyDown(code, shiftBits(key->modifiers()));
}

bool MainWindow::Form_KeyDown(int keyCode, int shift) {
    const bool acts =
        (keyCode == kKeyDelete && shift == 0) ||
        (shift == kCtrlKey &&
         (keyCode == kKeyC || keyCode == kKeyV || keyCode == kKeyA || keyCode == kKeyX)) ||
        ((keyCode == kKeyPageDown || keyCode == kKeyPageUp) && (shift == 0 || shift == kShiftKey));
    const QPoint at = viewTopLeft();
    const PageCommand command = tools_.Form_KeyDown(keyCode, shift, at.x(), at.y());
    if (command != PageCommand::None) runPageCommand(command);
    return acts;
}

void MainWindow::runPageCommand(PageCommand command) {
    // Before a ROM is open there is nothing to page through.
    if (!session_.rom.isOpen()) return;
    if (!mayDiscardChanges()) return;
    int track = 0;
    int level = session_.rom.curLevel;
    if (!pageTarget(command, session_.rom, track, level)) return;
    if (ShowTrack(track, 0)) session_.rom.curLevel = static_cast<uint8_t>(level);
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
    if (levelWindow_) levelWindow_->hide();
    palette_->hide();
    QCoreApplication::quit();
}

bool MainWindow::mayDiscardChanges() {
    if (!session_.rom.changed) return true;
    return prompter_.askYesNo(kUnsavedQuestion) == Prompter::Answer::No;
}

// ---------------------------------------------------------------------------
// Messages

void MainWindow::showFailure(const Outcome& o) {
    const QString file = shownName(o.detail);
    QString text;
    switch (o.status) {
        case Status::Ok:
        case Status::Cancelled:
            return;
        case Status::LibraryMissing:
            text = qs(o.detail);
            break;
        case Status::CannotOpen:
            text = QString("Unable to open the file %1.").arg(file);
            break;
        case Status::CannotRead:
            text = QString("Unable to read the file %1: it ends before the data.").arg(file);
            break;
        case Status::NotARomImage:
            text = QString(
                       "The file %1 is not a ROM image: its size is not a whole number of "
                       "kilobytes, with or without a 512-byte copier header.")
                       .arg(file);
            break;
        case Status::TooSmall:
            text = QString("The file %1 is too small to hold the game's track tables.").arg(file);
            break;
        case Status::ForeignTitle:
            text = kForeignQuestion;
            break;
        case Status::BadTrackNumber:
            text = QString("There is no track number %1: track numbers run from 0 to 23.")
                       .arg(o.value);
            break;
        case Status::CompressFailed:
            text = QStringLiteral("The track could not be compressed, so nothing was saved.");
            break;
        case Status::NoSpace:
            text = QStringLiteral(
                "Unable to save file, either there is no more space in the ROM\r\nor the file is "
                "Read-Only.");
            break;
        case Status::CannotWrite:
            text = QString("Unable to write the file %1.").arg(file);
            break;
        case Status::FileFailed:
            text = fileFailedMessage(o.detail, o.reason);
            break;
        case Status::ChangedOnDisk:
            text = changedOnDiskQuestion(o.detail);
            break;
        case Status::BadTrackFile:
            text = QString(
                       "The file %1 is not a track file: it must hold 16,385 bytes, the last "
                       "one a tile set from 0 to 7.")
                       .arg(file);
            break;
    }
    prompter_.inform(text);
}

void MainWindow::showFilePanel() {
    const OpenRom& rom = session_.rom;
    if (rom.isOpen()) {
        panelFile_->setText(QString("%1, %2").arg(QFileInfo(shownName(rom.romFileName)).fileName(),
                                                  rom.headerSize ? "header" : "no header"));
    }
    const int set = rom.curTheme >> 1;
    const QString caption = qs(layout::tileSetMenuCaption(set));
    panelDesc_->setText(caption.isEmpty() ? QString() : "Tile set: " + caption.mid(4));
}

// ---------------------------------------------------------------------------
// Loading

bool MainWindow::loadTileSet(int index) {
    QString error;
    bool loaded = false;
    {
        Busy busy(*this);
        loaded = tiles_.load(sheetPath(index), &error);
    }
    if (!loaded) prompter_.inform(error);
    return loaded;
}

void MainWindow::redrawtrack() {
    Busy busy(*this);
    picture2_->redrawtrack();
    tools_.ResetTools();
}

void MainWindow::mTileSet_Click(int index) {
    if (index < 0 || index >= layout::kTileSetCount) return;
    if (!loadTileSet(index)) return;
    session_.setTileSet(index);
    palette_->showSheet();
    redrawtrack();
    showFilePanel();
}

bool MainWindow::ShowTrack(int tracknum, int32_t coffset) {
    LoadedTrack loaded;
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = session_.readTrack(tracknum, coffset, loaded);
    }
    if (!outcome.ok()) {
        showFailure(outcome);
        return false;
    }
    // The tile set before the map: a missing sheet must leave everything as it was.
    if (!loadTileSet(loaded.tileSet)) return false;

    Busy busy(*this);
    session_.applyTrack(loaded);
    session_.setTileSet(loaded.tileSet);
    const QString track = qs(HexPad(loaded.track, 2));
    const QString offset = hexText(loaded.offset);
    setWindowTitle(QString("%1 - Track %2 [%3]").arg(title(), track, offset));
    panelPointer_->setText(track + ": " + offset);
    palette_->showSheet();
    redrawtrack();
    // The load itself is no edit to undo.
    history_.clear();
    showFilePanel();
    return true;
}

bool MainWindow::openRomFile(const QString& path) {
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = session_.openRom(fileNameArg(path), false);
    }
    if (outcome.status == Status::ForeignTitle) {
        if (prompter_.askYesNo(kForeignQuestion) != Prompter::Answer::Yes) return false;
        Busy busy(*this);
        outcome = session_.openRom(fileNameArg(path), true);
    }
    if (!outcome.ok()) {
        showFailure(outcome);
        return false;
    }
    lastRomFolder_ = QFileInfo(path).absolutePath();
    for (QAction* a : mTrack_) a->setEnabled(true);
    mT_->setEnabled(true);
    history_.clear();
    showFilePanel();
    ShowTrack(session_.rom.levelTrack[0], 0);
    return true;
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

void MainWindow::mFX_Click() {
    if (!mayDiscardChanges()) return;
    closingAsked_ = true;
    close();
}

void MainWindow::mTrack_Click(int index) {
    if (index < 0 || index >= layout::kLevelCount) return;
    if (!mayDiscardChanges()) return;
    const uint8_t previous = session_.rom.curLevel;
    session_.rom.curLevel = static_cast<uint8_t>(index);
    if (!ShowTrack(session_.rom.levelTrack[static_cast<size_t>(index)], 0))
        session_.rom.curLevel = previous;
}

void MainWindow::mTrackN_Click() {
    if (!mayDiscardChanges()) return;
    const QString answer = prompter_.inputText("Track Number", "0");
    if (answer.trimmed().isEmpty()) return;
    const auto number = parseDecimalAnswer(answer.toStdString());
    if (!number || *number >= static_cast<uint32_t>(layout::kTrackCount)) {
        prompter_.inform(QString("\"%1\" is not a track number: track numbers run from 0 to 23.")
                             .arg(answer.trimmed()));
        return;
    }
    ShowTrack(static_cast<int>(*number), 0);
}

void MainWindow::mTS_Click() {
    if (!session_.rom.isOpen()) return;
    const QString answer =
        prompter_.inputText("Save To Track Number (Hex)", qs(HexPad(session_.rom.curTrack, 2)));
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = session_.saveTrack(answer.toStdString());
    }
    if (outcome.status == Status::ChangedOnDisk) {
        if (prompter_.askYesNo(changedOnDiskQuestion(outcome.detail)) != Prompter::Answer::Yes)
            return;
        Busy busy(*this);
        outcome = session_.saveTrack(answer.toStdString(), true);
    }
    if (outcome.status == Status::Cancelled) return;
    if (outcome.status == Status::BadTrackNumber) {
        prompter_.inform(
            QString("There is no track number %1: track numbers run from 00 to 17 (hexadecimal).")
                .arg(qs(HexPad(static_cast<int32_t>(outcome.value), 2))));
        return;
    }
    if (!outcome.ok()) {
        showFailure(outcome);
        return;
    }
    prompter_.inform("Track saved succesfully!");
    Outcome reread;
    {
        Busy busy(*this);
        reread = session_.LoadTrackOffsetList();
    }
    if (!reread.ok()) {
        showFailure(reread);
        return;
    }
    ShowTrack(session_.rom.curTrack, 0);
}

void MainWindow::mTE_Click() {
    const QString start = lastTrackFile_.isEmpty() ? dialogFolder() : lastTrackFile_;
    const QString path = prompter_.saveFileName("Export Track", kTrackFilter, start);
    if (path.isEmpty()) return;
    lastTrackFile_ = path;
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = session_.exportTrack(fileNameArg(path));
    }
    if (!outcome.ok()) {
        showFailure(outcome);
        return;
    }
    prompter_.inform("Track Saved");
}

void MainWindow::mTi_Click() {
    if (!mayDiscardChanges()) return;
    const QString start = lastTrackFile_.isEmpty() ? dialogFolder() : lastTrackFile_;
    const QString path = prompter_.openFileName("Import Track", kTrackFilter, start);
    if (path.isEmpty()) return;
    lastTrackFile_ = path;
    TrackFile file;
    Outcome outcome;
    {
        Busy busy(*this);
        outcome = readTrackFile(session_.zarni(), fileNameArg(path), file);
    }
    if (!outcome.ok()) {
        showFailure(outcome);
        return;
    }
    const int set = file.theme >> 1;
    if (!loadTileSet(set)) return;

    Busy busy(*this);
    history_.begin("Import Track");
    session_.map.replace(file.cells);
    history_.end();
    session_.setTileSet(set);
    palette_->showSheet();
    redrawtrack();
    showFilePanel();
}

void MainWindow::mTN_Click() {
    if (!mayDiscardChanges()) return;
    Busy busy(*this);
    history_.begin("New Track");
    session_.newTrack(tools_.rightTile());
    history_.end();
    redrawtrack();
}

void MainWindow::mTOffset_Click() {
    if (!mayDiscardChanges()) return;
    OpenRom& rom = session_.rom;
    const uint8_t previousLevel = rom.curLevel;
    rom.curLevel = 0;
    const int shown = std::min<int>(rom.curTrack, layout::kTrackCount - 1);
    const QString answer =
        prompter_.inputText("Offset", hexText(rom.trackOffset[static_cast<size_t>(shown)]));
    // An empty (or cancelled) answer loads track 0 from its usual place.
    int32_t offset = 0;
    if (const auto value = parseHexAnswer(answer.toStdString())) {
        if (*value > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
            rom.curLevel = previousLevel;
            prompter_.inform(QString("The offset %1 lies beyond any ROM image.")
                                 .arg(QString::number(*value, 16).toUpper()));
            return;
        }
        offset = static_cast<int32_t>(*value);
    }
    if (!ShowTrack(0, offset)) rom.curLevel = previousLevel;
}

void MainWindow::mLevel_Click() {
    if (!levelWindow_) {
        levelWindow_ = new LevelManagement(session_, prompter_, this);
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
