// Small-angle elastic scattering (cosines above the last tabulated one,
// 0.999999): the share of the small-angle part in the elastic cross section,
// from the screened Rutherford tail that continues the tabulated angular
// density (modes 1 and 2) or from the EEDL total elastic cross sections
// (mode 3).
#include <cmath>
#include <vector>

#include "driver/data/aux_electron_data.h"
#include "driver/data/fast_index.h"
#include "driver/data/load_steps.h"

namespace {

// Relative distance below which two grid energies count as one.
constexpr double kSameEnergy = 1e-12;

bool Near(double value, double reference) {
  return std::fabs(value / reference - 1.0) <= kSameEnergy;
}

// A tabulated function on an ascending grid.
struct TABLE {
  std::vector<double> x, y;
};

double LinearAt(const TABLE& t, double at) {
  uint16_t hint = 0;
  return InterpolateFromHint(at, t.x.data(), t.y.data(), static_cast<int16_t>(t.x.size()), &hint);
}

// Linear interpolation that holds the end values outside the table.
double ClampedAt(const TABLE& t, double at) {
  if (at <= t.x.front()) return t.y.front();
  if (at >= t.x.back()) return t.y.back();
  return LinearAt(t, at);
}

// Inserts every point of `other` that lies strictly inside the range of
// `table` and differs from both neighbours there, its value interpolated
// linearly in `table`.
TABLE JoinInto(const TABLE& table, const std::vector<double>& other) {
  TABLE joined;
  size_t j = 0;
  for (size_t i = 0; i < table.x.size(); ++i) {
    if (i > 0) {
      for (; j < other.size() && other[j] < table.x[i]; ++j) {
        const double e = other[j];
        if (e <= table.x[i - 1] || Near(e, table.x[i - 1]) || Near(e, table.x[i])) continue;
        const double f = (e - table.x[i - 1]) / (table.x[i] - table.x[i - 1]);
        joined.x.push_back(e);
        joined.y.push_back(table.y[i - 1] + f * (table.y[i] - table.y[i - 1]));
      }
    }
    joined.x.push_back(table.x[i]);
    joined.y.push_back(table.y[i]);
  }
  return joined;
}

// Share F of the tabulated (large-angle) part of distribution e: beyond the
// last cosine mu_L the density continues as B / (1 - mu + eta)^2 with the
// screening parameter eta of the element (Moliere-type screened Rutherford
// form), meeting the tabulated density there.
double LargeAngleShare(const ELEMENTLOADOPTIONS& options, const ElemStaging& elem, int e) {
  const double restEn = options.constants.restEn;
  const double energy = elem.elasticEnergy[e];
  const double pc = std::sqrt(energy * (energy + 2.0 * restEn));
  const double a = restEn / pc;  // 1 + a^2 = 1 / beta^2
  const double s = std::sqrt(energy / (energy + restEn));
  const double eta = elem.screeningEta0 / (pc * pc) * (1.13 + elem.screeningCoulomb * s * (1.0 + a * a));
  const int last = elem.elasticN[e] - 1;
  const double muL = elem.elasticCos[e][last];
  const double yL = elem.elasticPdf[e][last];
  const double b = yL * (1.0 - muL + eta) * (1.0 - muL + eta);
  const double tail = b / eta - b / (1.0 - muL + eta);
  return 1.0 / (1.0 + tail);
}

// Per-energy values of modes 1 (small-angle share 1 - F) and 2 (total
// elastic cross section sigma_el / F) on the energies of the distributions.
int ValuesFromTail(const ELEMENTLOADOPTIONS& options, int code, const ElemStaging& elem, TABLE* values) {
  const int ne = elem.elasticNE;
  if (ne < 2 || !Near(elem.elasticEnergy[0], 10.0) || !Near(elem.elasticEnergy[ne - 1], 1e11))
    return EndfFormatError(code);
  TABLE section0;
  section0.x.assign(elem.sectionEnergy[0], elem.sectionEnergy[0] + elem.sectionN[0]);
  section0.y.assign(elem.sectionCs[0], elem.sectionCs[0] + elem.sectionN[0]);
  for (int e = 0; e < ne; ++e) {
    const double f = LargeAngleShare(options, elem, e);
    const double energy = elem.elasticEnergy[e];
    values->x.push_back(energy);
    values->y.push_back(options.elasticSmallAngle == 1 ? 1.0 - f : LinearAt(section0, energy) / f);
  }
  return 0;
}

int StoreSection0(const TABLE& section, const std::vector<double>& share, int code, ElemStaging* elem) {
  const int n = static_cast<int>(section.x.size());
  if (n > kMaxSmallAnglePoints) return EndfFormatError(code);
  for (int i = 0; i < n; ++i) {
    elem->sectionEnergy[0][i] = section.x[i];
    elem->sectionCs[0][i] = section.y[i];
    elem->smallAngleShare[i] = share[i];
  }
  elem->sectionN[0] = static_cast<int16_t>(n);
  LinLinSlopes(elem->sectionEnergy[0], elem->sectionCs[0], n, elem->sectionSlope[0]);
  LinLinSlopes(elem->sectionEnergy[0], elem->smallAngleShare, n, elem->smallAngleShareSlope);
  return 0;
}

// Modes 2 and 3: the large-angle cross section up to the highest energy at
// which it is not below the total, the total above it.
int CompleteWithTotals(const TABLE& largeAngle, const TABLE& totals, int code, ElemStaging* elem) {
  int top = static_cast<int>(totals.x.size()) - 1;
  while (top > 0 && LinearAt(largeAngle, totals.x[top]) < totals.y[top]) --top;
  int start = 0;  // last section-0 point at or below totals.x[top]
  while (start + 1 < static_cast<int>(largeAngle.x.size()) &&
         largeAngle.x[start + 1] <= totals.x[top])
    ++start;
  elem->smallAngleStart = largeAngle.x[start];
  TABLE section;
  std::vector<double> share;
  for (int i = 0; i <= start; ++i) {
    section.x.push_back(largeAngle.x[i]);
    section.y.push_back(largeAngle.y[i]);
    share.push_back(0.0);
  }
  for (size_t j = 0; j < totals.x.size(); ++j) {
    if (totals.x[j] <= elem->smallAngleStart) continue;
    section.x.push_back(totals.x[j]);
    section.y.push_back(totals.y[j]);
    share.push_back(totals.y[j] > 0.0 ? 1.0 - LinearAt(largeAngle, totals.x[j]) / totals.y[j] : 0.0);
  }
  return StoreSection0(section, share, code, elem);
}

}  // namespace

int CompleteSmallAngleElastic(const ELEMENTLOADOPTIONS& options, int code, ElemStaging* elem) {
  const int mode = options.elasticSmallAngle;
  TABLE values;
  if (mode == 3) {
    if (ReadEedlElastic(options.dataFolder, elem->Z, &values.x, &values.y) != 0) return 1;
  } else if (ValuesFromTail(options, code, *elem, &values) != 0) {
    return 1;
  }
  TABLE section0;
  section0.x.assign(elem->sectionEnergy[0], elem->sectionEnergy[0] + elem->sectionN[0]);
  section0.y.assign(elem->sectionCs[0], elem->sectionCs[0] + elem->sectionN[0]);
  // Each grid takes the other's energies inside its range.
  const TABLE joinedSection = JoinInto(section0, values.x);
  const TABLE joinedValues = JoinInto(values, section0.x);
  if (mode != 1) return CompleteWithTotals(joinedSection, joinedValues, code, elem);
  std::vector<double> share;
  for (double e : joinedSection.x) share.push_back(ClampedAt(joinedValues, e));
  return StoreSection0(joinedSection, share, code, elem);
}
