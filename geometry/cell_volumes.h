// Monte Carlo cell volumes: random points are sampled in the bounded voxels
// that a cell touches (each voxel chosen with probability proportional to its
// volume, the point uniform in its box) and counted when they fall inside the
// cell and in none of its inner cells; the volume is the touched voxel volume
// times the fraction of points counted. The work is cut into blocks of
// RAND_BLOCK_SIZE points, each with one cell and its own seed, so the counts do
// not depend on how the blocks are shared out among the geometry workers.
//
// Driver use: fill one CellVolumeProblem (read-only while the workers run);
// give each worker a VOLUMETHREADDATA with its block range from
// CellVolumeBlockRange and its own per-cell arrays (notYetHit copied from the
// template, the rest zero); set geomThreadRunning[i] to 1 (release) and start
// CellVolumeThread on workers 1 ... n - 1 with StartThread, run worker 0 on the
// calling thread, poll until every flag is 0 (acquire, YieldThread), then call
// CombineCellVolumes.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/cell.h"
#include "core/cell_union.h"
#include "core/randgen.h"
#include "core/vector.h"
#include "core/voxel.h"
#include "geometry/ray_tracking.h"

constexpr int32_t kSourcePositionVolume = 3;  // source position type of a volume source
constexpr int32_t kBlockSeedPeriod = 30000;   // blocks per value of the first seed
constexpr int32_t kProgressPointStride = 100; // points between two looks at the progress clock

// What the cell-volume workers read; built by the driver, read-only while they run.
struct CellVolumeProblem {
  GeometryTables geometry;                   // surfaces, cells, voxel grid, distancePrecision
  const CELLUNION* unionData;                // [nUnions] unions of cells
  int32_t nCells;                            // cells of the problem
  const int32_t* nCellVoxels;                // [nCells] bounded voxels the cell touches
  const int32_t* const* cellVoxels;          // [nCells][nCellVoxels] their VOXEL indices
  const double* const* cellVoxelCumulative;  // [nCells][nCellVoxels] volume of the voxels before entry i, cm^3
  const double* cellVoxelTotal;              // [nCells] volume of all of them, cm^3
  const uint8_t* volumeWanted;               // [nCells] the cell's volume is wanted
  uint32_t RAND_BLOCK_SIZE;                  // points per block, at least 100
  int64_t N_RAND_CELL_VOLUME;                // random points per cell volume
  int64_t N_RAND_SOURCE_VOLUME;              // random points for the source volume
  int32_t sourcePositionType;                // 3 = volume source
  int32_t sourceCell;                        // the volume source's cell
  int32_t SEED;                              // the run's seed
  std::atomic<uint8_t>* geomThreadRunning;   // [workers] running flag of each geometry worker
};

// One cell-volume worker's record; the worker writes only this record.
struct VOLUMETHREADDATA {
  int32_t threadNumber;            // 0 for the worker the calling thread runs
  int32_t firstBlock;              // first block of the worker
  int32_t lastBlock;               // last block, inclusive
  const CellVolumeProblem* problem;
  uint8_t* boxStarted;             // [nCells] 0 until the cell's first counted point
  int32_t* notYetHit;              // [nCells] non-zero while no point has been found inside the cell
  uint64_t* hitCount;              // [nCells] points counted inside the cell or its union
  VECTOR* hitMin;                  // [nCells] componentwise minimum of the counted points, cm
  VECTOR* hitMax;                  // [nCells] componentwise maximum, cm
  int64_t pointsDone;              // points sampled so far (progress)
  int64_t pointsToDo;              // points of the block range less those skipped (progress)
};

// The sharing of blocks among cells: every cell one block per round, the
// volume source's cell k = N_RAND_SOURCE_VOLUME / N_RAND_CELL_VOLUME.
int32_t SourceBlocksPerRound(const CellVolumeProblem& p);

// The cell of block b.
int32_t CellOfBlock(int64_t block, int32_t nCells, int32_t sourceCell, int32_t sourceBlocksPerRound);

// The seeds of block b: first = b / 30000, second = seed - 30000 first + b,
// less 30081 when that reaches 30081.
void BlockSeeds(int64_t block, int32_t seed, int32_t* first, int32_t* second);

// Entry of a cumulative volume table (count entries, the first 0) whose voxel
// holds target, 0 <= target < total: the halving search of the cell's voxels.
int32_t FindVolumeEntry(const double* cumulative, int32_t count, double target);

// A voxel of cell C, chosen with probability proportional to its volume.
int32_t SampleCellVoxel(const CellVolumeProblem& p, int32_t cell, CRandGen& rng);

// A point uniform in the box of a bounded voxel (x, then y, then z).
VECTOR SamplePointInVoxel(const VoxelGrid& grid, const VOXEL& v, CRandGen& rng);

// Number of blocks of the whole job: one round per RAND_BLOCK_SIZE points of
// N_RAND_CELL_VOLUME (rounded up), each round one block per cell and k - 1
// more for the source cell.
int64_t CellVolumeBlockCount(const CellVolumeProblem& p);

// Block range [first, last] of worker w of nWorkers: contiguous, sizes differing by at most one.
void CellVolumeBlockRange(int64_t nBlocks, int32_t nWorkers, int32_t w, int32_t* first, int32_t* last);

// Processes the worker's blocks (worker 0 also prints the progress line) and
// clears its running flag as its last action.
void CellVolumeThread(void* volumeThreadData);

// The main thread's sum of the workers' records: per cell the hits, the box of
// the counted points and notYetHit (0 once any worker found a point inside);
// volume = touched voxel volume x hits / points sampled for wanted cells that
// stand for themselves or their union, -1 for the others. Any out array may be null.
void CombineCellVolumes(const CellVolumeProblem& p, const VOLUMETHREADDATA* workers, int32_t nWorkers,
                        int64_t nBlocks, double* volume, uint64_t* hits, VECTOR* boxMin, VECTOR* boxMax,
                        int32_t* notYetHit);
