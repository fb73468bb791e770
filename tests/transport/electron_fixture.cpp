#include "tests/transport/electron_fixture.h"

#include <algorithm>
#include <cstring>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/task.h"
#include "driver/data/element_loader.h"
#include "tests/support/test_paths.h"
#include "tests/transport/transport_fixture.h"

namespace {

double sourceEnergy[1] = {1e6};

// Section s of an element at E: linear in its grid, 0 outside it.
double SectionAt(const Elem& el, int s, double E) {
  const int n = el.sectionN[s];
  if (n < 2 || E < el.sectionEnergy[s][0] || E > el.sectionEnergy[s][n - 1]) return 0.0;
  const double* g = el.sectionEnergy[s];
  const int i = static_cast<int>(std::upper_bound(g, g + n, E) - g) - 1;
  const int j = std::min(i, n - 2);
  return el.sectionCs[s][j] + (E - g[j]) * el.sectionSlope[s][j];
}

void BuildTable(ELECTRONPROBLEM& p, const double* fractions, double eMin, double eMax) {
  // Entries: the inelastic sections element after element, then the elastic ones.
  std::vector<std::pair<int, int>> entries;
  for (int e = 0; e < p.nElements; ++e)
    for (int s = 1; s < p.elements[e].nSections; ++s) entries.push_back({e, s});
  for (int e = 0; e < p.nElements; ++e) entries.push_back({e, 0});
  // Grid: every section point in [eMin, eMax], with both ends.
  std::vector<double> grid{eMin, eMax};
  for (auto [e, s] : entries)
    for (int i = 0; i < p.elements[e].sectionN[s]; ++i) {
      const double x = p.elements[e].sectionEnergy[s][i];
      if (x > eMin && x < eMax) grid.push_back(x);
    }
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  p.grid = grid;
  const int m = static_cast<int>(grid.size());
  const int nEntries = static_cast<int>(entries.size());
  p.rows.assign(nEntries, std::vector<double>(m));
  p.slopes.assign(nEntries, std::vector<double>(m, 0.0));
  for (int i = 0; i < m; ++i) {
    double sum = 0.0;
    for (int k = 0; k < nEntries; ++k) {
      const auto [e, s] = entries[k];
      sum += fractions[e] * 1e-24 * SectionAt(p.elements[e], s, grid[i]);
      p.rows[k][i] = sum;
    }
  }
  for (int k = 0; k < nEntries; ++k)
    for (int i = 0; i + 1 < m; ++i) p.slopes[k][i] = (p.rows[k][i + 1] - p.rows[k][i]) / (grid[i + 1] - grid[i]);
  p.rowPointers.clear();
  p.slopePointers.clear();
  for (int k = 0; k < nEntries; ++k) {
    p.rowPointers.push_back(p.rows[k].data());
    p.slopePointers.push_back(p.slopes[k].data());
    p.entryElement.push_back(static_cast<uint8_t>(entries[k].first));
    p.entrySection.push_back(static_cast<uint8_t>(entries[k].second));
  }
  // The row tables end with a null pointer, as the driver builds them.
  p.rowPointers.push_back(nullptr);
  p.slopePointers.push_back(nullptr);
  MATERIAL& mat = p.material;
  mat.nElements = p.nElements;
  for (int e = 0; e < p.nElements; ++e) {
    mat.element[e] = e;
    mat.fraction[e] = fractions[e];
  }
  mat.nElectronEntries = nEntries;
  mat.nElectronEnergies = m;
  mat.entryElement = p.entryElement.data();
  mat.entrySection = p.entrySection.data();
  mat.electronEnergy = p.grid.data();
  mat.electronSigma = p.rowPointers.data();
  mat.electronSigmaSlope = p.slopePointers.data();
  mat.electronIndex.indexType = 0;
}

// The small-angle share of each element's elastic scattering on the material
// grid, lin-lin on the grid of the element's section 0 (its first or last
// interval outside it), as the material tables of a run hold it.
void BuildSmallAngleShares(ELECTRONPROBLEM& p) {
  const int m = static_cast<int>(p.grid.size());
  p.smallAngleShare.assign(p.nElements, std::vector<double>(m));
  p.smallAngleShareSlope.assign(p.nElements, std::vector<double>(m, 0.0));
  p.shareRows.clear();
  p.shareSlopeRows.clear();
  for (int e = 0; e < p.nElements; ++e) {
    const Elem& el = p.elements[e];
    const double* g = el.sectionEnergy[0];
    const int n = el.sectionN[0];
    for (int k = 0; k < m; ++k) {
      const int i = std::clamp(static_cast<int>(std::upper_bound(g, g + n, p.grid[k]) - g) - 1, 0, n - 1);
      p.smallAngleShare[e][k] = el.smallAngleShare[i] + (p.grid[k] - g[i]) * el.smallAngleShareSlope[i];
    }
    for (int k = 0; k + 1 < m; ++k)
      p.smallAngleShareSlope[e][k] = (p.smallAngleShare[e][k + 1] - p.smallAngleShare[e][k]) / (p.grid[k + 1] - p.grid[k]);
    p.shareRows.push_back(p.smallAngleShare[e].data());
    p.shareSlopeRows.push_back(p.smallAngleShareSlope[e].data());
  }
  p.material.elasticSmallAngleShare = p.shareRows.data();
  p.material.elasticSmallAngleShareSlope = p.shareSlopeRows.data();
}

}  // namespace

ELECTRONPROBLEM::~ELECTRONPROBLEM() {
  if (core::elementArray == elements) core::elementArray = nullptr;
  FreeElementPool(&pool);
}

bool SetElectronProblem(ELECTRONPROBLEM& p, const int* z, const double* fractions, int n, double atomsPerCm3, double w,
                        double E0, double cutE, double cutP, double zStart) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = EndfFolder();
  options.elasticDpw = 0;
  options.elasticSmallAngle = p.elasticSmallAngle;
  options.incohDoppler = p.comptonProfiles ? 1 : 0;
  options.dataFolder = SharedDataFolder() + "aux/";
  options.minEnergy = cutE;
  options.maxEnergy = 2.0 * E0;
  p.nElements = n;
  const int code = LoadElements(z, n, options, &p.pool);  // a problem set up again replaces its pool
  p.elements = p.pool.elements;
  if (code != 0) return false;
  core::elementArray = p.elements;
  BuildTable(p, fractions, std::min(cutE, 100.0), 2.0 * E0);
  p.material.elasticSmallAngleShare = p.material.elasticSmallAngleShareSlope = nullptr;
  if (p.elasticSmallAngle != 0) BuildSmallAngleShares(p);
  p.cell.concentration = atomsPerCm3;
  p.cell.CUT_E = cutE;
  p.cell.CUT_P = cutP;
  p.cell.unionIndex = -1;

  std::memset(&core::hostConstants, 0, sizeof(core::hostConstants));
  Constants& k = core::hostConstants;
  k.pi = 3.141592653589793;
  k.restEn = 510998.95;
  k.fineStr = 1.0 / 137.03599976;
  k.trackPos = 1;
  k.trackSecondaryPhotons = 1;
  k.trackSecondaryElectrons = 1;
  k.elastic = 1;
  k.trackPhotonProducedElectrons = 1;
  k.trackKnockOnElectrons = 1;
  k.trackBremsPhotons = 1;
  k.trackXrayPhotons = 1;
  k.nonIsotropicBrems = 1;
  k.brems_lowEnThr = 1e12;  // dipole-like angles (no tabulated angular data loaded)
  k.brems_highEnThr = 1e12;
  k.smoothCDF_elastic = 1;
  k.elastic_smallAngle = p.elasticSmallAngle;
  k.smoothCDF_inelastic = 1;
  k.diffusion_totalToInelasticRatio_thr = 1e18;
  k.diffusion_distToRMSpathRatio_thr = 2.0;
  k.part = kElectron;
  sourceEnergy[0] = E0;
  k.nEnerg = 1;
  k.E_source = sourceEnergy;
  k.cumulativeWeight[1] = 1.0;
  k.w = w;
  k.concentration = atomsPerCm3;
  k.surface_C = 1.0;
  k.beam_C = 1.0;
  k.entry_Z = zStart;
  k.sourcePositionType = 1;
  k.sourceDirectionType = 1;
  SetPencilBeamFrames(k);
  k.nCells = 1;
  k.nMaterials = 1;
  k.cell = &p.cell;
  k.material = &p.material;
  return true;
}
