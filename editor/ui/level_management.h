// frmTrackNums, "Level Management": which track number's data each of the 24
// levels uses, edited in a working copy and written back on Save Changes.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "core/track_document.h"
#include "ui/prompter.h"

class QComboBox;
class QLabel;
class QScrollBar;

namespace korvale {

class LevelManagement : public QWidget {
    Q_OBJECT
  public:
    // Runs Form_Load, so the window is ready to show. Shown again after it
    // closed, it loads afresh; shown while open, it keeps its working copy.
    LevelManagement(TrackDocument& document, Prompter& prompter, QWidget* parent = nullptr);

    // Form_Load: the working copy from levelTrack, the level list, level
    // curLevel selected.
    void Form_Load();
    const std::array<uint8_t, 24>& workingCopy() const;

    void cmdSave_Click();
    void Command1_Click();

  signals:
    // Saved (tables read back) or cancelled: the main window comes to the
    // front and this window closes.
    void finished(bool saved);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void lTrackList_Click();
    void hsNum_Change(int value);
    void showLevel(int level);
    void finish(bool saved);

    TrackDocument& document_;
    Prompter& prompter_;
    std::array<uint8_t, 24> working_{};
    QComboBox* lTrackList_ = nullptr;
    QScrollBar* hsNum_ = nullptr;
    QLabel* Label2_ = nullptr;
    bool loaded_ = false;     // Form_Load ran since the window last closed
    bool finishing_ = false;  // Save or Cancel is closing the window
};

}  // namespace korvale
