// The geometry records of a problem: surfaces, macrobodies, cells (the simple
// geometry's layer is cell 0), unions of cells and coordinate
// transformations, the volumes given with VOL and what the analysis of each
// cell leaves for the set-up. The surface, cell, union and transformation
// directives fill them in the second pass; the set-up and the transport read
// them afterwards.
//
// Storage follows the problem: every table grows with its definitions up to
// its capacity (whose message stays), and the variable-length lists of a
// record live in vectors owned beside the table, the record's pointers
// pointing into them (BindCellArrays and the like set them again after a
// change).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/cell_union.h"
#include "core/macrobody.h"
#include "core/surface.h"
#include "core/transform.h"
#include "driver/status.h"
#include "geometry/cell_analysis.h"
#include "geometry/cell_parser.h"

constexpr int kCellTableGrowth = 20;  // the cell table grows by this many records
constexpr int kListGrowth = 10;       // growth step of the lists the cell parser builds

// The cell-entry registration of one tally class of one cell: per entry slot
// (0 the cells inside the cell, s + 1 bounding surface s) the tally indices.
struct ENTRYROW {
  std::vector<uint16_t> count;               // [nEntrySlots]
  std::vector<std::vector<uint16_t>> lists;  // [nEntrySlots]
  std::vector<uint16_t*> listPointers;       // [nEntrySlots] into lists
};

// A region's bounding list: signed surfaces with the macrobody references
// and facet numbers that name them in messages (cell_parser.h).
struct REGIONLIST {
  std::vector<uint16_t> surfaces;  // SURFACE indices
  std::vector<int8_t> senses;      // side of each surface on which the region lies: -1 or +1
  std::vector<int16_t> surfMacrobody;
  std::vector<int16_t> surfFacet;

  size_t size() const { return surfaces.size(); }
  void Append(uint16_t surface, int8_t sense, int16_t macrobodyReference, int16_t facetNumber);
  // Drops the entries marked in removed, keeping the order of the others.
  void Keep(const std::vector<bool>& removed);
};

// The lists of one cell record.
struct CELLARRAYS {
  REGIONLIST region;                // the bounding surfaces
  std::vector<int32_t> innerCells;  // CELL indices listed after '#'
  ENTRYROW entry[kCellEntryRows];
};

// The lists of one macrobody record: its facets (standard kinds) or items (general).
using MACROBODYARRAYS = REGIONLIST;

// Distance and angle tolerances and the march limit of the geometry
// (DISTANCE_PRECISION, ANGLE_PRECISION, MAXDISTANCE_RATIO).
struct GEOMETRYPRECISION {
  double distancePrecision = 1e-12;  // cm: points closer than this coincide
  double anglePrecision = 1e-12;     // unit vectors and cosines closer than this are equal
  double maxDistanceRatio = 1e20;    // largest distance considered = distancePrecision x this ratio
};

struct GEOMETRYRECORDS {
  std::vector<SURFACE> surf;  // [nSurfaces] plain surfaces and macrobody facets
  int32_t nSurfaces = 0;
  std::vector<MACROBODY> macrobodies;  // [nMacrobodies]
  std::vector<MACROBODYARRAYS> macrobodyArrays;
  int32_t nMacrobodies = 0;
  std::vector<CELL> cell = std::vector<CELL>(1);  // in use: nCells; grows by kCellTableGrowth empty records
  std::vector<CELLARRAYS> cellArrays = std::vector<CELLARRAYS>(1);
  int32_t nCells = 0;
  std::vector<CELLUNION> unionData;  // [nUnions]
  std::vector<std::vector<int16_t>> unionCells;
  int32_t nUnions = 0;
  std::vector<TRANSFORM> transforms;  // [nTransforms], for the time of the input
  int32_t nTransforms = 0;
  std::vector<double> givenCellVolume = std::vector<double>(1, -1.0);  // per cell: the VOL volume (cm^3), -1.0 none
  std::vector<int32_t> analysisStatus = std::vector<int32_t>(1, 0);    // per cell: 0, or AnalyzeCell's negative result
  int32_t maxCellSurfaces = 0;                                         // most bounding surfaces of any cell so far
  // Work buffer of the set-up: three doubles per unordered pair of bounding
  // surfaces of the largest cell.
  std::vector<double> surfacePairBuffer;
};

namespace directives {
extern GEOMETRYRECORDS geometry;
extern GEOMETRYPRECISION geometryPrecision;
}  // namespace directives

// Look-ups by identifier; -1 when there is none.
int32_t FindPlainSurface(int32_t identifier);  // a surface S<n> that no macrobody owns
int32_t FindMacrobody(int32_t identifier);
int32_t FindCell(int32_t identifier);
int32_t FindTransform(int32_t identifier);

// The first surface that coincides with s (SameSurface), or -1.
int32_t FindSameSurface(const SURFACE& s);

// Appends a surface; "Error: The number of surfaces is greater than %d.\n"
// at the capacity. *index receives its index.
Status AppendSurface(const SURFACE& s, int32_t* index);

// Refuses a macrobody beyond the capacity of the table.
Status CheckMacrobodyCapacity();

// Appends a macrobody record and its lists (the record's pointers are set).
void AppendMacrobody(MACROBODY rec, MACROBODYARRAYS arrays);

// Makes room for cell record nCells (the table grows by kCellTableGrowth
// records when nCells is a multiple of it) and returns it, with its lists empty.
CELL& NewCellRecord();

// Sets the pointers of cell i (and of macrobody i, union i) to its lists.
void BindCellArrays(int32_t i);
void BindMacrobodyArrays(int32_t i);
void BindUnionCells(int32_t i);

// The tables as the cell parser and the cell analysis read them.
GeometryTablesView ParserTables();
GeometryAnalysis AnalysisTables();

// The identifier text of entry k of a region, as FormatSurfaceId writes it
// (with its sign when signed), for messages.
std::string RegionItemText(const REGIONLIST& r, size_t k, bool withSign = true);

// Reverses the sense of every use of surface s in the facet lists of the
// macrobodies and in the bounding lists of the cells: after its normal has
// been reversed, every region stays the same.
void ReverseSenseEverywhere(int32_t s);

// The tables empty (the cell table holding one empty record, the layer's in a
// simple geometry), and the precisions at their defaults.
void ResetGeometryTables();
