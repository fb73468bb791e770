// A small hand-built complex geometry for the geometry tests: surfaces, cells
// (with their enclosing cells), a grid in which every plane is its own set and
// one voxel per slab triple, listed as a classifier decides, and the tracker's
// work arrays.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "geometry/ray_tracking.h"
#include "tests/geometry/geometry_test_surfaces.h"

namespace test_world {

constexpr double kDistancePrecision = 1e-12;
constexpr double kAnglePrecision = 1e-12;

// What one voxel lists: its cells (CELL indices, increasing), its kind and the
// surfaces left out of its lists.
struct VoxelListing {
  std::vector<int> cells;
  int containerCell = -1;
  std::vector<int> omitted;
};

// Owner of one voxel's lists.
struct VoxelStore {
  std::vector<uint16_t> surfaces, nNeg, nPos, cells, nCellSurf;
  std::vector<std::vector<uint16_t>> neg, pos, cellSurf, surfMask, posMask;
  std::vector<std::vector<int8_t>> cellSense;
  std::vector<uint16_t*> negP, posP, cellSurfP, surfMaskP, posMaskP;
  std::vector<int8_t*> cellSenseP;
};

// A geometry: surfaces, cells, a grid of single-slab voxels (each plane its
// own set) and the tracker's work arrays.
struct World {
  std::vector<SURFACE> surf;
  std::vector<CELL> cells;
  std::vector<std::vector<uint16_t>> cellSurfaces;
  std::vector<std::vector<int8_t>> cellSenses;
  std::vector<double> coord[3];
  std::vector<PLANESET> sets[3];
  std::vector<VOXEL> voxels;
  std::vector<std::unique_ptr<VoxelStore>> stores;
  std::vector<std::vector<std::vector<int>>> v2i;
  std::vector<std::vector<int*>> v2iRows;
  std::vector<int* const*> v2iTop;
  std::vector<uint16_t> sideBits = std::vector<uint16_t>(16);
  std::vector<double> surfaceValues;
  std::vector<CROSSING> crossings = std::vector<CROSSING>(256);
  GeometryTables tables{};
  TrackerWork work{};

  int AddCell(std::vector<uint16_t> s, std::vector<int8_t> senses, int enclosing = -1) {
    CELL c{};
    c.unionIndex = -1;
    c.enclosingCell = enclosing;
    cells.push_back(c);
    cellSurfaces.push_back(std::move(s));
    cellSenses.push_back(std::move(senses));
    return static_cast<int>(cells.size()) - 1;
  }

  // Finishes the records: depth and inner counts, the grid with planes at the
  // given coordinates, one voxel per slab triple as `classify` decides.
  void Build(const std::vector<double> planes[3], const std::function<void(const double lo[3], const double hi[3], VoxelListing&)>& classify) {
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i].nSurf = static_cast<uint16_t>(cellSurfaces[i].size());
      cells[i].surfaces = cellSurfaces[i].data();
      cells[i].senses = cellSenses[i].data();
      if (cells[i].enclosingCell >= 0) {
        cells[cells[i].enclosingCell].innerCellCount++;
        cells[i].depth = cells[cells[i].enclosingCell].depth + 1;
      }
    }
    for (int a = 0; a < 3; ++a) {
      coord[a] = planes[a];
      sets[a].assign(1, PLANESET{});
      for (size_t k = 0; k < coord[a].size(); ++k) {
        const double spacing = k + 1 < coord[a].size() ? coord[a][k + 1] - coord[a][k] : 0.0;
        sets[a].push_back(PLANESET{coord[a][k], spacing, static_cast<int32_t>(k), 1});
      }
    }
    const int n[3] = {static_cast<int>(coord[0].size()), static_cast<int>(coord[1].size()),
                      static_cast<int>(coord[2].size())};
    v2i.assign(n[0] + 1, std::vector<std::vector<int>>(n[1] + 1, std::vector<int>(n[2] + 1)));
    for (int ix = 0; ix <= n[0]; ++ix)
      for (int iy = 0; iy <= n[1]; ++iy)
        for (int iz = 0; iz <= n[2]; ++iz) {
          const int slab[3] = {ix, iy, iz};
          double lo[3], hi[3];
          for (int a = 0; a < 3; ++a) {
            lo[a] = slab[a] > 0 ? coord[a][slab[a] - 1] : -INFINITY;
            hi[a] = slab[a] < n[a] ? coord[a][slab[a]] : INFINITY;
          }
          VoxelListing vs;
          for (size_t c = 0; c < cells.size(); ++c) vs.cells.push_back(static_cast<int>(c));
          classify(lo, hi, vs);
          v2i[ix][iy][iz] = static_cast<int>(voxels.size());
          voxels.push_back(MakeVoxel(vs, slab));
        }
    for (auto& plane : v2i) {
      v2iRows.emplace_back();
      for (auto& row : plane) v2iRows.back().push_back(row.data());
    }
    for (auto& rows : v2iRows) v2iTop.push_back(rows.data());
    surfaceValues.assign(surf.size(), 0.0);
    tables.surf = surf.data();
    tables.cells = cells.data();
    tables.grid = VoxelGrid{sets[0].data(), sets[1].data(), sets[2].data(),
                            static_cast<int32_t>(sets[0].size()), static_cast<int32_t>(sets[1].size()),
                            static_cast<int32_t>(sets[2].size()), coord[0].data(), coord[1].data(),
                            coord[2].data(), n[0], n[1], n[2], voxels.data(), v2iTop.data()};
    tables.distancePrecision = kDistancePrecision;
    tables.anglePrecision = kAnglePrecision;
    work = TrackerWork{sideBits.data(), static_cast<int32_t>(sideBits.size()), surfaceValues.data(),
                       crossings.data(), static_cast<int32_t>(crossings.size())};
  }

  VOXEL MakeVoxel(const VoxelListing& vs, const int slab[3]) {
    auto st = std::make_unique<VoxelStore>();
    for (int c : vs.cells)
      for (uint16_t s : cellSurfaces[c])
        if (std::find(vs.omitted.begin(), vs.omitted.end(), s) == vs.omitted.end() &&
            std::find(st->surfaces.begin(), st->surfaces.end(), s) == st->surfaces.end())
          st->surfaces.push_back(s);
    const size_t ns = st->surfaces.size(), nc = vs.cells.size();
    const bool lists = vs.containerCell < 0 && nc > 0;
    const int words = lists ? static_cast<int>((ns + 15) / 16) : 0;
    st->nNeg.assign(ns, 0);
    st->nPos.assign(ns, 0);
    st->neg.assign(ns, {});
    st->pos.assign(ns, {});
    st->cellSurf.assign(nc, {});
    st->cellSense.assign(nc, {});
    st->surfMask.assign(nc, std::vector<uint16_t>(words + 1, 0));
    st->posMask.assign(nc, std::vector<uint16_t>(words + 1, 0));
    for (size_t slot = 0; slot < nc; ++slot) {
      const int c = vs.cells[slot];
      st->cells.push_back(static_cast<uint16_t>(c));
      for (size_t i = 0; i < ns; ++i)
        for (size_t k = 0; k < cellSurfaces[c].size(); ++k) {
          if (cellSurfaces[c][k] != st->surfaces[i]) continue;
          const int8_t sense = cellSenses[c][k];
          st->cellSurf[slot].push_back(st->surfaces[i]);
          st->cellSense[slot].push_back(sense);
          (sense < 0 ? st->neg[i] : st->pos[i]).push_back(static_cast<uint16_t>(slot));
          st->surfMask[slot][i / 16] |= uint16_t(1u << (i % 16));
          if (sense > 0) st->posMask[slot][i / 16] |= uint16_t(1u << (i % 16));
        }
      st->nCellSurf.push_back(static_cast<uint16_t>(st->cellSurf[slot].size()));
    }
    for (size_t i = 0; i < ns; ++i) {
      st->nNeg[i] = static_cast<uint16_t>(st->neg[i].size());
      st->nPos[i] = static_cast<uint16_t>(st->pos[i].size());
      st->negP.push_back(st->neg[i].data());
      st->posP.push_back(st->pos[i].data());
    }
    for (size_t slot = 0; slot < nc; ++slot) {
      st->cellSurfP.push_back(st->cellSurf[slot].data());
      st->cellSenseP.push_back(st->cellSense[slot].data());
      st->surfMaskP.push_back(st->surfMask[slot].data());
      st->posMaskP.push_back(st->posMask[slot].data());
    }
    VOXEL v{};
    v.containerCell = static_cast<int16_t>(vs.containerCell);
    v.nSurf = static_cast<uint16_t>(ns);
    v.surfaces = st->surfaces.data();
    v.nNegCells = st->nNeg.data();
    v.nPosCells = st->nPos.data();
    v.negCells = st->negP.data();
    v.posCells = st->posP.data();
    v.nCells = static_cast<uint16_t>(nc);
    v.cells = st->cells.data();
    v.nCellSurf = st->nCellSurf.data();
    v.cellSurf = st->cellSurfP.data();
    v.cellSense = st->cellSenseP.data();
    v.nMaskWords = static_cast<uint16_t>(words);
    v.surfMask = st->surfMaskP.data();
    v.posMask = st->posMaskP.data();
    v.firstX = static_cast<uint16_t>(slab[0]);
    v.firstY = static_cast<uint16_t>(slab[1]);
    v.firstZ = static_cast<uint16_t>(slab[2]);
    stores.push_back(std::move(st));
    return v;
  }

  // True when voxel vi's box holds p (within distancePrecision).
  bool BoxHolds(int vi, VECTOR p) const {
    const VOXEL& v = voxels[vi];
    const int first[3] = {v.firstX, v.firstY, v.firstZ};
    const double c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      if (first[a] > 0 && c[a] < coord[a][first[a] - 1] - kDistancePrecision) return false;
      if (first[a] < static_cast<int>(coord[a].size()) && c[a] > coord[a][first[a]] + kDistancePrecision) return false;
    }
    return true;
  }

  int CellOf(const TrackerState& st) const {
    return st.cellIndex < 0 ? -1 : voxels[st.voxelIndex].cells[st.cellIndex];
  }
};

}  // namespace test_world
