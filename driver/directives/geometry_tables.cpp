#include "driver/directives/geometry_tables.h"

#include <cstdio>

#include "geometry/surface_functions.h"

namespace directives {
GEOMETRYRECORDS geometry;
GEOMETRYPRECISION geometryPrecision;
}  // namespace directives

namespace {

template <typename T>
T* DataOrNull(std::vector<T>& v) {
  return v.empty() ? nullptr : v.data();
}

void BindEntryRow(ENTRYROW& row, uint16_t** count, uint16_t*** lists) {
  if (row.count.empty()) {
    *count = nullptr;
    *lists = nullptr;
    return;
  }
  row.listPointers.resize(row.lists.size());
  for (size_t s = 0; s < row.lists.size(); ++s) row.listPointers[s] = DataOrNull(row.lists[s]);
  *count = row.count.data();
  *lists = row.listPointers.data();
}

}  // namespace

void REGIONLIST::Append(uint16_t surface, int8_t sense, int16_t macrobodyReference, int16_t facetNumber) {
  surfaces.push_back(surface);
  senses.push_back(sense);
  surfMacrobody.push_back(macrobodyReference);
  surfFacet.push_back(facetNumber);
}

void REGIONLIST::Keep(const std::vector<bool>& removed) {
  size_t kept = 0;
  for (size_t k = 0; k < surfaces.size(); ++k) {
    if (removed[k]) continue;
    surfaces[kept] = surfaces[k];
    senses[kept] = senses[k];
    surfMacrobody[kept] = surfMacrobody[k];
    surfFacet[kept] = surfFacet[k];
    ++kept;
  }
  surfaces.resize(kept);
  senses.resize(kept);
  surfMacrobody.resize(kept);
  surfFacet.resize(kept);
}

int32_t FindPlainSurface(int32_t identifier) {
  for (int32_t i = 0; i < directives::geometry.nSurfaces; ++i) {
    const SURFACE& s = directives::geometry.surf[static_cast<size_t>(i)];
    if (s.macrobody < 0 && s.identifier == identifier) return i;
  }
  return -1;
}

int32_t FindMacrobody(int32_t identifier) {
  for (int32_t i = 0; i < directives::geometry.nMacrobodies; ++i) {
    if (directives::geometry.macrobodies[static_cast<size_t>(i)].identifier == identifier) return i;
  }
  return -1;
}

int32_t FindCell(int32_t identifier) {
  for (int32_t i = 0; i < directives::geometry.nCells; ++i) {
    if (directives::geometry.cell[static_cast<size_t>(i)].number == identifier) return i;
  }
  return -1;
}

int32_t FindTransform(int32_t identifier) {
  for (int32_t i = 0; i < directives::geometry.nTransforms; ++i) {
    if (directives::geometry.transforms[static_cast<size_t>(i)].identifier == identifier) return i;
  }
  return -1;
}

int32_t FindSameSurface(const SURFACE& s) {
  for (int32_t k = 0; k < directives::geometry.nSurfaces; ++k) {
    if (SameSurface(&s, &directives::geometry.surf[static_cast<size_t>(k)],
                    directives::geometryPrecision.distancePrecision, directives::geometryPrecision.anglePrecision))
      return k;
  }
  return -1;
}

Status AppendSurface(const SURFACE& s, int32_t* index) {
  if (directives::geometry.nSurfaces >= kMaxSurfaces) {
    printf("Error: The number of surfaces is greater than %d.\n", kMaxSurfaces);
    return kInputError;
  }
  directives::geometry.surf.push_back(s);
  *index = directives::geometry.nSurfaces++;
  return kOk;
}

Status CheckMacrobodyCapacity() {
  if (directives::geometry.nMacrobodies < kMaxMacrobodies) return kOk;
  printf("Error: The number of macrobodies is greater than %d.\n", kMaxMacrobodies);
  return kInputError;
}

void AppendMacrobody(MACROBODY rec, MACROBODYARRAYS arrays) {
  rec.nFacets = static_cast<uint16_t>(arrays.size());
  directives::geometry.macrobodies.push_back(rec);
  directives::geometry.macrobodyArrays.push_back(std::move(arrays));
  BindMacrobodyArrays(directives::geometry.nMacrobodies++);
}

CELL& NewCellRecord() {
  const int32_t n = directives::geometry.nCells;
  if (n % kCellTableGrowth == 0) {
    directives::geometry.cell.resize(static_cast<size_t>(n) + kCellTableGrowth);
    directives::geometry.cellArrays.resize(static_cast<size_t>(n) + kCellTableGrowth);
    directives::geometry.givenCellVolume.resize(static_cast<size_t>(n) + kCellTableGrowth, -1.0);
    directives::geometry.analysisStatus.resize(static_cast<size_t>(n) + kCellTableGrowth, 0);
  }
  directives::geometry.cell[static_cast<size_t>(n)] = CELL{};
  directives::geometry.cellArrays[static_cast<size_t>(n)] = CELLARRAYS{};
  directives::geometry.givenCellVolume[static_cast<size_t>(n)] = -1.0;
  directives::geometry.analysisStatus[static_cast<size_t>(n)] = 0;
  return directives::geometry.cell[static_cast<size_t>(n)];
}

void BindCellArrays(int32_t i) {
  CELL& c = directives::geometry.cell[static_cast<size_t>(i)];
  CELLARRAYS& a = directives::geometry.cellArrays[static_cast<size_t>(i)];
  c.nSurf = static_cast<uint16_t>(a.region.size());
  c.surfaces = DataOrNull(a.region.surfaces);
  c.senses = DataOrNull(a.region.senses);
  c.surfMacrobody = DataOrNull(a.region.surfMacrobody);
  c.surfFacet = DataOrNull(a.region.surfFacet);
  c.innerCellCount = static_cast<int32_t>(a.innerCells.size());
  c.innerCells = DataOrNull(a.innerCells);
  for (int row = 0; row < kCellEntryRows; ++row)
    BindEntryRow(a.entry[row], &c.cellEntryCount[row], &c.cellEntryList[row]);
  size_t slots = 0;
  for (const ENTRYROW& row : a.entry) slots = row.count.size() > slots ? row.count.size() : slots;
  c.nEntrySlots = static_cast<uint16_t>(slots);
}

void BindMacrobodyArrays(int32_t i) {
  MACROBODY& m = directives::geometry.macrobodies[static_cast<size_t>(i)];
  MACROBODYARRAYS& a = directives::geometry.macrobodyArrays[static_cast<size_t>(i)];
  m.nFacets = static_cast<uint16_t>(a.size());
  m.facetSurfaces = DataOrNull(a.surfaces);
  m.facetSenses = DataOrNull(a.senses);
  m.surfMacrobody = DataOrNull(a.surfMacrobody);
  m.surfFacet = DataOrNull(a.surfFacet);
}

void BindUnionCells(int32_t i) {
  CELLUNION& u = directives::geometry.unionData[static_cast<size_t>(i)];
  std::vector<int16_t>& cells = directives::geometry.unionCells[static_cast<size_t>(i)];
  u.nCells = static_cast<uint16_t>(cells.size());
  u.cells = DataOrNull(cells);
}

GeometryTablesView ParserTables() {
  return GeometryTablesView{DataOrNull(directives::geometry.surf),        directives::geometry.nSurfaces,
                            DataOrNull(directives::geometry.macrobodies), directives::geometry.nMacrobodies,
                            DataOrNull(directives::geometry.cell),        directives::geometry.nCells};
}

GeometryAnalysis AnalysisTables() {
  GeometryAnalysis g{};
  g.surf = DataOrNull(directives::geometry.surf);
  g.cells = DataOrNull(directives::geometry.cell);
  g.nCells = directives::geometry.nCells;
  g.tol =
      AnalysisTolerances{directives::geometryPrecision.anglePrecision, directives::geometryPrecision.maxDistanceRatio};
  g.console = stdout;
  return g;
}

std::string RegionItemText(const REGIONLIST& r, size_t k, bool withSign) {
  char text[128];
  FormatSurfaceId(&directives::geometry.surf[r.surfaces[k]], withSign ? r.senses[k] : 0, r.surfMacrobody[k],
                  r.surfFacet[k], DataOrNull(directives::geometry.macrobodies), text, sizeof text);
  return text;
}

void ReverseSenseEverywhere(int32_t s) {
  auto reverse = [s](REGIONLIST& r) {
    for (size_t k = 0; k < r.size(); ++k) {
      if (r.surfaces[k] == s) r.senses[k] = static_cast<int8_t>(-r.senses[k]);
    }
  };
  for (MACROBODYARRAYS& m : directives::geometry.macrobodyArrays) reverse(m);
  for (int32_t c = 0; c < directives::geometry.nCells; ++c)
    reverse(directives::geometry.cellArrays[static_cast<size_t>(c)].region);
}

void ResetGeometryTables() {
  directives::geometry = GEOMETRYRECORDS{};
  directives::geometryPrecision = GEOMETRYPRECISION{};
}
