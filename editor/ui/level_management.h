// frmTrackNums, "Level Management": which track number's data each of the 24
// levels uses, edited in a working copy and written back on Save Changes.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "core/open_rom.h"
#include "ui/prompter.h"

namespace korvale {

class LevelManagement : public QWidget {
    Q_OBJECT
public:
    LevelManagement(RomSession& session, Prompter& prompter, QWidget* parent = nullptr);

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
};

}  // namespace korvale
