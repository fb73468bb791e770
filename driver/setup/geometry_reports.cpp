#include "driver/setup/geometry_reports.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/setup/geometry_setup.h"
#include "driver/setup/setup_reports.h"
#include "geometry/free_motion_radius.h"
#include "geometry/ray_tracking.h"

namespace {

const char* const kDash15 = "--      ";  // a value that is not determined, in a wide column
const char* const kDash12 = "--    ";    // ... in a narrow column

const CELL& CellAt(int32_t c) { return directives::geometry.cell[static_cast<size_t>(c)]; }

// The material record that holds the composition of material index m.
const MATERIAL& Composition(int32_t m) {
  const MATERIAL* r = &directives::materials[static_cast<size_t>(m)];
  while (r->nElements < 0) r = &directives::materials[static_cast<size_t>(-1 - r->nElements)];
  return *r;
}

// A row stands for a cell outside unions or for a union (at its first cell).
bool StandsForItself(int32_t c) {
  const int32_t u = CellAt(c).unionIndex;
  return u < 0 || directives::geometry.unionData[static_cast<size_t>(u)].cells[0] == c;
}

void WriteRowLabel(FILE* out, int32_t c) {
  const int32_t u = CellAt(c).unionIndex;
  if (u < 0) {
    std::fprintf(out, "%15d", CellAt(c).number);
    return;
  }
  char label[32];
  std::snprintf(label, sizeof label, "Union%d", directives::geometry.unionData[static_cast<size_t>(u)].identifier);
  std::fprintf(out, "%15s", label);
}

// Running totals of the cell table; -1 marks an undetermined total.
struct TOTALS {
  double volume = 0.0, volumeVariance = 0.0, atoms = 0.0, mass = 0.0, massVariance = 0.0;
};

void WriteCellRow(FILE* out, int32_t row, int32_t c, TOTALS* t) {
  const CELL& cell = CellAt(c);
  const double V = setup::geometrySetUpResult.cellVolume[static_cast<size_t>(c)];
  const double s = setup::geometrySetUpResult.cellVolumeSigma[static_cast<size_t>(c)];
  const double rho = cell.density;
  const int32_t material = cell.material >= 0 ? directives::materials[static_cast<size_t>(cell.material)].number : 0;
  std::fprintf(out, "%5d ", row);
  WriteRowLabel(out, c);
  if (V >= 0.0) {
    const double volumeError = V > 0.0 ? 100.0 * s / V : 0.0;
    std::fprintf(out, " %11d %15.7e %15.7e %15.7e %12.4e %11.7f%% %15.7e %12.4e %11.7f%%\n", material,
                 cell.concentration, rho, V, s, volumeError, rho * V, rho * s, rho > 0.0 ? volumeError : 0.0);
    if (t->volume >= 0.0) {
      t->volume += V;
      t->volumeVariance += s * s;
      t->atoms += V * cell.concentration;
    }
    if (t->mass >= 0.0) {
      t->mass += rho * V;
      t->massVariance += rho * s * rho * s;
    }
    return;
  }
  t->volume = -1.0;
  if (rho > 0.0) {
    t->mass = -1.0;
    std::fprintf(out, " %11d %15.7e %15.7e %15s %12s %12s %15s %12s %12s\n", material, cell.concentration, rho, kDash15,
                 kDash12, kDash12, kDash15, kDash12, kDash12);
  } else {
    std::fprintf(out, " %11d %15.7e %15.7e %15s %12s %12s %15.7e %12.4e %11.7f%%\n", material, cell.concentration, rho,
                 kDash15, kDash12, kDash12, 0.0, 0.0, 0.0);
  }
}

void WriteTotalRow(FILE* out, const TOTALS& t) {
  std::fprintf(out, "%5s %15s %11s", " ", "Total", " ");
  if (t.volume > 0.0) {
    std::fprintf(out, " %15.7e %15.7e", t.atoms / t.volume, t.mass / t.volume);
  } else {
    std::fprintf(out, " %15s %15s", kDash15, kDash15);
  }
  if (t.volume > 0.0) {
    const double e = std::sqrt(t.volumeVariance);
    std::fprintf(out, " %15.7e %12.4e %11.7f%%", t.volume, e, 100.0 * e / t.volume);
  } else {
    std::fprintf(out, " %15s %12s %12s", kDash15, kDash12, kDash12);
  }
  if (t.mass > 0.0) {
    const double e = std::sqrt(t.massVariance);
    std::fprintf(out, " %15.7e %12.4e %11.7f%%\n", t.mass, e, 100.0 * e / t.mass);
  } else {
    std::fprintf(out, " %15s %12s %12s\n", kDash15, kDash12, kDash12);
  }
  std::fprintf(out, "\n");
}

void WriteCellTable(FILE* out) {
  std::fprintf(out, "\nCell materials, volumes and masses\n\n");
  std::fprintf(out, "%5s %15s %11s %15s %15s %15s %12s %12s %15s %12s %12s\n", " ", "Cell ID", "Mat ID",
               "Concentration", "Density   ", "Volume    ", "Volume_err", "Vol_err% ", "Mass     ", "Mass_err ",
               "Mass_err% ");
  TOTALS totals;
  int32_t row = 0;
  for (int32_t c = 0; c < directives::geometry.nCells; ++c) {
    if (StandsForItself(c)) WriteCellRow(out, ++row, c, &totals);
  }
  WriteTotalRow(out, totals);
}

void WriteBracketTable(FILE* out) {
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  if (r.voxels.voxels.size() <= 1) return;
  static const char* const kNames[3][2] = {
      {"xPlaneMin  ", "xPlaneMax  "}, {"yPlaneMin  ", "yPlaneMax  "}, {"zPlaneMin  ", "zPlaneMax  "}};
  std::fprintf(out, "\nCoordinate planes bracketing the cells\n\n");
  std::fprintf(out, "%5s %10s", " ", "Cell ID");
  for (int32_t a = 0; a < 3; ++a) {
    if (r.axis[a].nPlanes() > 0) std::fprintf(out, "   %15s %15s", kNames[a][0], kNames[a][1]);
  }
  std::fprintf(out, "\n");
  for (int32_t c = 0; c < directives::geometry.nCells; ++c) {
    std::fprintf(out, "%5d %10d", c + 1, CellAt(c).number);
    for (int32_t a = 0; a < 3; ++a) {
      if (r.axis[a].nPlanes() == 0) continue;
      const BRACKET& b = r.bracket[a][static_cast<size_t>(c)];
      std::fprintf(out, "  ");
      const bool found[2] = {b.lowerFound, b.upperFound};
      const int32_t plane[2] = {b.lower, b.upper};
      for (int32_t k = 0; k < 2; ++k) {
        if (found[k]) {
          std::fprintf(out, " %15.7e", r.axis[a].coord[static_cast<size_t>(plane[k])]);
        } else {
          std::fprintf(out, " %15s", kDash15);
        }
      }
    }
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "\n");
}

void WriteInteriorPointTable(FILE* out) {
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  int32_t row = 0;
  for (int32_t c = 0; c < directives::geometry.nCells; ++c) {
    if (!StandsForItself(c) || !r.volumeComputable[static_cast<size_t>(c)]) continue;
    if (row == 0) {
      std::fprintf(out, "\nMinimum and maximum coordinates of randomly generated interior points of cells\n\n");
      std::fprintf(out, "%5s %15s   %15s %15s   %15s %15s   %15s %15s\n", " ", "Cell ID", "xMin     ", "xMax     ",
                   "yMin     ", "yMax     ", "zMin     ", "zMax     ");
    }
    std::fprintf(out, "%5d ", ++row);
    WriteRowLabel(out, c);
    if (r.cellVolume[static_cast<size_t>(c)] > 0.0) {
      const VECTOR lo = r.boxMin[static_cast<size_t>(c)], hi = r.boxMax[static_cast<size_t>(c)];
      std::fprintf(out, "   %15.7e %15.7e   %15.7e %15.7e   %15.7e %15.7e\n", lo.x, hi.x, lo.y, hi.y, lo.z, hi.z);
    } else {
      std::fprintf(out, "   %15s %15s   %15s %15s   %15s %15s\n", kDash15, kDash15, kDash15, kDash15, kDash15, kDash15);
    }
  }
  if (row > 0) std::fprintf(out, "\n");
}

}  // namespace

void CompleteCellDensities() {
  for (int32_t c = 0; c < directives::geometry.nCells; ++c) {
    CELL& cell = directives::geometry.cell[static_cast<size_t>(c)];
    if (cell.material < 0) {
      cell.concentration = 0.0;
      cell.density = 0.0;
      continue;
    }
    const double meanMass = Composition(cell.material).meanAtomicMass;
    if (cell.concentration < 0.0) {
      cell.density = -cell.concentration;
      cell.concentration = cell.density / meanMass;
    } else {
      cell.density = meanMass * cell.concentration;
    }
  }
}

void WriteGeometryTables(FILE* out) {
  if (out == nullptr) return;
  WriteCellTable(out);
  WriteBracketTable(out);
  WriteInteriorPointTable(out);
}

TRACKERSIZES TrackerSizes() {
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  int32_t maxSurf = 0, m = 0;
  for (const VOXEL& v : r.voxels.voxels) {
    maxSurf = std::max<int32_t>(maxSurf, v.nSurf);
    int32_t inner = 0;
    for (int j = 0; j < v.nCells; ++j) inner = std::max<int32_t>(inner, CellAt(v.cells[j]).innerCellCount);
    m = std::max<int32_t>(m, std::min<int32_t>(inner, v.nCells));
  }
  TRACKERSIZES t;
  t.nSideWords = (maxSurf + 15) / 16;
  t.innerCellBound = m + 1;
  t.nSmax_voxel = 2 * (m + 1) * maxSurf;
  return t;
}

namespace {

// Traces the beam of a point source with a parallel beam into the geometry.
Status FindBeamEntry(int32_t* enteredCell) {
  GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  const TRACKERSIZES sizes = TrackerSizes();
  std::vector<uint16_t> sideBits(static_cast<size_t>(std::max(1, sizes.nSideWords)));
  std::vector<double> surfaceValues(directives::geometry.surf.size());
  std::vector<CROSSING> crossings(static_cast<size_t>(std::max(1, sizes.nSmax_voxel)));
  const VoxelGrid grid{directives::xSet,       directives::ySet,      directives::zSet,       directives::nXsets,
                       directives::nYsets,     directives::nZsets,    r.axis[0].coord.data(), r.axis[1].coord.data(),
                       r.axis[2].coord.data(), r.axis[0].nPlanes(),   r.axis[1].nPlanes(),    r.axis[2].nPlanes(),
                       r.voxels.voxels.data(), r.voxels.planes.data()};
  const GeometryTables g{directives::geometry.surf.data(), directives::geometry.cell.data(), grid,
                         directives::geometryPrecision.distancePrecision, directives::geometryPrecision.anglePrecision};
  const TrackerWork work{sideBits.data(), static_cast<int32_t>(sideBits.size()), surfaceValues.data(), crossings.data(),
                         static_cast<int32_t>(crossings.size())};
  TrackerState state{-1, -1, 0};
  const VECTOR start = directives::source.beamOrigin;
  const VECTOR u = Init(directives::source.beam_A, directives::source.beam_B, directives::source.beam_C);
  VECTOR entry;
  double distance = 0.0;
  int16_t surface = -1;
  EntryExitPoint(g, work, &state, &entry, &start, &u, &distance, &surface, -1.0);
  if (state.cellIndex < 0) {
    printf("Error: The incident beam does not hit any cell.\n");
    return kInputError;
  }
  SOURCEENTRY& e = setup::sourceEntry;
  e.entryVoxel = state.voxelIndex;
  e.entryCell = state.cellIndex;
  e.entrySurface = distance == 0.0 ? -2 : surface;
  e.entry_X = entry.x;
  e.entry_Y = entry.y;
  e.entry_Z = entry.z;
  const VOXEL& v = r.voxels.voxels[static_cast<size_t>(state.voxelIndex)];
  *enteredCell = v.cells[state.cellIndex];
  if (directives::geometrySetup.useFreeMotionRadius) {
    e.entryRadius = FreeMotionRadiusAt(directives::geometry.surf.data(), directives::geometry.cell.data(), v, entry,
                                       state.cellIndex, directives::geometryPrecision.distancePrecision);
  }
  return kOk;
}

void DropCellEntryTallies() {
  for (int c = 0; c < kTallyClassCount; ++c) {
    directives::nCellEntryTallies[c] = 0;
    directives::cellEntryControlTallies[c].clear();
  }
}

}  // namespace

Status CheckSourceInGeometry() {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const bool photon = directives::source.part == kSourcePhoton;
  const bool fixedBeam =
      directives::source.sourcePositionType == kPointSource && directives::source.sourceDirectionType == kParallelBeam;
  int32_t cell = -1;
  if (fixedBeam) {
    if (Status s = FindBeamEntry(&cell)) return s;
  }
  if (t.trackPos == 0) {
    DropPositionTallies();
    DropCellEntryTallies();
  } else if (fixedBeam) {
    SetTallyEntryValues();
  }
  const char* where = ".";
  if (directives::source.sourcePositionType == kCellSource) {
    cell = directives::source.sourceCell;
    where = " of the source cell.";
  } else if (fixedBeam) {
    where = " of the entry cell.";
  }
  const double cutoff = cell >= 0 ? (photon ? CellAt(cell).CUT_P : CellAt(cell).CUT_E) : (photon ? t.cutP : t.cutE);
  if (cutoff >= directives::sourceSpectrum.highestSourceEnergy) {
    printf("Error: source energy is below cutoff energy%s\n", where);
    return kInputError;
  }
  if (directives::sourceSpectrum.nEnerg > 1 && cutoff > directives::sourceSpectrum.lowestSourceEnergy) {
    if (CutSpectrumAtCutoff(cutoff) != 0) return kInputError;
  }
  SettlePositronRows();
  return kOk;
}
