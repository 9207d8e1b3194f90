#include "demo_tracks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "zarni_compress.h"

namespace korvale::demo {

namespace {

struct Vec {
    double x = 0;
    double y = 0;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(Vec a, double k) {
    return {a.x * k, a.y * k};
}
double length(Vec a) {
    return std::hypot(a.x, a.y);
}

// A race track is a closed spline through its control points, drawn with a
// road of the given half width. Level i uses track i, so each track's tile
// set follows the level name of the same number.
struct RaceDesign {
    int tileSet;
    double halfWidth;
    std::vector<Vec> points;
};

const std::vector<RaceDesign>& raceDesigns() {
    static const std::vector<RaceDesign> designs = {
        // 0 Mario Circuit 1
        {kMarioCircuit,
         3.5,
         {{24, 18},
          {100, 18},
          {110, 32},
          {110, 58},
          {96, 70},
          {72, 68},
          {60, 82},
          {72, 98},
          {102, 100},
          {104, 112},
          {24, 112},
          {15, 98},
          {15, 30}}},
        // 1 Donut Plains 1
        {kDonutPlains,
         3.2,
         {{20, 42},
          {40, 18},
          {90, 16},
          {112, 36},
          {104, 62},
          {80, 68},
          {78, 88},
          {104, 98},
          {98, 114},
          {40, 112},
          {16, 86}}},
        // 2 Ghost Valley 1
        {kGhostValley,
         3.0,
         {{16, 16}, {112, 16}, {112, 50}, {62, 50}, {62, 78}, {112, 78}, {112, 112}, {16, 112}}},
        // 3 Bowser Castle 1
        {kBowserCastle,
         3.2,
         {{16, 18}, {112, 18}, {112, 112}, {86, 112}, {86, 48}, {46, 48}, {46, 112}, {16, 112}}},
        // 4 Mario Circuit 2
        {kMarioCircuit,
         3.5,
         {{22, 20},
          {58, 18},
          {70, 42},
          {88, 20},
          {110, 26},
          {110, 68},
          {82, 78},
          {110, 96},
          {104, 112},
          {22, 112},
          {14, 70}}},
        // 5 Choco Island 1
        {kChocoIsland,
         3.2,
         {{20, 26},
          {56, 14},
          {76, 36},
          {108, 22},
          {112, 60},
          {88, 60},
          {84, 82},
          {112, 92},
          {100, 114},
          {64, 98},
          {40, 114},
          {14, 96},
          {30, 62}}},
        // 6 Ghost Valley 2
        {kGhostValley,
         3.0,
         {{16, 16}, {112, 16}, {112, 112}, {92, 112}, {64, 60}, {36, 112}, {16, 112}}},
        // 7 Donut Plains 2
        {kDonutPlains,
         3.4,
         {{30, 20},
          {98, 20},
          {114, 50},
          {112, 84},
          {90, 110},
          {64, 98},
          {38, 110},
          {16, 84},
          {14, 50}}},
        // 8 Bowser Castle 2
        {kBowserCastle,
         3.0,
         {{16, 16}, {112, 16}, {112, 112}, {16, 112}, {16, 82}, {80, 82}, {80, 48}, {16, 48}}},
        // 9 Mario Circuit 3
        {kMarioCircuit,
         3.5,
         {{24, 16},
          {104, 16},
          {112, 40},
          {84, 56},
          {112, 72},
          {112, 104},
          {96, 114},
          {64, 96},
          {32, 114},
          {14, 100},
          {14, 30}}},
        // 10 Koopa Beach 1
        {kKoopaBeach,
         3.4,
         {{30, 18},
          {70, 26},
          {104, 14},
          {114, 50},
          {96, 70},
          {112, 100},
          {80, 114},
          {52, 96},
          {20, 110},
          {14, 70},
          {24, 44}}},
        // 11 Choco Island 2
        {kChocoIsland,
         3.0,
         {{16, 16}, {54, 16}, {54, 46}, {86, 46}, {86, 16}, {112, 16}, {112, 112}, {16, 112}}},
        // 12 Vanilla Lake 1
        {kVanillaLake,
         3.4,
         {{20, 30},
          {50, 14},
          {100, 20},
          {114, 50},
          {100, 76},
          {110, 104},
          {74, 114},
          {64, 86},
          {40, 112},
          {14, 90},
          {28, 62}}},
        // 13 Bowser Castle 3
        {kBowserCastle,
         3.0,
         {{16, 16},
          {46, 16},
          {64, 50},
          {82, 16},
          {112, 16},
          {112, 112},
          {82, 112},
          {64, 78},
          {46, 112},
          {16, 112}}},
        // 14 Mario Circuit 4
        {kMarioCircuit,
         3.5,
         {{16, 30},
          {40, 14},
          {64, 30},
          {88, 14},
          {112, 30},
          {112, 98},
          {88, 114},
          {64, 98},
          {40, 114},
          {16, 98}}},
        // 15 Donut Plains 3
        {kDonutPlains,
         3.2,
         {{64, 14}, {86, 54}, {112, 100}, {100, 114}, {64, 96}, {28, 114}, {16, 100}, {42, 54}}},
        // 16 Koopa Beach 2
        {kKoopaBeach,
         3.4,
         {{64, 14},
          {98, 24},
          {114, 56},
          {104, 90},
          {80, 112},
          {50, 102},
          {20, 110},
          {16, 70},
          {30, 36}}},
        // 17 Ghost Valley 3
        {kGhostValley,
         3.0,
         {{16, 16},
          {112, 16},
          {112, 112},
          {16, 112},
          {16, 88},
          {80, 88},
          {80, 62},
          {42, 62},
          {42, 40},
          {16, 40}}},
        // 18 Vanilla Lake 2
        {kVanillaLake, 3.4, {{20, 20}, {108, 20}, {108, 64}, {72, 64}, {72, 108}, {20, 108}}},
        // 19 Rainbow Road
        {kRainbowRoad,
         2.8,
         {{18, 22},
          {42, 14},
          {62, 40},
          {86, 14},
          {112, 28},
          {96, 58},
          {112, 86},
          {100, 112},
          {72, 96},
          {50, 114},
          {22, 108},
          {36, 82},
          {14, 62},
          {30, 44}}},
    };
    return designs;
}

// Battle course themes, levels 20-23.
constexpr int kArenaTileSets[4] = {kMarioCircuit, kDonutPlains, kKoopaBeach, kBowserCastle};

// Small deterministic value noise for patches of rough ground and pools.
double valueNoise(double x, double y, int seed) {
    const int x0 = static_cast<int>(std::floor(x));
    const int y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0;
    const double fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx);
    const double sy = fy * fy * (3 - 2 * fy);
    const double a = hashUnit(x0, y0, seed), b = hashUnit(x0 + 1, y0, seed);
    const double c = hashUnit(x0, y0 + 1, seed), d = hashUnit(x0 + 1, y0 + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

// Centripetal Catmull-Rom keeps tight corners from looping over themselves.
std::vector<Vec> closedSpline(const std::vector<Vec>& p, int samplesPerSegment) {
    std::vector<Vec> out;
    const size_t n = p.size();
    for (size_t i = 0; i < n; ++i) {
        const Vec p0 = p[(i + n - 1) % n], p1 = p[i], p2 = p[(i + 1) % n], p3 = p[(i + 2) % n];
        const double t0 = 0;
        const double t1 = t0 + std::sqrt(length(p1 - p0));
        const double t2 = t1 + std::sqrt(length(p2 - p1));
        const double t3 = t2 + std::sqrt(length(p3 - p2));
        for (int k = 0; k < samplesPerSegment; ++k) {
            const double t = t1 + (t2 - t1) * k / samplesPerSegment;
            const Vec a1 = p0 * ((t1 - t) / (t1 - t0)) + p1 * ((t - t0) / (t1 - t0));
            const Vec a2 = p1 * ((t2 - t) / (t2 - t1)) + p2 * ((t - t1) / (t2 - t1));
            const Vec a3 = p2 * ((t3 - t) / (t3 - t2)) + p3 * ((t - t2) / (t3 - t2));
            const Vec b1 = a1 * ((t2 - t) / (t2 - t0)) + a2 * ((t - t0) / (t2 - t0));
            const Vec b2 = a2 * ((t3 - t) / (t3 - t1)) + a3 * ((t - t1) / (t3 - t1));
            out.push_back(b1 * ((t2 - t) / (t2 - t1)) + b2 * ((t - t1) / (t2 - t1)));
        }
    }
    return out;
}

// The centre line as a closed polyline with arc lengths, for distances and
// for placing things at a given distance along the lap.
class CentreLine {
  public:
    explicit CentreLine(std::vector<Vec> points) : p_(std::move(points)) {
        s_.push_back(0);
        for (size_t i = 0; i < p_.size(); ++i) s_.push_back(s_.back() + length(next(i) - p_[i]));
    }

    double lapLength() const { return s_.back(); }

    // For every cell centre within reach of the line: the distance to the line
    // and the arc length of the nearest point. Cells further away keep a
    // distance beyond reach; nothing drawn depends on how far they are.
    void distanceField(double reach, std::vector<double>& distance,
                       std::vector<double>& arc) const {
        distance.assign(kMapSize, reach + 1);
        arc.assign(kMapSize, 0);
        for (size_t i = 0; i < p_.size(); ++i) {
            const Vec a = p_[i], d = next(i) - a;
            const double len2 = d.x * d.x + d.y * d.y;
            const int x0 = std::max(0, static_cast<int>(std::min(a.x, a.x + d.x) - reach));
            const int x1 =
                std::min(kMapSide - 1, static_cast<int>(std::max(a.x, a.x + d.x) + reach));
            const int y0 = std::max(0, static_cast<int>(std::min(a.y, a.y + d.y) - reach));
            const int y1 =
                std::min(kMapSide - 1, static_cast<int>(std::max(a.y, a.y + d.y) + reach));
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const Vec q{x + 0.5, y + 0.5};
                    double t = len2 > 0 ? ((q.x - a.x) * d.x + (q.y - a.y) * d.y) / len2 : 0;
                    t = std::clamp(t, 0.0, 1.0);
                    const double dist = length(q - (a + d * t));
                    const int c = y * kMapSide + x;
                    if (dist < distance[c]) {
                        distance[c] = dist;
                        arc[c] = s_[i] + (s_[i + 1] - s_[i]) * t;
                    }
                }
        }
    }

    // Point and unit normal at arc length s (taken round the lap).
    void at(double s, Vec& point, Vec& normal) const {
        s = std::fmod(s, lapLength());
        if (s < 0) s += lapLength();
        const size_t i = std::min<size_t>(
            std::upper_bound(s_.begin(), s_.end(), s) - s_.begin() - 1, p_.size() - 1);
        const Vec d = next(i) - p_[i];
        const double len = length(d);
        const double t = len > 0 ? (s - s_[i]) / len : 0;
        point = p_[i] + d * t;
        normal = len > 0 ? Vec{-d.y / len, d.x / len} : Vec{0, 1};
    }

  private:
    Vec next(size_t i) const { return p_[(i + 1) % p_.size()]; }

    std::vector<Vec> p_;
    std::vector<double> s_;
};

class MapCanvas {
  public:
    MapCanvas() { cells_.fill(0); }

    static bool inside(int x, int y) { return x >= 0 && y >= 0 && x < kMapSide && y < kMapSide; }
    uint8_t get(int x, int y) const { return cells_[y * kMapSide + x]; }
    void set(int x, int y, uint8_t t) {
        if (inside(x, y)) cells_[y * kMapSide + x] = t;
    }
    // Things on the road go only onto plain road, never onto kerbs or each other.
    void putOnRoad(Vec at, uint8_t t) {
        const int x = static_cast<int>(std::floor(at.x));
        const int y = static_cast<int>(std::floor(at.y));
        if (inside(x, y) && get(x, y) == tile::kRoad) set(x, y, t);
    }
    void frame(uint8_t t, int thickness) {
        for (int y = 0; y < kMapSide; ++y)
            for (int x = 0; x < kMapSide; ++x)
                if (x < thickness || y < thickness || x >= kMapSide - thickness ||
                    y >= kMapSide - thickness)
                    set(x, y, t);
    }
    const TrackMap& cells() const { return cells_; }

  private:
    TrackMap cells_;
};

// Cells not reachable from the map's edge without crossing a blocking cell.
std::vector<bool> enclosedCells(const std::vector<bool>& blocking) {
    std::vector<bool> reached(kMapSize, false);
    std::vector<int> stack;
    for (int i = 0; i < kMapSide; ++i) {
        for (int edge :
             {i, (kMapSide - 1) * kMapSide + i, i * kMapSide, i * kMapSide + kMapSide - 1})
            if (!blocking[edge] && !reached[edge]) {
                reached[edge] = true;
                stack.push_back(edge);
            }
    }
    while (!stack.empty()) {
        const int c = stack.back();
        stack.pop_back();
        const int x = c % kMapSide, y = c / kMapSide;
        const int nx[4] = {x - 1, x + 1, x, x};
        const int ny[4] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; ++k) {
            if (!MapCanvas::inside(nx[k], ny[k])) continue;
            const int n = ny[k] * kMapSide + nx[k];
            if (!blocking[n] && !reached[n]) {
                reached[n] = true;
                stack.push_back(n);
            }
        }
    }
    std::vector<bool> enclosed(kMapSize);
    for (int i = 0; i < kMapSize; ++i) enclosed[i] = !blocking[i] && !reached[i];
    return enclosed;
}

// The ground beside and away from the road, in the manner of each tile set.
uint8_t groundTile(int tileSet, double beyond, bool infield, double noise) {
    switch (tileSet) {
        case kMarioCircuit:
            if (beyond < 2.2 && !infield) return tile::kSand;
            return noise > 0.68 ? tile::kRough : tile::kOffroad;
        case kDonutPlains:
            if (infield && beyond > 7) return tile::kDeep;
            if (infield && beyond > 5) return tile::kShallow;
            return noise > 0.66 ? tile::kRough : tile::kOffroad;
        case kGhostValley:
            return tile::kDeep;
        case kChocoIsland:
            if (beyond > 3 && noise > 0.72) return tile::kDeep;
            return noise > 0.5 ? tile::kRough : tile::kOffroad;
        case kVanillaLake:
            if (infield && beyond > 6) return tile::kDeep;
            if (infield && beyond > 4.5) return tile::kShallow;
            return noise > 0.7 ? tile::kRough : tile::kOffroad;
        case kKoopaBeach:
            if (beyond < 2.5) return tile::kSand;
            if (infield) return noise > 0.55 ? tile::kShallow : tile::kSand;
            return beyond < 5 ? tile::kShallow : tile::kDeep;
        case kBowserCastle:
            if (infield) return beyond > 2 ? tile::kDeep : tile::kOffroad;
            return noise > 0.74 ? tile::kDeep : tile::kOffroad;
        default:  // Rainbow Road floats in space
            return tile::kDeep;
    }
}

// The edge of the road: kerbs on circuits, rails and walls elsewhere.
uint8_t edgeTile(int tileSet, double arc) {
    switch (tileSet) {
        case kGhostValley:
        case kRainbowRoad:
            return tile::kBarrier;
        case kBowserCastle:
            return tile::kWall;
        case kKoopaBeach:
            return tile::kSand;
        case kChocoIsland:
            return tile::kRough;
        default:
            return (static_cast<int>(std::floor(arc / 2)) & 1) ? tile::kKerbB : tile::kKerbA;
    }
}

struct Placement {
    double lap;   // fraction of the lap
    double side;  // cells from the centre line
    uint8_t tile;
};

// Hazards, boosts and jumps on the road for each tile set.
std::vector<Placement> roadHazards(int tileSet) {
    switch (tileSet) {
        case kMarioCircuit:
            return {{0.2, 1.5, tile::kObstacle},
                    {0.44, 0, tile::kOil},
                    {0.56, -1.5, tile::kObstacle},
                    {0.86, 1, tile::kObstacle}};
        case kDonutPlains:
            return {{0.24, -1, tile::kOil}, {0.6, 1.5, tile::kObstacle}, {0.78, -1.5, tile::kBump}};
        case kGhostValley:
            return {{0.2, 1, tile::kBump},
                    {0.5, -1, tile::kBump},
                    {0.64, 0, tile::kOil},
                    {0.82, 1.5, tile::kBump}};
        case kChocoIsland:
            return {{0.15, -1, tile::kBump},   {0.28, 1.5, tile::kBump}, {0.42, 0, tile::kBump},
                    {0.55, -1.5, tile::kBump}, {0.78, 1, tile::kBump},   {0.9, -1, tile::kOil}};
        case kVanillaLake:
            return {{0.2, -1.5, tile::kObstacle}, {0.21, 1.5, tile::kObstacle},
                    {0.4, 0, tile::kOil},         {0.52, 1.5, tile::kObstacle},
                    {0.6, -1, tile::kObstacle},   {0.86, 1.5, tile::kObstacle}};
        case kKoopaBeach:
            return {{0.52, -2, tile::kShallow},
                    {0.52, -1, tile::kShallow},
                    {0.53, -2, tile::kShallow},
                    {0.53, -1, tile::kShallow},
                    {0.8, 1.5, tile::kObstacle}};
        case kBowserCastle:
            return {{0.25, -1, tile::kBump},
                    {0.4, 0, tile::kBoost},
                    {0.55, 1, tile::kBump},
                    {0.8, 0, tile::kBump},
                    {0.9, -1, tile::kBoost}};
        default:
            return {{0.15, 0, tile::kBoost}, {0.35, 0, tile::kBoost}, {0.45, 1, tile::kBump},
                    {0.55, 0, tile::kBoost}, {0.75, 0, tile::kBoost}, {0.85, -1, tile::kBump},
                    {0.95, 0, tile::kBoost}};
    }
}

TrackMap drawRaceTrack(int track) {
    const RaceDesign& design = raceDesigns()[track];
    const CentreLine line(closedSpline(design.points, 24));
    const double hw = design.halfWidth;
    const double edge = hw + 1.1;

    // The ground's bands reach at most 7 cells beyond the road's edge.
    std::vector<double> distance, arc;
    line.distanceField(edge + 10, distance, arc);
    std::vector<bool> roadBand(kMapSize);
    for (int i = 0; i < kMapSize; ++i) roadBand[i] = distance[i] <= edge;
    const std::vector<bool> infield = enclosedCells(roadBand);

    MapCanvas map;
    for (int y = 0; y < kMapSide; ++y)
        for (int x = 0; x < kMapSide; ++x) {
            const int i = y * kMapSide + x;
            if (distance[i] <= hw) {
                map.set(x, y, tile::kRoad);
            } else if (distance[i] <= edge) {
                map.set(x, y, edgeTile(design.tileSet, arc[i]));
            } else {
                const double noise = valueNoise(x / 9.0, y / 9.0, track + 1);
                map.set(x, y, groundTile(design.tileSet, distance[i] - edge, infield[i], noise));
            }
        }
    map.frame(design.tileSet == kRainbowRoad || design.tileSet == kGhostValley ? tile::kBarrier
                                                                               : tile::kWall,
              2);

    const double lap = line.lapLength();
    Vec point, normal;
    // Start line: a two-cell chequered band across the road on the first straight.
    for (int along = 0; along < 2; ++along) {
        line.at(lap * 0.05 + along, point, normal);
        for (double side = -hw - 0.5; side <= hw + 0.5; side += 0.25) {
            const Vec c = point + normal * side;
            const int x = static_cast<int>(std::floor(c.x)), y = static_cast<int>(std::floor(c.y));
            if (!MapCanvas::inside(x, y)) continue;
            const uint8_t t = map.get(x, y);
            if (t == tile::kRoad || t == tile::kStartLight || t == tile::kStartDark)
                map.set(x, y, ((x + y) & 1) ? tile::kStartDark : tile::kStartLight);
        }
    }
    // Two rows of item boxes across the road.
    for (double at : {0.32, 0.7}) {
        line.at(lap * at, point, normal);
        for (double side : {-2.0, 0.0, 2.0}) map.putOnRoad(point + normal * side, tile::kItemBox);
    }
    // A line of coins, except where the game has none.
    if (design.tileSet != kRainbowRoad && design.tileSet != kBowserCastle) {
        for (int k = 0; k < 5; ++k) {
            line.at(lap * 0.48 + 2.5 * k, point, normal);
            map.putOnRoad(point + normal * (hw - 1.5), tile::kCoin);
        }
    }
    // A jump ramp across the whole road on some tracks.
    if (design.tileSet == kDonutPlains || design.tileSet == kKoopaBeach ||
        design.tileSet == kBowserCastle) {
        line.at(lap * (0.12 + 0.02 * (track % 3)), point, normal);
        for (double side = -hw; side <= hw; side += 0.25)
            map.putOnRoad(point + normal * side, tile::kJump);
    }
    // Shift hazards a little per track so tracks of one tile set differ in detail too.
    const double shift = 0.03 * (track % 4);
    for (const Placement& p : roadHazards(design.tileSet)) {
        line.at(lap * (p.lap + shift), point, normal);
        map.putOnRoad(point + normal * p.side, p.tile);
    }
    return map.cells();
}

// Battle courses: a walled floor with solid blocks inside, so the floor runs
// round them, and item boxes spread about.
TrackMap drawArena(int arena) {
    const int tileSet = kArenaTileSets[arena];
    auto isFloor = [arena](int x, int y) {
        const double cx = x + 0.5 - 64, cy = y + 0.5 - 64;
        switch (arena) {
            case 0:
                return std::abs(cx) < 44 && std::abs(cy) < 44;
            case 1:
                return (std::abs(cx) < 48 && std::abs(cy) < 20) ||
                       (std::abs(cx) < 20 && std::abs(cy) < 48);
            case 2:
                return std::hypot(cx, cy) < 48;
            default:
                return std::abs(cx) + std::abs(cy) < 56;
        }
    };
    auto isBlock = [arena](int x, int y) {
        const double cx = x + 0.5 - 64, cy = y + 0.5 - 64;
        switch (arena) {
            case 0:  // four blocks in the quadrants
                return std::abs(std::abs(cx) - 20) < 6 && std::abs(std::abs(cy) - 20) < 6;
            case 1:  // one block where the arms meet
                return std::abs(cx) < 8 && std::abs(cy) < 8;
            case 2:  // a ring-shaped island and four pillars
                return std::hypot(cx, cy) < 11 ||
                       (std::abs(std::abs(cx) - 26) < 3 && std::abs(std::abs(cy) - 26) < 3);
            default:
                return std::abs(cx) + std::abs(cy) < 12 ||
                       (std::abs(std::abs(cx) - 30) < 4 && std::abs(cy) < 4) ||
                       (std::abs(cx) < 4 && std::abs(std::abs(cy) - 30) < 4);
        }
    };

    MapCanvas map;
    const uint8_t outside =
        tileSet == kKoopaBeach || tileSet == kBowserCastle ? tile::kDeep : tile::kOffroad;
    for (int y = 0; y < kMapSide; ++y)
        for (int x = 0; x < kMapSide; ++x) {
            if (isFloor(x, y)) {
                const bool shade = ((x / 4) + (y / 4)) & 1;
                map.set(x, y,
                        isBlock(x, y) ? tile::kBlock : (shade ? tile::kRoadShade : tile::kRoad));
                continue;
            }
            bool nearFloor = false;
            for (int dy = -2; dy <= 2 && !nearFloor; ++dy)
                for (int dx = -2; dx <= 2 && !nearFloor; ++dx)
                    nearFloor = MapCanvas::inside(x + dx, y + dy) && isFloor(x + dx, y + dy);
            map.set(x, y, nearFloor ? tile::kWall : outside);
        }
    map.frame(tile::kWall, 2);

    // Item boxes in rings around the centre, at angles that differ per arena.
    for (int ring = 0; ring < 2; ++ring) {
        const double radius = ring == 0 ? 16.0 : 36.0;
        for (int k = 0; k < 8; ++k) {
            const double angle = (k + 0.5 * ring + 0.25 * arena) * 3.14159265358979 / 4;
            const int x = static_cast<int>(std::floor(64 + radius * std::cos(angle)));
            const int y = static_cast<int>(std::floor(64 + radius * std::sin(angle)));
            if (isFloor(x, y) && !isBlock(x, y)) map.set(x, y, tile::kItemBox);
        }
    }
    if (tileSet != kBowserCastle) {
        for (int k = 0; k < 6; ++k) {
            const int x = 30 + 12 * k, y = 64 + (k & 1 ? 12 : -12);
            if (isFloor(x, y) && !isBlock(x, y) && map.get(x, y) != tile::kItemBox)
                map.set(x, y, tile::kCoin);
        }
    }
    return map.cells();
}

void putWord(std::vector<uint8_t>& rom, uint32_t at, uint16_t value) {
    rom[at] = static_cast<uint8_t>(value & 0xFF);
    rom[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Compresses with format 4 into out; false if the library refused or the
// stream would not fit the editor's 16 KiB buffers.
bool compressFormat4(std::vector<uint8_t> source, std::vector<uint8_t>& out) {
    std::vector<uint8_t> buffer(0x10000);
    const uint32_t size =
        ZarniRecompress(source.data(), buffer.data(), static_cast<uint32_t>(source.size()),
                        static_cast<uint32_t>(buffer.size()), 4, 0);
    if (size == 0 || size > static_cast<uint32_t>(kMapSize)) return false;
    out.assign(buffer.begin(), buffer.begin() + size);
    return true;
}

}  // namespace

double hashUnit(int x, int y, int seed) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(seed) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xFFFFu) / 65535.0;
}

TileRole tileRole(uint8_t t) {
    switch (t) {
        case tile::kRoad:
            return TileRole::Road;
        case tile::kRoadShade:
            return TileRole::RoadShade;
        case tile::kStartLight:
            return TileRole::StartLight;
        case tile::kStartDark:
            return TileRole::StartDark;
        case tile::kKerbA:
            return TileRole::KerbA;
        case tile::kKerbB:
            return TileRole::KerbB;
        case tile::kBarrier:
            return TileRole::Barrier;
        case tile::kOffroad:
            return TileRole::Offroad;
        case tile::kRough:
            return TileRole::Rough;
        case tile::kWall:
            return TileRole::Wall;
        case tile::kBlock:
            return TileRole::Block;
        case tile::kDeep:
            return TileRole::Deep;
        case tile::kShallow:
            return TileRole::Shallow;
        case tile::kSand:
            return TileRole::Sand;
        case tile::kItemBox:
            return TileRole::ItemBox;
        case tile::kCoin:
            return TileRole::Coin;
        case tile::kBoost:
            return TileRole::Boost;
        case tile::kJump:
            return TileRole::Jump;
        case tile::kOil:
            return TileRole::Oil;
        case tile::kObstacle:
            return TileRole::Obstacle;
        case tile::kBump:
            return TileRole::Bump;
        default:
            return TileRole::Unused;
    }
}

bool isTrackSurface(uint8_t t) {
    switch (tileRole(t)) {
        case TileRole::Road:
        case TileRole::RoadShade:
        case TileRole::StartLight:
        case TileRole::StartDark:
        case TileRole::ItemBox:
        case TileRole::Coin:
        case TileRole::Boost:
        case TileRole::Jump:
        case TileRole::Oil:
        case TileRole::Bump:
            return true;
        default:
            return false;
    }
}

int demoLevelTrack(int level) {
    return level >= 0 && level < kLevelCount ? level : 0;
}

bool demoTrackIsArena(int track) {
    return track >= kRaceLevelCount && track < kTrackCount;
}

int demoTrackTheme(int track) {
    if (track < 0 || track >= kTrackCount) return 0;
    const int tileSet = demoTrackIsArena(track) ? kArenaTileSets[track - kRaceLevelCount]
                                                : raceDesigns()[track].tileSet;
    return tileSet * 2;
}

TrackMap demoTrackMap(int track) {
    if (track < 0 || track >= kTrackCount) {
        TrackMap empty;
        empty.fill(0);
        return empty;
    }
    return demoTrackIsArena(track) ? drawArena(track - kRaceLevelCount) : drawRaceTrack(track);
}

DemoRom buildDemoRom() {
    DemoRom result;
    std::vector<uint8_t> rom(kRomSize, 0);

    // A little recognisable filler so the low area is not blank: a note, a
    // reset stub that loops forever, and a block of pseudo-random bytes.
    static const char kNote[] = "KORVALE DEMO IMAGE - GENERATED TRACKS, NO GAME DATA";
    std::memcpy(rom.data(), kNote, sizeof kNote - 1);
    const uint8_t stub[] = {0x78, 0x18, 0xFB, 0x80, 0xFE, 0x40};  // sei clc xce bra * / rti
    std::memcpy(rom.data() + 0x8000, stub, sizeof stub);
    uint32_t lcg = 0x4B4F5256u;
    for (uint32_t i = 0x20000; i < 0x22000; ++i) {
        lcg = lcg * 1664525u + 1013904223u;
        rom[i] = static_cast<uint8_t>(lcg >> 24);
    }

    // Internal header.
    std::memset(rom.data() + kRomTitleOffset, ' ', kRomTitleLength);
    std::memcpy(rom.data() + kRomTitleOffset, kRomTitle, sizeof kRomTitle - 1);
    rom[kRomMapModeOffset] = 0x21;  // HiROM
    rom[kRomSizeByteOffset] = kRomSizeByte;
    rom[0xFFD9] = 0x01;  // region
    rom[0xFFDA] = 0x01;  // licensee
    for (uint32_t vector = 0xFFE4; vector < 0x10000; vector += 2) putWord(rom, vector, 0x8005);
    putWord(rom, 0xFFFC, 0x8000);  // reset

    // Tables.
    for (int level = 0; level < kLevelCount; ++level) {
        const uint32_t at = level < kRaceLevelCount
                                ? kLevelTrackTableOffset + level
                                : kBattleTrackTableOffset + (level - kRaceLevelCount);
        rom[at] = static_cast<uint8_t>(demoLevelTrack(level));
    }
    uint32_t next = kTrackDataOffset;
    for (int track = 0; track < kTrackCount; ++track) {
        rom[kTrackThemeTableOffset + track] = static_cast<uint8_t>(demoTrackTheme(track));
        const TrackMap map = demoTrackMap(track);
        std::vector<uint8_t> once, twice;
        if (!compressFormat4(std::vector<uint8_t>(map.begin(), map.end()), once) ||
            !compressFormat4(once, twice))
            return {};
        // Keep each stream inside one 64 KiB bank, as the game's data is.
        if ((next & 0xFFFF) + twice.size() > 0x10000) next = (next | 0xFFFF) + 1;
        if (next + twice.size() > kRomSize) return {};
        std::copy(twice.begin(), twice.end(), rom.begin() + next);
        const uint32_t bus = next | kHiRomBank;
        const uint32_t entry = kTrackPointerTableOffset + 3 * track;
        rom[entry] = static_cast<uint8_t>(bus & 0xFF);
        rom[entry + 1] = static_cast<uint8_t>((bus >> 8) & 0xFF);
        rom[entry + 2] = static_cast<uint8_t>(bus >> 16);
        result.tracks[track] = {next, static_cast<uint32_t>(twice.size())};
        next += static_cast<uint32_t>(twice.size());
    }

    // Checksum last, over everything else. With the complement at 0xFFFF and the
    // checksum at 0 the four bytes add up to 0x1FE, as they do for any valid
    // pair, so writing the pair does not change the sum.
    putWord(rom, kChecksumComplementOffset, 0xFFFF);
    putWord(rom, kChecksumOffset, 0x0000);
    uint32_t sum = 0;
    for (uint8_t b : rom) sum += b;
    const uint16_t checksum = static_cast<uint16_t>(sum & 0xFFFF);
    putWord(rom, kChecksumComplementOffset, static_cast<uint16_t>(checksum ^ 0xFFFF));
    putWord(rom, kChecksumOffset, checksum);

    // Copier header: ROM size in 8 KiB units, the rest zero.
    result.file.assign(kCopierHeaderSize, 0);
    putWord(result.file, 0, static_cast<uint16_t>(kRomSize / 0x2000));
    result.file.insert(result.file.end(), rom.begin(), rom.end());
    return result;
}

bool writeDemoRom(const std::string& path, std::string& error) {
    const DemoRom rom = buildDemoRom();
    if (rom.file.empty()) {
        error = "a track did not compress into the image";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    out.write(reinterpret_cast<const char*>(rom.file.data()),
              static_cast<std::streamsize>(rom.file.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace korvale::demo
