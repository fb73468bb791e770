// Cell analysis: interior points of typical cells, empty cells and redundant
// surfaces, pair relations, curves through regions, containment and overlap
// of cells, and the same answers on several threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "geometry/analysis_messages.h"
#include "geometry/cell_analysis.h"
#include "geometry/intersection_curves.h"
#include "geometry/surface_functions.h"
#include "tests/geometry/geometry_test_surfaces.h"

namespace {

constexpr double kPrecision = 1e-12;
const AnalysisTolerances kTol{1e-12, 1e20};

// A set of surfaces and regions (index lists with senses) over them.
struct Scene {
  std::vector<SURFACE> surf;
  std::vector<std::vector<uint16_t>> cellSurfaces;
  std::vector<std::vector<int8_t>> cellSenses;
  std::vector<CELL> cells;
  FILE* console = nullptr;

  uint16_t Add(SURFACE s) {
    surf.push_back(s);
    return static_cast<uint16_t>(surf.size() - 1);
  }
  int AddCell(std::vector<uint16_t> s, std::vector<int8_t> senses) {
    cellSurfaces.push_back(std::move(s));
    cellSenses.push_back(std::move(senses));
    return static_cast<int>(cellSurfaces.size()) - 1;
  }
  GeometryAnalysis View() {
    cells.assign(cellSurfaces.size(), CELL{});
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i].nSurf = static_cast<uint16_t>(cellSurfaces[i].size());
      cells[i].surfaces = cellSurfaces[i].data();
      cells[i].senses = cellSenses[i].data();
    }
    return GeometryAnalysis{surf.data(), cells.data(), static_cast<int32_t>(cells.size()), kTol,
                            {nullptr, nullptr, nullptr}, {0, 0, 0}, console};
  }
};

// Six planes of the box [lo, hi] (normals +-axis); the box is the -1 side of each.
std::vector<uint16_t> AddBox(Scene& s, VECTOR lo, VECTOR hi) {
  return {s.Add(MakePlane(hi, Init(1, 0, 0))), s.Add(MakePlane(hi, Init(0, 1, 0))), s.Add(MakePlane(hi, Init(0, 0, 1))),
          s.Add(MakePlane(lo, Init(-1, 0, 0))), s.Add(MakePlane(lo, Init(0, -1, 0))), s.Add(MakePlane(lo, Init(0, 0, -1)))};
}

bool StrictlyInside(const Scene& s, const std::vector<uint16_t>& list, const std::vector<int8_t>& senses, VECTOR p) {
  for (size_t q = 0; q < list.size(); ++q)
    if (!(senses[q] * DistanceToSurface(&p, &s.surf[list[q]]) > kPrecision)) return false;
  return true;
}

struct CellCase {
  const char* name;
  std::function<void(Scene&, std::vector<uint16_t>&, std::vector<int8_t>&)> build;
};

std::vector<CellCase> InteriorCases() {
  return {
      {"cube", [](Scene& s, auto& l, auto& n) { l = AddBox(s, Init(0, 0, 0), Init(1, 1, 1)); n.assign(6, -1); }},
      {"spherical shell", [](Scene& s, auto& l, auto& n) {
         l = {s.Add(MakeSphere(Init(0, 0, 0), 1.0)), s.Add(MakeSphere(Init(0, 0, 0), 2.0))};
         n = {+1, -1};
       }},
      {"capped cylinder", [](Scene& s, auto& l, auto& n) {
         l = {s.Add(MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 1.0)), s.Add(MakePlane(Init(0, 0, 2), Init(0, 0, 1))),
              s.Add(MakePlane(Init(0, 0, -1), Init(0, 0, 1)))};
         n = {-1, -1, +1};
       }},
      {"cone cut by a plane", [](Scene& s, auto& l, auto& n) {
         l = {s.Add(MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0)), s.Add(MakePlane(Init(0, 0, 3), Init(0.2, 0, 1) / Norm(Init(0.2, 0, 1))))};
         n = {-1, -1};
       }},
      {"pyramid", [](Scene& s, auto& l, auto& n) {
         // Square base z > 0 and four slanted faces meeting at the apex (0, 0, 1).
         const VECTOR apex = Init(0, 0, 1);
         l = {s.Add(MakePlane(Init(0, 0, 0), Init(0, 0, -1)))};
         for (VECTOR f : {Init(1, 0, 1), Init(-1, 0, 1), Init(0, 1, 1), Init(0, -1, 1)}) l.push_back(s.Add(MakePlane(apex, f / Norm(f))));
         n.assign(5, -1);
       }},
      {"cell with an inner cell", [](Scene& s, auto& l, auto& n) {
         l = AddBox(s, Init(-1, -1, -1), Init(1, 1, 1));
         l.push_back(s.Add(MakeSphere(Init(0, 0, 0), 0.5)));
         n = {-1, -1, -1, -1, -1, -1, +1};
       }},
      {"slanted box of a cylinder and planes", [](Scene& s, auto& l, auto& n) {
         l = {s.Add(MakeCylinder(Init(0, 0, 0), Init(1, 1, 0) / std::sqrt(2.0), 1.0)),
              s.Add(MakePlane(Init(0, 0, 0), Init(0, 0, 1))), s.Add(MakePlane(Init(3, 0, 0), Init(1, 0, 0))),
              s.Add(MakePlane(Init(-3, 0, 0), Init(-1, 0, 0)))};
         n = {-1, +1, -1, -1};
       }},
  };
}

TEST(AnalyzeCell, FindsAPointStrictlyInsideTypicalCells) {
  for (const CellCase& c : InteriorCases()) {
    SCOPED_TRACE(c.name);
    Scene s;
    std::vector<uint16_t> list;
    std::vector<int8_t> senses;
    c.build(s, list, senses);
    const GeometryAnalysis g = s.View();
    VECTOR p{};
    uint8_t kind = 7;
    double precision = kPrecision;
    const int r = AnalyzeCell(g, static_cast<int>(list.size()), list.data(), senses.data(), &p, &kind, &precision);
    EXPECT_EQ(r, kRegionHasVolume);
    EXPECT_EQ(kind, kPointInterior);
    EXPECT_TRUE(StrictlyInside(s, list, senses, p)) << p.x << " " << p.y << " " << p.z;
    EXPECT_EQ(precision, kPrecision);
  }
}

TEST(AnalyzeCell, ReportsAnEmptyCellAndUndecidedSmallRegions) {
  Scene s;
  // Two disjoint balls taken together: their pair has no common point.
  const std::vector<uint16_t> balls = {s.Add(MakeSphere(Init(0, 0, 0), 1.0)), s.Add(MakeSphere(Init(5, 0, 0), 1.0))};
  const std::vector<int8_t> inside = {-1, -1};
  // A box with a slab of zero thickness: x < 1 and x > 1 of two distinct planes.
  std::vector<uint16_t> flat = AddBox(s, Init(0, 0, 0), Init(1, 1, 1));
  flat.push_back(s.Add(MakePlane(Init(1, 0, 0), Init(1, 0, 0))));
  std::vector<int8_t> flatSenses(6, -1);
  flatSenses.push_back(+1);
  const GeometryAnalysis g = s.View();
  uint8_t flag = 0;
  EXPECT_EQ(SurfacePairRelation(g, balls.data(), 0, 1, inside.data(), kPrecision, &flag), 0);
  EXPECT_EQ(SurfacePairRelation(g, flat.data(), 0, 6, flatSenses.data(), kPrecision, &flag), 0);
  EXPECT_EQ(flag, 0);
  VECTOR p{};
  uint8_t kind = 9;
  double precision = kPrecision;
  EXPECT_EQ(AnalyzeCell(g, 1, balls.data(), inside.data(), &p, &kind, &precision), kRegionUndecided);
  EXPECT_EQ(kind, kPointNone);
  // x < 0, y < 0 and x + y > 1 meet pairwise but have no common point: no
  // vertex, no edge and no interior point (the set-up's zero-volume verdict).
  Scene t;
  const std::vector<uint16_t> wedge = {t.Add(MakePlane(Init(0, 0, 0), Init(1, 0, 0))),
                                       t.Add(MakePlane(Init(0, 0, 0), Init(0, 1, 0))),
                                       t.Add(MakePlane(Init(1, 0, 0), Init(1, 1, 0) / std::sqrt(2.0)))};
  const std::vector<int8_t> wedgeSenses = {-1, -1, +1};
  const GeometryAnalysis gt = t.View();
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      EXPECT_EQ(SurfacePairRelation(gt, wedge.data(), i, j, wedgeSenses.data(), kPrecision, &flag), 1);
  kind = 9;
  EXPECT_EQ(AnalyzeCell(gt, 3, wedge.data(), wedgeSenses.data(), &p, &kind, &precision), kRegionUndecided);
  EXPECT_EQ(kind, kPointNone);
}

TEST(SurfacePairRelation, TellsRedundantAndComplementaryHalfSpaces) {
  Scene s;
  const uint16_t small = s.Add(MakeSphere(Init(0, 0, 0), 1.0));
  const uint16_t large = s.Add(MakeSphere(Init(0, 0, 0), 2.0));
  const uint16_t plane = s.Add(MakePlane(Init(0, 0, 0), Init(0, 0, 1)));
  const uint16_t same = s.Add(MakePlane(Init(0, 0, 0), Init(0, 0, 1)));
  const uint16_t flipped = s.Add(MakePlane(Init(0, 0, 0), Init(0, 0, -1)));
  const uint16_t cone = s.Add(MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0));
  const uint16_t offAxis = s.Add(MakeSphere(Init(1, 0, 2), 0.8));
  const uint16_t far = s.Add(MakePlane(Init(10, 0, 0), Init(1, 0, 0)));
  const GeometryAnalysis g = s.View();
  struct Row {
    uint16_t i, j;
    int8_t si, sj;
    int expected;
  };
  const Row rows[] = {
      {small, large, +1, -1, 1},    // shell: both needed
      {small, large, -1, -1, -2},   // inside both: the larger sphere (j) is redundant
      {small, far, -1, -1, -2},     // a ball and a plane that misses it on the ball's side
      {large, small, -1, -1, -1},   // the larger sphere first: it is redundant (-1)
      {small, large, -1, +1, 0},    // inside the small one and outside the large one
      {plane, same, -1, -1, -1},    // the same half-space twice
      {plane, flipped, -1, -1, 0},  // complementary half-spaces
      {plane, flipped, -1, +1, -1}, // the same half-space written with opposite normals
  };
  for (const Row& r : rows) {
    const uint16_t list[2] = {r.i, r.j};
    const int8_t senses[2] = {r.si, r.sj};
    uint8_t flag = 0;
    const int got = SurfacePairRelation(g, list, 0, 1, senses, kPrecision, &flag);
    EXPECT_EQ(got, r.expected) << r.i << " " << r.j << " " << int(r.si) << " " << int(r.sj);
    EXPECT_EQ(flag, 0);
  }
  const uint16_t list[2] = {cone, offAxis};
  const int8_t senses[2] = {-1, -1};
  uint8_t flag = 0;
  EXPECT_EQ(SurfacePairRelation(g, list, 0, 1, senses, kPrecision, &flag), 1);
  EXPECT_EQ(flag, 1) << "a sphere off the cone's axis meets it without a parametrised curve";
}

TEST(AnalyzeCell, RaisesThePrecisionOnceForAnInexactVertex) {
  Scene s;
  // The plane z = 0 whose constant says z = 5e-12: the corner found on the
  // two other planes' line lies 5e-12 off it by its surface function.
  const std::vector<uint16_t> box = AddBox(s, Init(0, 0, 0), Init(1, 1, 1));
  s.surf[box[5]].offset = 5e-12;
  const std::vector<uint16_t> ordered = {box[3], box[4], box[5], box[0], box[1], box[2]};
  const std::vector<int8_t> senses(6, -1);
  FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  s.console = sink;
  const GeometryAnalysis g = s.View();
  VECTOR p{};
  uint8_t kind = 0;
  double precision = kPrecision;
  EXPECT_EQ(AnalyzeCell(g, 6, ordered.data(), senses.data(), &p, &kind, &precision), kRegionHasVolume);
  EXPECT_NEAR(precision, 5e-12, 1e-20);
  std::rewind(sink);
  char text[200] = {};
  const size_t got = std::fread(text, 1, sizeof(text) - 1, sink);
  std::fclose(sink);
  char expected[100];
  std::snprintf(expected, sizeof(expected), kMsgPrecisionIncreased, precision);
  EXPECT_EQ(std::string(text, got), expected);
}

TEST(CurveInRegion, TellsCurvesThroughOutsideAndWhollyInside) {
  Scene s;
  const std::vector<uint16_t> box = AddBox(s, Init(0, 0, 0), Init(1, 1, 1));
  const int cube = s.AddCell(box, std::vector<int8_t>(6, -1));
  const GeometryAnalysis g = s.View();
  const SURFACE through = MakePlane(Init(0, 0, 0.5), Init(0, 0, 1));
  const SURFACE above = MakePlane(Init(0, 0, 3), Init(0, 0, 1));
  const SURFACE slanted = MakePlane(Init(0.5, 0.5, 0.5), Init(1, 1, 1) / std::sqrt(3.0));
  const SURFACE far = MakePlane(Init(0, 0, 5), Init(0, 1, 1) / std::sqrt(2.0));
  const SURFACE wall = MakePlane(Init(0.5, 0, 0), Init(1, 0, 0));
  struct Row {
    const SURFACE* a;
    const SURFACE* b;
    int expected;
  };
  const Row rows[] = {{&through, &wall, kCurveEntersRegion}, {&above, &wall, kCurveOutsideRegion},
                      {&slanted, &wall, kCurveEntersRegion}, {&far, &wall, kCurveOutsideRegion}};
  for (const Row& r : rows) {
    CURVE c{};
    ASSERT_EQ(IntersectSurfaces(r.a, r.b, &c, kPrecision, kTol), kCurveLine);
    VECTOR p{};
    int position = -1;
    EXPECT_EQ(CurveInCell(g, &c, cube, &p, &position, kPrecision, -1, -1), r.expected);
  }
  // A circle wholly inside a big ball meets no bounding surface.
  Scene b;
  const int ball = b.AddCell({b.Add(MakeSphere(Init(0, 0, 0), 10.0))}, {-1});
  const GeometryAnalysis gb = b.View();
  CURVE circle{};
  const SURFACE sphere = MakeSphere(Init(0, 0, 0), 1.0);
  ASSERT_EQ(IntersectSurfaces(&through, &sphere, &circle, kPrecision, kTol), kCurveCircle);
  VECTOR p{};
  int position = -1;
  EXPECT_EQ(CurveInCell(gb, &circle, ball, &p, &position, kPrecision, -1, -1), kCurveWhollyInRegion);
}

// Cells of the containment and overlap table.
struct PairScene {
  Scene s;
  int outer, inner, touching, overlapping, ball, shellPart;
  PairScene() {
    outer = s.AddCell(AddBox(s, Init(0, 0, 0), Init(4, 4, 4)), std::vector<int8_t>(6, -1));
    inner = s.AddCell(AddBox(s, Init(1, 1, 1), Init(2, 2, 2)), std::vector<int8_t>(6, -1));
    touching = s.AddCell(AddBox(s, Init(4, 0, 0), Init(6, 4, 4)), std::vector<int8_t>(6, -1));
    overlapping = s.AddCell(AddBox(s, Init(3, 3, 3), Init(5, 5, 5)), std::vector<int8_t>(6, -1));
    ball = s.AddCell({s.Add(MakeSphere(Init(2, 2, 2), 1.8))}, {-1});
    shellPart = s.AddCell({s.Add(MakeSphere(Init(2, 2, 2), 3.0)), s.Add(MakePlane(Init(2, 2, 2), Init(0, 0, 1)))},
                          {-1, -1});
  }
};

TEST(CellInsideCell, TellsNestedTouchingAndOverlappingPairs) {
  PairScene ps;
  const GeometryAnalysis g = ps.s.View();
  struct Row {
    int a, b;
    bool inside, overlap;
  };
  const Row rows[] = {
      {ps.inner, ps.outer, true, true},         {ps.outer, ps.inner, false, true},
      {ps.outer, ps.outer, true, true},         {ps.ball, ps.outer, true, true},
      {ps.inner, ps.ball, true, true},          {ps.touching, ps.outer, false, false},
      {ps.overlapping, ps.outer, false, true},  {ps.shellPart, ps.outer, false, true},
      {ps.touching, ps.inner, false, false},
  };
  for (const Row& r : rows) {
    uint8_t uncertain = 0, undecided = 0;
    double precision = kPrecision;
    EXPECT_EQ(CellInsideCell(g, r.a, r.b, &uncertain, &precision), r.inside) << r.a << " in " << r.b;
    EXPECT_EQ(CellsOverlap(g, r.a, r.b, &undecided, &precision), r.overlap) << r.a << " and " << r.b;
    EXPECT_EQ(CellsOverlap(g, r.b, r.a, &undecided, &precision), r.overlap) << r.b << " and " << r.a;
    EXPECT_EQ(uncertain, 0);
    EXPECT_EQ(undecided, 0);
  }
}

TEST(CellInsideCell, APlaneSeparatingTheCellsDecidesWithoutSurfaces) {
  PairScene ps;
  GeometryAnalysis g = ps.s.View();
  std::vector<int8_t> sides(g.nCells, 0);
  sides[ps.inner] = -1;
  sides[ps.touching] = 1;
  g.planeCellSide[0] = sides.data();
  g.nPlanes[0] = 1;
  uint8_t flag = 0;
  double precision = kPrecision;
  EXPECT_FALSE(CellInsideCell(g, ps.inner, ps.touching, &flag, &precision));
  EXPECT_FALSE(CellsOverlap(g, ps.inner, ps.touching, &flag, &precision));
  EXPECT_TRUE(CellInsideCell(g, ps.inner, ps.outer, &flag, &precision));
}

// Every cell-pair answer and interior point, as one string.
std::string Answers(const GeometryAnalysis& g, int first, int stride) {
  std::string out;
  for (int a = first; a < g.nCells; a += stride)
    for (int b = 0; b < g.nCells; ++b) {
      uint8_t u = 0, v = 0;
      double precision = kPrecision;
      out += CellInsideCell(g, a, b, &u, &precision) ? 'I' : '-';
      out += CellsOverlap(g, a, b, &v, &precision) ? 'O' : '-';
      out += static_cast<char>('0' + u + 2 * v);
    }
  return out;
}

TEST(CellAnalysis, SameAnswersOnOneAndFourThreads) {
  PairScene ps;
  const GeometryAnalysis g = ps.s.View();
  std::string one;
  for (int w = 0; w < 4; ++w) one += Answers(g, w, 4);
  std::string parts[4];
  std::vector<std::thread> threads;
  for (int w = 0; w < 4; ++w) threads.emplace_back([&, w] { parts[w] = Answers(g, w, 4); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(parts[0] + parts[1] + parts[2] + parts[3], one);
}

}  // namespace
