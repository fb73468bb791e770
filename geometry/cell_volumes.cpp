#include "geometry/cell_volumes.h"

#include "geometry/setup_progress.h"
#include "geometry/surface_functions.h"

namespace {

// True when p lies in the cell of slot j of voxel v: the voxel's containing
// cell holds it without a test; otherwise sense x f over the cell's surfaces in
// the voxel must exceed distancePrecision (strict, while the cell has no point
// yet, so that a first point is safely inside) or be >= 0.
bool InsideVoxelCell(const GeometryTables& g, const VOXEL& v, int j, const VECTOR* p, bool strict) {
  if (v.containerCell == -2 - j) return true;
  for (int k = 0; k < v.nCellSurf[j]; ++k) {
    const double f = v.cellSense[j][k] * DistanceToSurface(p, &g.surf[v.cellSurf[j][k]]);
    if (strict ? !(f > g.distancePrecision) : !(f >= 0.0)) return false;
  }
  return true;
}

// True when p lies in a cell of voxel v enclosed by cell c, or by any cell of
// C's union when C belongs to one.
bool InsideInnerCell(const GeometryTables& g, const VOXEL& v, int32_t c, int32_t unionOfC, const VECTOR* p,
                     bool strict) {
  for (int j = 0; j < v.nCells; ++j) {
    const int32_t e = g.cells[v.cells[j]].enclosingCell;
    if (e < 0) continue;
    if (e != c && !(unionOfC >= 0 && g.cells[e].unionIndex == unionOfC)) continue;
    if (InsideVoxelCell(g, v, j, p, strict)) return true;
  }
  return false;
}

void GrowBox(VOLUMETHREADDATA* d, int32_t cell, VECTOR p) {
  if (!d->boxStarted[cell]) {
    d->hitMin[cell] = p;
    d->hitMax[cell] = p;
    d->boxStarted[cell] = 1;
    return;
  }
  VECTOR& lo = d->hitMin[cell];
  VECTOR& hi = d->hitMax[cell];
  if (p.x < lo.x) lo.x = p.x;
  if (p.y < lo.y) lo.y = p.y;
  if (p.z < lo.z) lo.z = p.z;
  if (p.x > hi.x) hi.x = p.x;
  if (p.y > hi.y) hi.y = p.y;
  if (p.z > hi.z) hi.z = p.z;
}

// True when the block of cell C is to be skipped.
bool SkipBlock(const CellVolumeProblem& p, const VOLUMETHREADDATA* d, int32_t C) {
  const int32_t u = p.geometry.cells[C].unionIndex;
  if (u >= 0 && p.unionData[u].cells[0] != C) return true;
  if (p.nCellVoxels[C] <= 0) return true;
  return !p.volumeWanted[C] && !d->notYetHit[C];
}

// Samples the points of block b of cell C.
void RunBlock(const CellVolumeProblem& p, VOLUMETHREADDATA* d, CRandGen& rng, int64_t b, int32_t C) {
  const GeometryTables& g = p.geometry;
  const int32_t unionOfC = g.cells[C].unionIndex;
  const bool wanted = p.volumeWanted[C] != 0;
  int32_t first = 0, second = 0;
  BlockSeeds(b, p.SEED, &first, &second);
  rng.RandomInitialise(first, second);

  for (uint32_t i = 0; i < p.RAND_BLOCK_SIZE; ++i) {
    // Voxel and point.
    const VOXEL& v = g.grid.voxels[SampleCellVoxel(p, C, rng)];
    const VECTOR point = SamplePointInVoxel(g.grid, v, rng);

    // Cells of the point: C alone, or the members of its union.
    bool counted = false;
    bool pending = false;
    for (int j = 0; j < v.nCells; ++j) {
      const int32_t c = v.cells[j];
      if (unionOfC < 0) {
        if (c != C) continue;
      } else if (g.cells[c].unionIndex != unionOfC || (counted && !d->notYetHit[c])) {
        continue;
      }
      const bool strict = d->notYetHit[c] != 0;
      if (strict) pending = true;
      if (!InsideVoxelCell(g, v, j, &point, strict)) continue;
      // A point in an inner cell counts for no cell.
      if ((g.cells[c].innerCellCount != 0 || unionOfC >= 0) && InsideInnerCell(g, v, c, unionOfC, &point, strict))
        break;
      d->notYetHit[c] = 0;
      counted = true;
      if (wanted) {
        d->hitCount[C] += 1;
        GrowBox(d, C, point);
        break;
      }
      if (unionOfC < 0) break;
    }
    d->pointsDone += 1;

    // Early end of a block that only looks for a first point.
    if (!wanted && (counted || !pending)) {
      d->pointsToDo -= static_cast<int64_t>(p.RAND_BLOCK_SIZE - i - 1);
      break;
    }

    // Progress (worker 0).
    if (d->threadNumber == 0 && d->pointsDone % kProgressPointStride == 0)
      ShowSetupProgress(kPhaseCellVolumes, d->pointsDone, d->pointsToDo);
  }
}

}  // namespace

int32_t SourceBlocksPerRound(const CellVolumeProblem& p) {
  if (p.sourcePositionType != kSourcePositionVolume || p.N_RAND_CELL_VOLUME <= 0) return 1;
  const int64_t k = p.N_RAND_SOURCE_VOLUME / p.N_RAND_CELL_VOLUME;
  return k < 1 ? 1 : static_cast<int32_t>(k);
}

int32_t CellOfBlock(int64_t block, int32_t nCells, int32_t sourceCell, int32_t sourceBlocksPerRound) {
  const int64_t k = sourceBlocksPerRound;
  const int64_t slot = block % (nCells - 1 + k);
  if (k > 1 && slot > sourceCell) return static_cast<int32_t>(slot < sourceCell + k ? sourceCell : slot + 1 - k);
  return static_cast<int32_t>(slot);
}

void BlockSeeds(int64_t block, int32_t seed, int32_t* first, int32_t* second) {
  const int64_t q = block / kBlockSeedPeriod;
  int64_t s = seed - kBlockSeedPeriod * q + block;
  if (s >= CRandGen::kMaxKL) s -= CRandGen::kMaxKL;
  *first = static_cast<int32_t>(q);
  *second = static_cast<int32_t>(s);
}

int32_t FindVolumeEntry(const double* cumulative, int32_t count, double target) {
  int32_t lo = 0, hi = count, m = count / 2, step = 0;
  do {
    if (target < cumulative[m]) {
      hi = m;
      step = (lo - m) / 2;
    } else {
      lo = m;
      step = (hi - m) / 2;
    }
    m += step;
  } while (step != 0);
  return lo;
}

int32_t SampleCellVoxel(const CellVolumeProblem& p, int32_t cell, CRandGen& rng) {
  const int32_t count = p.nCellVoxels[cell];
  if (count < 2) return p.cellVoxels[cell][0];
  const double target = rng.random() * p.cellVoxelTotal[cell];
  return p.cellVoxels[cell][FindVolumeEntry(p.cellVoxelCumulative[cell], count, target)];
}

VECTOR SamplePointInVoxel(const VoxelGrid& grid, const VOXEL& v, CRandGen& rng) {
  const double xlo = grid.xCoord[v.firstX - 1], xhi = grid.xCoord[v.firstX + v.extraX];
  const double ylo = grid.yCoord[v.firstY - 1], yhi = grid.yCoord[v.firstY + v.extraY];
  const double zlo = grid.zCoord[v.firstZ - 1], zhi = grid.zCoord[v.firstZ + v.extraZ];
  VECTOR r;
  r.x = xlo + rng.random() * (xhi - xlo);
  r.y = ylo + rng.random() * (yhi - ylo);
  r.z = zlo + rng.random() * (zhi - zlo);
  return r;
}

int64_t CellVolumeBlockCount(const CellVolumeProblem& p) {
  if (p.nCells <= 0 || p.RAND_BLOCK_SIZE == 0 || p.N_RAND_CELL_VOLUME <= 0) return 0;
  const int64_t rounds = (p.N_RAND_CELL_VOLUME + p.RAND_BLOCK_SIZE - 1) / p.RAND_BLOCK_SIZE;
  return rounds * (p.nCells - 1 + SourceBlocksPerRound(p));
}

void CellVolumeBlockRange(int64_t nBlocks, int32_t nWorkers, int32_t w, int32_t* first, int32_t* last) {
  const int64_t base = nBlocks / nWorkers, extra = nBlocks % nWorkers;
  const int64_t start = w * base + (w < extra ? w : extra);
  *first = static_cast<int32_t>(start);
  *last = static_cast<int32_t>(start + base + (w < extra ? 1 : 0) - 1);
}

void CellVolumeThread(void* volumeThreadData) {
  VOLUMETHREADDATA* d = static_cast<VOLUMETHREADDATA*>(volumeThreadData);
  const CellVolumeProblem& p = *d->problem;
  CRandGen rng;
  const int32_t k = SourceBlocksPerRound(p);
  d->pointsDone = 0;
  d->pointsToDo = d->lastBlock >= d->firstBlock
                      ? static_cast<int64_t>(d->lastBlock - d->firstBlock + 1) * p.RAND_BLOCK_SIZE
                      : 0;
  for (int64_t b = d->firstBlock; b <= d->lastBlock; ++b) {
    const int32_t C = CellOfBlock(b, p.nCells, p.sourceCell, k);
    if (SkipBlock(p, d, C)) {
      d->pointsToDo -= p.RAND_BLOCK_SIZE;
      continue;
    }
    RunBlock(p, d, rng, b, C);
  }
  p.geomThreadRunning[d->threadNumber].store(0, std::memory_order_release);
}

void CombineCellVolumes(const CellVolumeProblem& p, const VOLUMETHREADDATA* workers, int32_t nWorkers,
                        int64_t nBlocks, double* volume, uint64_t* hits, VECTOR* boxMin, VECTOR* boxMax,
                        int32_t* notYetHit) {
  const int32_t k = SourceBlocksPerRound(p);
  for (int32_t c = 0; c < p.nCells; ++c) {
    // Sums over the workers.
    uint64_t h = 0;
    bool started = false, missing = true;
    VECTOR lo{}, hi{};
    for (int32_t w = 0; w < nWorkers; ++w) {
      const VOLUMETHREADDATA& d = workers[w];
      h += d.hitCount[c];
      if (!d.notYetHit[c]) missing = false;
      if (!d.boxStarted[c]) continue;
      if (!started) {
        lo = d.hitMin[c];
        hi = d.hitMax[c];
        started = true;
        continue;
      }
      lo = VECTOR{d.hitMin[c].x < lo.x ? d.hitMin[c].x : lo.x, d.hitMin[c].y < lo.y ? d.hitMin[c].y : lo.y,
                  d.hitMin[c].z < lo.z ? d.hitMin[c].z : lo.z};
      hi = VECTOR{d.hitMax[c].x > hi.x ? d.hitMax[c].x : hi.x, d.hitMax[c].y > hi.y ? d.hitMax[c].y : hi.y,
                  d.hitMax[c].z > hi.z ? d.hitMax[c].z : hi.z};
    }
    if (hits) hits[c] = h;
    if (boxMin) boxMin[c] = lo;
    if (boxMax) boxMax[c] = hi;
    if (notYetHit && nWorkers > 0) notYetHit[c] = missing ? workers[0].notYetHit[c] : 0;

    // Volume from the points sampled for the cell.
    if (!volume) continue;
    volume[c] = -1.0;
    const int32_t u = p.geometry.cells[c].unionIndex;
    if (!p.volumeWanted[c] || (u >= 0 && p.unionData[u].cells[0] != c) || p.nCellVoxels[c] <= 0) continue;
    int64_t blocks = 0;
    for (int64_t b = 0; b < nBlocks; ++b) blocks += CellOfBlock(b, p.nCells, p.sourceCell, k) == c;
    const double points = static_cast<double>(blocks) * p.RAND_BLOCK_SIZE;
    volume[c] = points > 0.0 ? p.cellVoxelTotal[c] * static_cast<double>(h) / points : 0.0;
  }
}
