#include "core/track_map.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace korvale {
namespace {

struct Recorder : TrackMap::Observer {
    struct Cell {
        int x, y, before, after;
    };
    std::vector<Cell> cells;
    std::vector<TrackMap::Cells> replaced;
    void cellChanged(int x, int y, uint8_t before, uint8_t after) override {
        cells.push_back({x, y, before, after});
    }
    void mapReplaced(const TrackMap::Cells& before) override { replaced.push_back(before); }
};

TEST(TrackMap, GetMapWrapsColumnsIntoRowsAndClampsToTheLastCell) {
    TrackMap map;
    TrackMap::Cells cells;
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<uint8_t>(i % 251);
    map.replace(cells);
    EXPECT_EQ(map.GetMap(130, 0), map.at(2, 1));
    EXPECT_EQ(map.GetMap(0, 200), map.at(127, 127));
    EXPECT_EQ(map.GetMap(127, 127), cells[16383]);
    EXPECT_EQ(map.GetMap(5, 7), cells[7 * 128 + 5]);
    // No overflow on the way to the clamp.
    EXPECT_EQ(map.GetMap(UINT_MAX, UINT_MAX), cells[16383]);
    EXPECT_EQ(map.GetMap(UINT_MAX, 0), cells[16383]);
}

TEST(TrackMap, EveryWriteIsReportedAndNothingOutsideTheMap) {
    TrackMap map;
    Recorder r;
    map.addObserver(&r);
    map.addObserver(&r);  // once only
    EXPECT_TRUE(map.setCell(3, 4, 9));
    EXPECT_TRUE(map.setCell(3, 4, 9));  // same value still reports
    EXPECT_FALSE(map.setCell(128, 0, 1));
    EXPECT_FALSE(map.setCell(0, -1, 1));
    ASSERT_EQ(r.cells.size(), 2u);
    EXPECT_EQ(r.cells[0].before, 0);
    EXPECT_EQ(r.cells[0].after, 9);
    EXPECT_EQ(r.cells[1].before, 9);
    EXPECT_EQ(map.at(3, 4), 9);

    map.fill(0x3A);
    ASSERT_EQ(r.replaced.size(), 1u);
    EXPECT_EQ(r.replaced[0][4 * 128 + 3], 9);  // the map as it was
    EXPECT_EQ(map.GetMap(100, 100), 0x3A);

    map.removeObserver(&r);
    map.setCell(0, 0, 1);
    EXPECT_EQ(r.cells.size(), 2u);
}

}  // namespace
}  // namespace korvale
