// Set-up analysis of regions: intersections of signed half-spaces given by
// bounding surfaces and senses (a cell, a general macrobody, the common part
// of two cells, the part of a cell inside one voxel). It tells a redundant
// bounding surface and a pair of half-spaces without a common point
// (SurfacePairRelation), finds a point strictly inside a region from one of
// its vertices or edges (AnalyzeCell with MarchLine and MarchLinePair),
// decides whether an intersection curve passes through a region
// (CurveInRegion, CurveInCell) and whether one cell lies inside another or
// shares a region with it (CellInsideCell, CellsOverlap).
//
// A point r is inside half-space k when sense_k f_k(r) > delta, on surface k
// when |f_k(r)| <= delta, outside when sense_k f_k(r) < -delta. delta is the
// distance precision the caller passes; AnalyzeCell may raise it through its
// pointer (each thread passes its own copy). Every routine keeps its scratch
// in its own call, so the main thread and the set-up workers may run them at
// the same time over one shared, read-only GeometryAnalysis.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/cell.h"
#include "core/curve.h"
#include "core/surface.h"
#include "core/vector.h"
#include "geometry/curve_functions.h"

// The tables the analysis reads; read-only while it runs.
struct GeometryAnalysis {
  const SURFACE* surf;                 // all surfaces (with a worker's temporary box planes)
  const CELL* cells;                   // [nCells]
  int32_t nCells;
  AnalysisTolerances tol;              // anglePrecision, maxDistanceRatio
  const int8_t* planeCellSide[3];      // per axis x, y, z: [plane x nCells + cell] side bytes, or null
  int32_t nPlanes[3];                  // coordinate planes per axis
  FILE* console;                       // where warnings go (the console)
};

// Kinds of the point AnalyzeCell returns.
enum RegionPointKind : uint8_t {
  kPointNone = 0,       // no point, or a point of an edge (an intersection curve of two bounding surfaces)
  kPointInterior = 1,   // strictly inside the region
  kPointVertex = 255,   // where three or more bounding surfaces meet
};

// Results of AnalyzeCell.
enum AnalyzeCellResult : int {
  kRegionHasVolume = 1,        // interior point found, or two surfaces meeting without a parametrised curve
  kRegionEmpty = 0,            // the march into the interior failed from the first vertex or edge found
  kRegionUndecided = -1,       // no vertex and no edge found (also fewer than two surfaces)
  kRegionNoDirection = -2,     // a vertex or edge point, but no direction into the interior
  kRegionDoubtful = -3,        // tangent vanished, or the march failed after a recorded candidate
};

// Status values of MarchLinePair.
enum EdgeStatus : int {
  kEdgeAlongRegion = 0,
  kEdgeExcluded = 1,
  kEdgeParallelNormals = 2,
  kEdgeStepLimit = 3,
  kEdgeLeftRegion = 4,
};

// Results of CurveInRegion.
enum CurveRegionResult : int {
  kCurveOutsideRegion = 0,
  kCurveEntersRegion = 1,
  kCurveWhollyInRegion = 2,
};

// A march that repeats its verdict this many times has settled.
constexpr int kMarchVerdictRepeats = 4;
// Most roots, candidates and trial points that a loop of this file visits in
// doublings of a step: 2200 doublings span every double.
constexpr int kMarchMaxDoublings = 2200;

// Relation of the half-spaces at positions i and j of a region: 0 no common
// point; -1 half-space i contains j (i is redundant); -2 j contains i; 1 both
// needed or undecided. Sets *notParameterised to 1 when the two surfaces meet
// without a parametrised curve (never clears it).
int SurfacePairRelation(const GeometryAnalysis& g, const uint16_t* surfaces, int i, int j, const int8_t* senses,
                        double precision, uint8_t* notParameterised);

// Looks for a point strictly inside the region of n surfaces (AnalyzeCellResult).
// *kind is set to kPointNone on entry; *precision may be raised (with the
// warning "Warning: distance precision increased to %.15g.\n").
int AnalyzeCell(const GeometryAnalysis& g, int n, const uint16_t* surfaces, const int8_t* senses, VECTOR* point,
                uint8_t* kind, double* precision);

// Direction of the edge of list positions a and b at a vertex where several
// surfaces meet (or of pair number k >= 0, decoded into a < b), oriented
// along the region; *status as EdgeStatus.
VECTOR MarchLinePair(const GeometryAnalysis& g, int k, int* a, int* b, int x1, int x2, VECTOR vertex, int m,
                     const int* list, const uint16_t* surfaces, const int8_t* senses, const VECTOR* normals,
                     double precision, int* status);

// Orients the n candidate directions (normalised in place) into the inner
// sides of the surfaces at list positions list[q] and returns their
// normalised sum; the zero vector when a candidate is too short, a march
// reaches delta x maxDistanceRatio without settling, or the sum vanishes.
VECTOR MarchLine(const GeometryAnalysis& g, int n, const VECTOR* start, VECTOR* candidates,
                 const uint16_t* surfaces, const int8_t* senses, const int* list, int special, double precision,
                 const CURVE* curve);

// Whether the curve passes through the region of n surfaces (positions x1
// and x2, the surfaces that carry the curve, are left out): CurveRegionResult.
int CurveInRegion(const GeometryAnalysis& g, const CURVE* curve, int n, const SURFACE* const* surfaces,
                  const int8_t* senses, VECTOR* point, int* position, double precision, int x1, int x2);

// CurveInRegion over the bounding surfaces of cell `cell`.
int CurveInCell(const GeometryAnalysis& g, const CURVE* curve, int cell, VECTOR* point, int* position,
                double precision, int x1, int x2);

// Whether cell a lies completely inside cell b (b's "#" cells not
// considered). Sets *uncertain when the answer rests on an undecided part.
bool CellInsideCell(const GeometryAnalysis& g, int a, int b, uint8_t* uncertain, double* precision);

// Whether cells a and b share a region of non-zero volume. Sets *undecided
// when the answer rests on edges that could not be parametrised or on a
// doubtful analysis.
bool CellsOverlap(const GeometryAnalysis& g, int a, int b, uint8_t* undecided, double* precision);
