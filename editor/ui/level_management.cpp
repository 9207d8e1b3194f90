#include "ui/level_management.h"

#include "ui/file_messages.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>

#include "core/hex.h"
#include "core/rom_layout.h"

namespace korvale {

namespace {
constexpr int kHighestTrack = layout::kTrackCount - 1;
}

LevelManagement::LevelManagement(RomSession& session, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), prompter_(prompter) {
    setObjectName("frmTrackNums");
    setWindowTitle("Level Management");

    lTrackList_ = new QComboBox(this);
    lTrackList_->setObjectName("lTrackList");

    auto* label1 = new QLabel("Use Track/AI/Sprite Data of Track Number:", this);
    label1->setObjectName("Label1");

    hsNum_ = new QScrollBar(Qt::Horizontal, this);
    hsNum_->setObjectName("hsNum");
    hsNum_->setRange(0, kHighestTrack);
    hsNum_->setPageStep(1);
    // Scroll bars invert their keys by default, which made Right lower the
    // number; here the arrow keys move the thumb the way they point.
    hsNum_->setInvertedControls(false);
    hsNum_->setMinimumWidth(160);
    // Scroll bars take no focus by default; this one is a stop in the tab order.
    hsNum_->setFocusPolicy(Qt::StrongFocus);

    Label2_ = new QLabel("00", this);
    Label2_->setObjectName("Label2");
    Label2_->setMinimumWidth(Label2_->fontMetrics().horizontalAdvance("000"));

    auto* save = new QPushButton("Save Changes", this);
    save->setObjectName("cmdSave");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Command1");

    auto* grid = new QGridLayout(this);
    grid->addWidget(lTrackList_, 0, 0, 1, 2);
    grid->addWidget(label1, 1, 0, 1, 2);
    grid->addWidget(hsNum_, 2, 0);
    grid->addWidget(Label2_, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 3, 0, 1, 2);

    setTabOrder(lTrackList_, hsNum_);
    setTabOrder(hsNum_, save);
    setTabOrder(save, cancel);

    connect(lTrackList_, &QComboBox::currentIndexChanged, this, [this] { lTrackList_Click(); });
    connect(hsNum_, &QScrollBar::valueChanged, this, &LevelManagement::hsNum_Change);
    connect(save, &QPushButton::clicked, this, &LevelManagement::cmdSave_Click);
    connect(cancel, &QPushButton::clicked, this, &LevelManagement::Command1_Click);

    Form_Load();
}

void LevelManagement::Form_Load() {
    working_ = session_.rom.levelTrack;
    {
        const QSignalBlocker block(lTrackList_);
        lTrackList_->clear();
        for (int level = 0; level < layout::kLevelCount; ++level)
            lTrackList_->addItem(QString::fromStdString(layout::levelName(level)));
        lTrackList_->setCurrentIndex(std::min<int>(session_.rom.curLevel, layout::kLevelCount - 1));
    }
    lTrackList_Click();
    loaded_ = true;
    finishing_ = false;
}

const std::array<uint8_t, 24>& LevelManagement::workingCopy() const {
    return working_;
}

void LevelManagement::lTrackList_Click() {
    showLevel(lTrackList_->currentIndex());
}

// The bar is set without running hsNum_Change: a table entry above 23, which
// the bar cannot show, is shown at the bar's end and in full in Label2, and is
// kept as it is unless the user moves the bar for that level.
void LevelManagement::showLevel(int level) {
    if (level < 0 || level >= layout::kLevelCount) return;
    const uint8_t track = working_[static_cast<size_t>(level)];
    {
        const QSignalBlocker block(hsNum_);
        hsNum_->setValue(std::min<int>(track, kHighestTrack));
    }
    Label2_->setText(QString::fromStdString(HexPad(track, 2)));
    Label2_->setToolTip(track > kHighestTrack
                            ? "This level's entry is beyond the last track number; move the "
                              "bar to correct it."
                            : QString());
}

void LevelManagement::hsNum_Change(int value) {
    const int level = lTrackList_->currentIndex();
    if (level < 0 || level >= layout::kLevelCount) return;
    working_[static_cast<size_t>(level)] = static_cast<uint8_t>(value);
    Label2_->setText(QString::fromStdString(HexPad(value, 2)));
    Label2_->setToolTip(QString());
}

void LevelManagement::cmdSave_Click() {
    Outcome outcome = session_.writeLevelTable(working_);
    if (outcome.status == Status::ChangedOnDisk) {
        if (prompter_.askYesNo(changedOnDiskQuestion(outcome.detail)) != Prompter::Answer::Yes)
            return;
        outcome = session_.writeLevelTable(working_, true);
    }
    if (outcome.ok()) {
        prompter_.inform("Track List Saved!");
        finish(true);
        return;
    }
    // Without the library nothing was tried; say so rather than blame the file.
    if (outcome.status == Status::LibraryMissing && !outcome.detail.empty())
        prompter_.inform(QString::fromStdString(outcome.detail));
    else if (outcome.status == Status::FileFailed)
        prompter_.inform(fileFailedMessage(outcome.detail, outcome.reason));
    else
        prompter_.inform("Could not write to file, check that it is not Read-Only.");
}

void LevelManagement::Command1_Click() {
    finish(false);
}

void LevelManagement::finish(bool saved) {
    finishing_ = true;
    emit finished(saved);
    close();
    loaded_ = false;
}

void LevelManagement::showEvent(QShowEvent* event) {
    // Reopened after it closed: start again from the table as it now is.
    if (!loaded_) Form_Load();
    QWidget::showEvent(event);
}

void LevelManagement::closeEvent(QCloseEvent* event) {
    // The close box cancels like the Cancel button.
    if (!finishing_) emit finished(false);
    finishing_ = false;
    loaded_ = false;
    QWidget::closeEvent(event);
}

}  // namespace korvale
