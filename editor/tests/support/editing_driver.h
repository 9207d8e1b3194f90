// A document and its editing tools on a map whose every cell holds its own
// pattern tile (so moved cells are told apart), driven by cell coordinates
// as a user's pointer would.
#pragma once

#include "core/edit_tools.h"
#include "core/track_document.h"
#include "support/document_access.h"

namespace korvale::test {

// The centre pixel of a cell, as a pointer over it would report.
inline double px(int cell) {
    return cell * 8 + 3;
}

struct EditingDriver {
    EditingDriver() : tools(document) {
        TrackMap::Cells cells;
        for (int i = 0; i < layout::kMapCells; ++i)
            cells[static_cast<size_t>(i)] = pattern(i % 128, i / 128);
        DocumentTestAccess::map(document).load(cells);
        DocumentTestAccess::setChanged(document, false);
        tools.setRightTile(0xEE);
        tools.setLeftTile(0x11);
    }

    static uint8_t pattern(int x, int y) {
        return static_cast<uint8_t>((x * 7 + y * 13) % 200 + 1);
    }
    uint8_t cell(int x, int y) const { return document.map().at(x, y); }

    void press(int button, int cx, int cy) { tools.picture2_MouseDown(button, px(cx), px(cy)); }
    void move(int buttons, int cx, int cy) { tools.picture2_MouseMove(buttons, px(cx), px(cy)); }
    void release(int button, int cx, int cy) { tools.picture2_MouseUp(button, px(cx), px(cy)); }

    // A left-button selection from one cell to another, released: a lift.
    void select(int x0, int y0, int x1, int y1) {
        press(kLeftButton, x0, y0);
        move(kLeftButton, x1, y1);
        release(kLeftButton, x1, y1);
    }

    TrackDocument document;
    EditTools tools;
};

}  // namespace korvale::test
