#include "ui/main_window.h"

#include <QLabel>
#include <QMenu>
#include <QScrollBar>

#include "core/hex.h"
#include "core/rom_layout.h"
#include "support/document_access.h"
#include "window_test_support.h"

namespace korvale {
namespace {

using test::Bytes;
using test::q;

const QString kQuestion = "Would you like to save changes: Track->Export/Save to ROM";
const QString kRomFilter =
    "Super MagiCom / headerless (*.smc *.sfc);;Super MagiCom (*.smc);;All Files (*.*)";

uint32_t fileOffset(uint32_t romOffset) {
    return romOffset + layout::kCopierHeaderSize;
}

QString expectedCaption(int track, int32_t offset) {
    return QString("Korvale 1.11 - Track %1 [%2]")
        .arg(q(HexPad(track, 2)), QString::number(offset, 16).toUpper());
}

class MainWindowTest : public test::WindowFixture {
  protected:
    void SetUp() override { build(); }

    // A map that differs from every demo track.
    TrackMap::Cells paintedMap() {
        TrackMap::Cells cells = document.map().cells();
        for (int i = 0; i < 128; ++i) cells[static_cast<size_t>(i * 129)] = 0xEE;
        return cells;
    }
};

TEST_F(MainWindowTest, StartsWithOnlyTheFileMenuAndCaptionsEveryItem) {
    EXPECT_EQ(window->objectName(), "form1");
    EXPECT_EQ(window->windowTitle(), "Korvale 1.11");
    EXPECT_EQ(action("mF")->text(), "&File");
    EXPECT_EQ(action("mFO")->text(), "&Open ROM");
    EXPECT_EQ(action("mFX")->text(), "E&xit");
    EXPECT_EQ(action("mT")->text(), "&Track");
    EXPECT_FALSE(action("mT")->isEnabled());
    EXPECT_EQ(action("mTN")->text(), "&New Track");
    EXPECT_EQ(action("mTS")->text(), "&Save Track to ROM");
    EXPECT_EQ(action("mTi")->text(), "&Import Track from File");
    EXPECT_EQ(action("mTE")->text(), "&Export Track to File");
    EXPECT_EQ(action("mTO")->text(), "&Import Track from Level in ROM");
    EXPECT_EQ(action("mTrackN")->text(), "(&0) Track Number");
    EXPECT_EQ(action("mTLoadT")->text(), "&Tileset");
    EXPECT_EQ(action("mTOffset")->text(), "Import Level from O&ffset");
    EXPECT_EQ(action("mLevel")->text(), "Level &Management");
    EXPECT_TRUE(action("mDiv0")->isSeparator());
    for (int i = 0; i < 24; ++i) {
        QAction* a = action(("mTrack" + std::to_string(i)).c_str());
        EXPECT_EQ(a->text(), q(layout::levelMenuCaption(i)));
        EXPECT_FALSE(a->isEnabled());
    }
    EXPECT_EQ(action("mTrack0")->text(), "(1) &a Mario Circuit 1");
    EXPECT_EQ(action("mTrack23")->text(), "&x Battle Course 4");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(action(("mTileSet" + std::to_string(i)).c_str())->text(),
                  q(layout::tileSetMenuCaption(i)));

    EXPECT_TRUE(window->palette()->isVisible());
    EXPECT_EQ(view()->size(), QSize(1024, 1024));
    for (const char* key : {"mouse", "pointer", "file", "desc"})
        EXPECT_NE(window->findChild<QLabel*>(key), nullptr) << key;
    EXPECT_FALSE(document.changed());
    // No track is shown yet: the picture is black.
    QImage black(1024, 1024, QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_EQ(view()->image(), black);
}

TEST_F(MainWindowTest, OpeningTheDemoRomShowsLevelZerosTrack) {
    openRom();
    ASSERT_EQ(prompter.dialogs.size(), 1);
    EXPECT_EQ(prompter.dialogs[0], "Open ROM|" + kRomFilter);
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.join("; ").toStdString();

    const int track = document.rom().levelTrack[0];
    EXPECT_EQ(document.rom().curTrack, track);
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(track));
    EXPECT_EQ(window->windowTitle(), expectedCaption(track, document.rom().trackOffset[track]));
    EXPECT_EQ(window->panelText("pointer"),
              q(HexPad(track, 2)) + ": " +
                  QString::number(document.rom().trackOffset[track], 16).toUpper());
    EXPECT_EQ(window->panelText("file"), "demo.smc, header");
    EXPECT_TRUE(action("mT")->isEnabled());
    EXPECT_TRUE(action("mTrack23")->isEnabled());
    EXPECT_TRUE(document.changed());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(document.rom().curTheme, test::expectedTrackTheme(track) & ~1);
    // Every cell shows its tile's image.
    for (int y = 0; y < 128; y += 9)
        for (int x = 0; x < 128; x += 7)
            ASSERT_TRUE(test::cellShows(*view(), window->tiles(), x, y, document.map().at(x, y)));
}

TEST_F(MainWindowTest, RefusedRomImagesChangeNothing) {
    // Cancelled dialog.
    action("mFO")->trigger();
    EXPECT_FALSE(document.rom().isOpen());
    EXPECT_TRUE(prompter.messages.isEmpty());

    // Too small, and a size no ROM image has.
    const QString small = q(dir.file("small.smc"));
    test::writeBytes(small.toStdString(), Bytes(0x8000 + 0x200, 0));
    const QString odd = q(dir.file("odd.smc"));
    test::writeBytes(odd.toStdString(), Bytes(1000, 0));
    const QString missing = q(dir.file("missing.smc"));
    for (const QString& path : {small, odd, missing}) {
        prompter.messages.clear();
        EXPECT_FALSE(window->openRomFile(path));
        ASSERT_EQ(prompter.messages.size(), 1) << path.toStdString();
        EXPECT_TRUE(prompter.messages[0].contains(QFileInfo(path).fileName()))
            << prompter.messages[0].toStdString();
        EXPECT_FALSE(document.rom().isOpen());
        EXPECT_FALSE(action("mT")->isEnabled());
        EXPECT_EQ(window->windowTitle(), "Korvale 1.11");
        EXPECT_TRUE(window->isEnabled());
    }
}

TEST_F(MainWindowTest, AForeignTitleIsOpenedOnlyWhenTheUserSaysSo) {
    Bytes image = test::romImage();
    for (uint32_t i = 0; i < layout::kInternalTitleSize; ++i)
        image[fileOffset(layout::kInternalTitle) + i] = 'Z';
    const QString path = q(dir.file("other.smc"));
    test::writeBytes(path.toStdString(), image);

    prompter.yesNo.push_back(Prompter::Answer::No);
    EXPECT_FALSE(window->openRomFile(path));
    ASSERT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(prompter.questions[0],
              "This file does not look like a Super Mario Kart ROM image. Open it anyway?");
    EXPECT_FALSE(document.rom().isOpen());

    prompter.yesNo.push_back(Prompter::Answer::Yes);
    EXPECT_TRUE(window->openRomFile(path));
    EXPECT_TRUE(document.rom().isOpen());
    EXPECT_TRUE(action("mT")->isEnabled());
}

// The window shows only what the document reports: an open that fails after
// the user said Yes leaves the caption and every panel as they were.
TEST_F(MainWindowTest, AForeignFileWithoutATrackForLevelZeroLeavesTheWindowAsItWas) {
    openRom();
    const QString caption = window->windowTitle();
    const QString pointer = window->panelText("pointer");
    const QString file = window->panelText("file");
    const QImage picture = view()->image();

    Bytes image = test::romImage();
    for (uint32_t i = 0; i < layout::kInternalTitleSize; ++i)
        image[fileOffset(layout::kInternalTitle) + i] = 'Z';
    image[fileOffset(layout::kLevelTrackTableA)] = 30;
    const QString path = q(dir.file("other.smc"));
    test::writeBytes(path.toStdString(), image);
    prompter.yesNo = {Prompter::Answer::No, Prompter::Answer::Yes};  // discard edits, open
    prompter.files.push_back(path);
    action("mFO")->trigger();

    EXPECT_EQ(prompter.messages,
              QStringList{"There is no track number 30: track numbers run from 0 to 23."});
    EXPECT_EQ(document.rom().romFileName, romPath.toStdString());
    EXPECT_EQ(window->windowTitle(), caption);
    EXPECT_EQ(window->panelText("pointer"), pointer);
    EXPECT_EQ(window->panelText("file"), file);
    EXPECT_EQ(view()->image(), picture);
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(MainWindowTest, LevelItemsAskFirstAndYesKeepsEverything) {
    openRom();
    ASSERT_TRUE(document.changed());
    const auto before = document.map().cells();
    const QString caption = window->windowTitle();

    prompter.yesNo.push_back(Prompter::Answer::Yes);
    action("mTrack1")->trigger();
    EXPECT_EQ(prompter.questions, QStringList{kQuestion});
    EXPECT_EQ(document.map().cells(), before);
    EXPECT_EQ(window->windowTitle(), caption);
    EXPECT_EQ(document.rom().curLevel, 0);

    prompter.yesNo.push_back(Prompter::Answer::No);
    action("mTrack1")->trigger();
    const int track = document.rom().levelTrack[1];
    EXPECT_EQ(document.rom().curLevel, 1);
    EXPECT_EQ(document.rom().curTrack, track);
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(track));

    // Without unsaved changes there is no question.
    DocumentTestAccess::setChanged(document, false);
    prompter.questions.clear();
    action("mTrack2")->trigger();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_EQ(document.rom().curLevel, 2);
}

TEST_F(MainWindowTest, TrackNumberAcceptsZeroToTwentyThreeOnly) {
    openRom();
    DocumentTestAccess::setChanged(document, false);
    prompter.inputs = {"5"};
    action("mTrackN")->trigger();
    EXPECT_EQ(prompter.prompts, QStringList{"Track Number"});
    EXPECT_EQ(prompter.defaults, QStringList{"0"});
    EXPECT_EQ(document.rom().curTrack, 5);
    EXPECT_EQ(document.rom().curLevel, 0);
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(5));

    for (const char* answer : {"24", "abc", "-1", "99999999999"}) {
        DocumentTestAccess::setChanged(document, false);
        prompter.messages.clear();
        prompter.inputs = {answer};
        action("mTrackN")->trigger();
        EXPECT_EQ(prompter.messages.size(), 1) << answer;
        EXPECT_EQ(document.rom().curTrack, 5) << answer;
    }
    // A cancelled box says nothing.
    prompter.messages.clear();
    action("mTrackN")->trigger();
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(document.rom().curTrack, 5);
}

TEST_F(MainWindowTest, TileSetMenuNeverAsksAndRedrawsWithTheNewTiles) {
    openRom();
    DocumentTestAccess::setChanged(document, false);
    const auto cells = document.map().cells();
    action("mTileSet6")->trigger();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_TRUE(document.changed());
    EXPECT_EQ(document.rom().curTheme, 12);
    EXPECT_EQ(document.map().cells(), cells);
    EXPECT_EQ(window->panelText("desc"), "Tile set: Bowser Castle");
    QImage sheet(QString(KORVALE_BIN_DIR) + "/t06.bmp");
    sheet = sheet.convertToFormat(QImage::Format_RGB32);
    const uint8_t tile = document.map().at(40, 40);
    EXPECT_EQ(view()->image().copy(320, 320, 8, 8),
              sheet.copy(8 * (tile % 16), 8 * (tile / 16), 8, 8));
}

TEST_F(MainWindowTest, PageKeysAskThenMoveWithinTheTracksAndLevels) {
    openRom();
    const int first = document.rom().curTrack;

    // Yes keeps everything.
    prompter.yesNo.push_back(Prompter::Answer::Yes);
    QTest::keyClick(view(), Qt::Key_PageDown);
    EXPECT_EQ(prompter.questions, QStringList{kQuestion});
    EXPECT_EQ(document.rom().curTrack, first);

    // The keys reach the window whichever child has the focus.
    prompter.yesNo.push_back(Prompter::Answer::No);
    QTest::keyClick(window->hscroll(), Qt::Key_PageDown);
    EXPECT_EQ(document.rom().curTrack, first + 1);
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(first + 1));

    DocumentTestAccess::setChanged(document, false);
    QTest::keyClick(view(), Qt::Key_PageUp);
    EXPECT_EQ(document.rom().curTrack, first);

    // Shift: the next level's track.
    DocumentTestAccess::setChanged(document, false);
    QTest::keyClick(view(), Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(document.rom().curLevel, 1);
    EXPECT_EQ(document.rom().curTrack, document.rom().levelTrack[1]);

    // At the last track the question still comes, then nothing happens.
    DocumentTestAccess::setChanged(document, false);
    prompter.inputs = {"23"};
    action("mTrackN")->trigger();
    ASSERT_EQ(document.rom().curTrack, 23);
    prompter.questions.clear();
    prompter.yesNo.push_back(Prompter::Answer::No);
    const QString caption = window->windowTitle();
    QTest::keyClick(view(), Qt::Key_PageDown);
    EXPECT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(document.rom().curTrack, 23);
    EXPECT_EQ(window->windowTitle(), caption);
}

TEST_F(MainWindowTest, SaveWritesTheTrackIntoTheRomAndCaptionsItsNewPlace) {
    openRom();
    const auto edited = paintedMap();
    DocumentTestAccess::map(document).replace(edited);

    // What lands in the ROM is the document's test; here the questions, the
    // message and the caption.
    prompter.inputs = {" 03 "};
    action("mTS")->trigger();
    EXPECT_EQ(prompter.prompts, QStringList{"Save To Track Number (Hex)"});
    EXPECT_EQ(prompter.defaults, QStringList{q(HexPad(document.rom().levelTrack[0], 2))});
    EXPECT_EQ(prompter.messages, QStringList{"Track saved succesfully!"});
    const int32_t at = document.rom().trackOffset[3];
    EXPECT_GE(at, static_cast<int32_t>(fileOffset(layout::kSaveWindowStart)));
    EXPECT_EQ(document.rom().curTrack, 3);
    EXPECT_EQ(document.map().cells(), edited);
    EXPECT_EQ(window->windowTitle(), expectedCaption(3, at));
    EXPECT_EQ(window->panelText("pointer"), "03: " + QString::number(at, 16).toUpper());
    EXPECT_FALSE(document.changed());
}

TEST_F(MainWindowTest, SaveRefusesTrackNumbersAboveHex17AndCancelWritesNothing) {
    openRom();
    const Bytes before = romBytes();
    const uint8_t track = document.rom().curTrack;
    prompter.inputs = {"18"};
    action("mTS")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(prompter.messages[0].contains("18"));
    EXPECT_EQ(document.rom().curTrack, track);

    prompter.messages.clear();
    prompter.inputs = {"   "};
    action("mTS")->trigger();
    action("mTS")->trigger();  // cancelled box
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(romBytes(), before);
    EXPECT_TRUE(document.changed());
}

TEST_F(MainWindowTest, SaveToAnUnwritableRomShowsTheNoSpaceMessage) {
    test::UnwritableFile sealed(test::romImage());
    ASSERT_TRUE(sealed.valid());
    ASSERT_TRUE(window->openRomFile(q(sealed.path())));
    prompter.messages.clear();
    prompter.inputs = {"0"};
    action("mTS")->trigger();
    EXPECT_EQ(prompter.messages,
              QStringList{"Unable to save file, either there is no more space in the ROM\r\nor "
                          "the file is Read-Only."});
    EXPECT_TRUE(document.changed());
}

TEST_F(MainWindowTest, ExportThenImportGivesTheSameTrackBack) {
    openRom();
    const auto edited = paintedMap();
    DocumentTestAccess::map(document).replace(edited);
    action("mTileSet5")->trigger();
    const QString file = q(dir.file("track.mkt"));

    prompter.files.push_back(file);
    action("mTE")->trigger();
    EXPECT_EQ(prompter.dialogs.last(), "Export Track|SMK Track (*.mkt);;All Files (*.*)");
    EXPECT_EQ(prompter.messages, QStringList{"Track Saved"});
    EXPECT_FALSE(document.changed());

    // Load something else, then import the file (no question: nothing changed... yet).
    DocumentTestAccess::setChanged(document, false);
    action("mTrack3")->trigger();
    const uint8_t track = document.rom().curTrack;
    prompter.yesNo.push_back(Prompter::Answer::No);
    prompter.files.push_back(file);
    action("mTi")->trigger();
    EXPECT_EQ(prompter.dialogs.last(), "Import Track|SMK Track (*.mkt);;All Files (*.*)");
    EXPECT_EQ(document.map().cells(), edited);
    EXPECT_EQ(document.rom().curTheme, 10);
    EXPECT_EQ(document.rom().curTrack, track);
    EXPECT_TRUE(document.changed());
    EXPECT_TRUE(test::cellShows(*view(), window->tiles(), 5, 5, 0xEE));
    // The import is one step to undo.
    EXPECT_EQ(window->history().undoName(), "Import Track");
}

TEST_F(MainWindowTest, FailedExportKeepsTheChangesFlagAndABadTrackFileChangesNothing) {
    openRom();
    prompter.files.push_back(q(dir.file("no/such/folder/track.mkt")));
    action("mTE")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_NE(prompter.messages[0], "Track Saved");
    EXPECT_TRUE(document.changed());

    const auto cells = document.map().cells();
    const uint8_t theme = document.rom().curTheme;
    const QString shortFile = q(dir.file("short.mkt"));
    test::writeBytes(shortFile.toStdString(), Bytes(100, 7));
    const QString badTheme = q(dir.file("theme.mkt"));
    Bytes withTheme(16385, 3);
    withTheme[16384] = 16;
    test::writeBytes(badTheme.toStdString(), withTheme);
    for (const QString& file : {shortFile, badTheme}) {
        prompter.messages.clear();
        prompter.yesNo.push_back(Prompter::Answer::No);
        prompter.files.push_back(file);
        action("mTi")->trigger();
        ASSERT_EQ(prompter.messages.size(), 1);
        EXPECT_TRUE(prompter.messages[0].contains(QFileInfo(file).fileName()));
        EXPECT_EQ(document.map().cells(), cells);
        EXPECT_EQ(document.rom().curTheme, theme);
    }
}

TEST_F(MainWindowTest, NewTrackFillsTheMapWithTheRightButtonTile) {
    openRom();
    DocumentTestAccess::setChanged(document, false);
    window->tools().setRightTile(0x3A);
    action("mTN")->trigger();
    TrackMap::Cells expected;
    expected.fill(0x3A);
    EXPECT_EQ(document.map().cells(), expected);
    EXPECT_FALSE(document.changed());
    EXPECT_TRUE(test::cellShows(*view(), window->tiles(), 127, 127, 0x3A));
    EXPECT_EQ(window->history().undoName(), "New Track");
}

TEST_F(MainWindowTest, ImportFromOffsetLoadsTheDataThereAsTrackZeroOfLevelZero) {
    openRom();
    DocumentTestAccess::setChanged(document, false);
    action("mTrack5")->trigger();
    const int track = document.rom().curTrack;
    const int32_t offset = document.rom().trackOffset[track];
    DocumentTestAccess::setChanged(document, false);

    prompter.inputs = {QString::number(offset, 16)};
    action("mTOffset")->trigger();
    EXPECT_EQ(prompter.prompts.last(), "Offset");
    EXPECT_EQ(prompter.defaults.last(), QString::number(offset, 16).toUpper());
    EXPECT_EQ(document.rom().curTrack, 0);
    EXPECT_EQ(document.rom().curLevel, 0);
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(track));
    EXPECT_EQ(window->windowTitle(), expectedCaption(0, offset));

    // A cancelled box loads track 0 from its own place.
    DocumentTestAccess::setChanged(document, false);
    action("mTOffset")->trigger();
    EXPECT_EQ(document.map().cells(), test::expectedTrackMap(0));
}

TEST_F(MainWindowTest, ExitAndClosingAskAndYesKeepsTheProgramRunning) {
    openRom();
    prompter.yesNo.push_back(Prompter::Answer::Yes);
    action("mFX")->trigger();
    EXPECT_TRUE(window->isVisible());
    prompter.yesNo.push_back(Prompter::Answer::Yes);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(prompter.questions.size(), 2);

    prompter.yesNo.push_back(Prompter::Answer::No);
    action("mFX")->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->palette()->isVisible());
    EXPECT_EQ(prompter.questions.size(), 3);  // asked once, not again on the way out
}

TEST_F(MainWindowTest, ExitWithoutChangesDoesNotAsk) {
    action("mFX")->trigger();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, LevelManagementOpensOnceAndShowsAgain) {
    openRom();
    action("mLevel")->trigger();
    LevelManagement* first = window->levelManagement();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(window->isEnabled());  // modeless
    first->hide();
    action("mLevel")->trigger();
    EXPECT_EQ(window->levelManagement(), first);
    EXPECT_TRUE(first->isVisible());
}

class MissingSheetTest : public test::WindowFixture {
  protected:
    void SetUp() override { build(Sheets::Flat); }
};

TEST_F(MissingSheetTest, AMissingSheetIsNamedAndThePreviousSetStays) {
    openRom();
    action("mTileSet0")->trigger();
    const QImage before = view()->image();
    ASSERT_TRUE(QFile::remove(q(dir.file("t03.bmp"))));
    prompter.messages.clear();
    action("mTileSet3")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(prompter.messages[0].contains("t03.bmp"));
    EXPECT_EQ(document.rom().curTheme, 0);
    EXPECT_EQ(view()->image(), before);

    // A track of that tile set is refused as a whole.
    int track = -1;
    for (int t = 0; t < 24 && track < 0; ++t)
        if (document.rom().trackTheme[t] >> 1 == 3) track = t;
    if (track >= 0) {
        const uint8_t shown = document.rom().curTrack;
        prompter.messages.clear();
        prompter.inputs = {QString::number(track)};
        action("mTrackN")->trigger();
        EXPECT_EQ(prompter.messages.size(), 1);
        EXPECT_EQ(document.rom().curTrack, shown);
    }
}

}  // namespace
}  // namespace korvale

KORVALE_WIDGET_TEST_MAIN
