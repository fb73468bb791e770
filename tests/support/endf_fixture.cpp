#include "tests/support/endf_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_paths.h"

std::string EndfNumberField(double value) {
  if (value == 0.0) return " 0.000000+0";
  int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  double mantissa = value / std::pow(10.0, exponent);
  if (std::fabs(mantissa) >= 9.9999995) {
    mantissa /= 10.0;
    ++exponent;
  }
  // 11 columns: sign, mantissa, exponent sign and digits.
  const int precision = std::abs(exponent) >= 100 ? 4 : std::abs(exponent) >= 10 ? 5 : 6;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%c%.*f%c%d", value < 0 ? '-' : ' ', precision,
                std::fabs(mantissa), exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string text = buffer;
  return text.substr(0, 11);
}

std::string EndfIntegerField(long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%11ld", value);
  return buffer;
}

std::string EndfLine(const std::vector<std::string>& fields, int mat, int mf, int mt) {
  static int sequence = 0;
  std::string line;
  for (size_t i = 0; i < 6; ++i) {
    std::string field = i < fields.size() ? fields[i] : "";
    field.resize(11, ' ');
    line += field;
  }
  char tail[32];
  std::snprintf(tail, sizeof tail, "%4d%2d%3d%5d\n", mat, mf, mt, ++sequence % 100000);
  return line + tail;
}

std::string EndfPairLines(const std::vector<std::pair<double, double>>& points, int mat, int mf,
                          int mt) {
  std::string text;
  std::vector<std::string> fields;
  for (const auto& p : points) {
    fields.push_back(EndfNumberField(p.first));
    fields.push_back(EndfNumberField(p.second));
    if (fields.size() == 6) {
      text += EndfLine(fields, mat, mf, mt);
      fields.clear();
    }
  }
  if (!fields.empty()) text += EndfLine(fields, mat, mf, mt);
  return text;
}

std::string EndfHeader(int mat, int nver) {
  std::string text = " ENDF/B-VII fixture" + std::string(51, ' ') + "  0  0\n";
  text += EndfLine({EndfNumberField(1000.0), EndfNumberField(1.0), EndfIntegerField(-1),
                    EndfIntegerField(0), EndfIntegerField(0), EndfIntegerField(0)},
                   mat, 1, 451);
  text += EndfLine({EndfNumberField(0.0), EndfNumberField(0.0), EndfIntegerField(0),
                    EndfIntegerField(0), EndfIntegerField(0), EndfIntegerField(6)},
                   mat, 1, 451);
  text += EndfLine({EndfNumberField(0.0), EndfNumberField(1e11), EndfIntegerField(1),
                    EndfIntegerField(0), EndfIntegerField(0), EndfIntegerField(nver)},
                   mat, 1, 451);
  return text;
}

namespace {

constexpr int kViiMat = 300;

std::string F(double v) { return EndfNumberField(v); }
std::string I(long v) { return EndfIntegerField(v); }

// End lines: SEND (MT 0), FEND (MF 0), MEND and TEND.
std::string SectionEnd(int mf) { return EndfLine({}, kViiMat, mf, 0); }
std::string FileEnd() { return EndfLine({}, kViiMat, 0, 0); }
std::string MaterialEnd() { return EndfLine({}, 0, 0, 0) + EndfLine({}, -1, 0, 0); }

// A TAB1 section: head, control, one-range interpolation line (law), points.
std::string Tab1Section(int mf, int mt, int law, const std::vector<std::pair<double, double>>& pts) {
  const long np = static_cast<long>(pts.size());
  return EndfLine({F(3000.0), F(6.94), I(0), I(0), I(0), I(0)}, kViiMat, mf, mt) +
         EndfLine({F(0.0), F(0.0), I(0), I(0), I(1), I(np)}, kViiMat, mf, mt) +
         EndfLine({I(np), I(law)}, kViiMat, mf, mt) + EndfPairLines(pts, kViiMat, mf, mt) + SectionEnd(mf);
}

// A TAB1 section that is lin-lin on its first interval and log-log after.
std::string TwoRangeSection(int mf, int mt, const std::vector<std::pair<double, double>>& pts) {
  const long np = static_cast<long>(pts.size());
  return EndfLine({F(3000.0), F(6.94), I(0), I(0), I(0), I(0)}, kViiMat, mf, mt) +
         EndfLine({F(0.0), F(0.0), I(0), I(0), I(2), I(np)}, kViiMat, mf, mt) +
         EndfLine({I(2), I(2), I(np), I(5)}, kViiMat, mf, mt) + EndfPairLines(pts, kViiMat, mf, mt) + SectionEnd(mf);
}

// The head of an MF 26 section up to its (NE, 2, 0) line, which is line
// `countLine` of the section (5 for elastic MT 526, 6 for the others).
std::string DistributionHead(int mt, int countLine, long ne) {
  std::string text = EndfLine({F(3000.0), F(6.94), I(0), I(0), I(1), I(0)}, kViiMat, 26, mt);
  text += EndfLine({F(11.0), F(1.0), I(0), I(2), I(1), I(2)}, kViiMat, 26, mt);
  text += EndfLine({I(2), I(2)}, kViiMat, 26, mt);
  text += EndfPairLines({{10.0, 1.0}, {1e11, 1.0}}, kViiMat, 26, mt);
  if (countLine == 6) text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(1), I(ne)}, kViiMat, 26, mt);
  return text + EndfLine({I(ne), I(2), I(0)}, kViiMat, 26, mt);
}

// One distribution of a LIST record: incident energy E and its points.
std::string Distribution(int mt, double E, const std::vector<std::pair<double, double>>& pts) {
  const long np = static_cast<long>(pts.size());
  return EndfLine({F(0.0), F(E), I(0), I(0), I(2 * np), I(np)}, kViiMat, 26, mt) +
         EndfPairLines(pts, kViiMat, 26, mt);
}

const std::vector<double> kElectronGrid = {10.0, 1e3, 1e5, 1e7, 1e11};

std::vector<std::pair<double, double>> OnGrid(double from, double value) {
  std::vector<std::pair<double, double>> pts{{from, value}};
  for (double e : kElectronGrid)
    if (e > from) pts.push_back({e, value * (1.0 + std::log10(e / from))});
  return pts;
}

std::string ElectronFile() {
  std::string text = EndfHeader(kViiMat, 7);
  text += Tab1Section(23, 526, 2, OnGrid(10.0, 1e6));
  text += Tab1Section(23, 527, 2, OnGrid(10.0, 1e3));
  text += Tab1Section(23, 528, 2, OnGrid(10.0, 1e5));
  text += Tab1Section(23, 534, 2, OnGrid(kViiBindingK, 1e4));
  text += Tab1Section(23, 535, 2, OnGrid(kViiBindingL1, 1e5));
  text += FileEnd();
  // Elastic angular distributions ending at cosine 0.999999.
  const std::vector<std::pair<double, double>> cosines = {{-1.0, 0.1}, {0.0, 0.3}, {0.9, 2.0}, {0.999999, 5.0}};
  text += DistributionHead(526, 5, 2) + Distribution(526, 10.0, cosines) + Distribution(526, 1e11, cosines) +
          SectionEnd(26);
  // Bremsstrahlung photon spectra, then the mean energy transfer.
  text += DistributionHead(527, 6, 2) + Distribution(527, 10.0, {{1.0, 1.0}, {10.0, 0.1}}) +
          Distribution(527, 1e11, {{1.0, 1.0}, {1e3, 0.01}, {1e11, 1e-9}});
  text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(0), I(0)}, kViiMat, 26, 527);
  text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(0), I(0)}, kViiMat, 26, 527);
  text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(0), I(0)}, kViiMat, 26, 527);
  text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(1), I(2)}, kViiMat, 26, 527);
  text += EndfLine({I(2), I(2)}, kViiMat, 26, 527) + EndfPairLines({{10.0, 1.0}, {1e11, 1e10}}, kViiMat, 26, 527) +
          SectionEnd(26);
  // Excitation energy loss on the grid of the excitation cross section.
  std::vector<std::pair<double, double>> loss;
  for (double e : kElectronGrid) loss.push_back({e, 2.0 + std::log10(e)});
  text += EndfLine({F(3000.0), F(6.94), I(0), I(0), I(1), I(0)}, kViiMat, 26, 528);
  text += EndfLine({F(11.0), F(1.0), I(0), I(8), I(1), I(2)}, kViiMat, 26, 528);
  text += EndfLine({I(2), I(2)}, kViiMat, 26, 528) + EndfPairLines({{10.0, 1.0}, {1e11, 1.0}}, kViiMat, 26, 528);
  text += EndfLine({F(0.0), F(0.0), I(0), I(0), I(1), I(5)}, kViiMat, 26, 528);
  text += EndfLine({I(5), I(2)}, kViiMat, 26, 528) + EndfPairLines(loss, kViiMat, 26, 528) + SectionEnd(26);
  // Knock-on spectra of the two subshells.
  for (int mt : {534, 535}) {
    const double b = mt == 534 ? kViiBindingK : kViiBindingL1;
    text += DistributionHead(mt, 6, 2) + Distribution(mt, b, {{0.0, 1.0}, {1.0, 1.0}}) +
            Distribution(mt, 1e11, {{0.0, 1.0}, {10.0, 0.5}, {1e3, 1e-3}, {5e10, 1e-12}}) + SectionEnd(26);
  }
  return text + FileEnd() + MaterialEnd();
}

std::vector<std::pair<double, double>> Falling(double from, double to, double y0, int n) {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < n; ++i) {
    const double x = from * std::pow(to / from, i / double(n - 1));
    pts.push_back({x, y0 * std::pow(x / from, -1.5)});
  }
  return pts;
}

std::string PhotonFile() {
  std::string text = EndfHeader(kViiMat, 7);
  text += Tab1Section(23, 502, 5, Falling(1.0, 1e11, 10.0, 8));
  text += Tab1Section(23, 504, 5, {{1.0, 1e-3}, {1e3, 1.0}, {1e6, 1.5}, {1e11, 1e-4}});
  text += TwoRangeSection(23, 516, {{1.022e6, 0.0}, {1.5e6, 1e-4}, {1e7, 1e-2}, {1e11, 0.05}});
  text += Tab1Section(23, 534, 5, Falling(kViiBindingK, 1e11, 1e6, 6));
  text += Tab1Section(23, 535, 5, Falling(kViiBindingL1, 1e11, 1e6, 6));
  text += FileEnd();
  text += TwoRangeSection(27, 502, {{0.0, 3.0}, {1e-3, 3.0}, {1.0, 1.0}, {1e9, 1e-20}});
  text += TwoRangeSection(27, 504, {{0.0, 0.0}, {1e-3, 1e-4}, {1.0, 2.9}, {1e9, 3.0}});
  text += Tab1Section(27, 505, 2, {{1.0, -1.0}, {1e11, 0.0}});
  text += Tab1Section(27, 506, 2, {{1.0, -2.0}, {1e11, 0.0}});
  return text + FileEnd() + MaterialEnd();
}

std::string RelaxationFile() {
  std::string text = EndfHeader(kViiMat, 7);
  text += EndfLine({F(3000.0), F(6.88), I(0), I(0), I(2), I(0)}, kViiMat, 28, 533);
  // K: a radiative K-L1 transition and a K-L1-L1 Auger transition whose
  // energies are the binding-energy differences.
  text += EndfLine({F(1.0), F(0.0), I(0), I(0), I(18), I(2)}, kViiMat, 28, 533);
  text += EndfLine({F(kViiBindingK), F(2.0), F(0.0), F(0.0), F(0.0), F(0.0)}, kViiMat, 28, 533);
  text += EndfLine({F(2.0), F(0.0), F(kViiBindingK - kViiBindingL1), F(kViiKRadiativeProb), F(0.0), F(0.0)}, kViiMat,
                   28, 533);
  text += EndfLine({F(2.0), F(2.0), F(kViiBindingK - 2.0 * kViiBindingL1), F(1.0 - kViiKRadiativeProb), F(0.0),
                    F(0.0)},
                   kViiMat, 28, 533);
  // L1: no transitions.
  text += EndfLine({F(2.0), F(0.0), I(0), I(0), I(6), I(0)}, kViiMat, 28, 533);
  text += EndfLine({F(kViiBindingL1), F(1.0), F(0.0), F(0.0), F(0.0), F(0.0)}, kViiMat, 28, 533);
  return text + SectionEnd(28) + FileEnd() + MaterialEnd();
}

bool IsSectionLine(const std::string& line, int mf, int mt) {
  if (line.size() < 75) return false;
  return std::atoi(line.substr(70, 2).c_str()) == mf && std::atoi(line.substr(72, 3).c_str()) == mt;
}

}  // namespace

ENDFVIIELEMENT MakeEndfViiElement() { return ENDFVIIELEMENT{ElectronFile(), PhotonFile(), RelaxationFile()}; }

bool SetEndfField(std::string& text, int mf, int mt, int row, int field, const std::string& value) {
  size_t start = 0;
  int seen = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (IsSectionLine(line, mf, mt) && ++seen == row) {
      std::string f = value.size() < 11 ? std::string(11 - value.size(), ' ') + value : value.substr(0, 11);
      text.replace(start + 11 * (field - 1), 11, f);
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool WriteEndfViiElement(const std::string& folder, const ENDFVIIELEMENT& files) {
  const struct {
    const char* sub;
    const char* name;
    const std::string& text;
  } parts[] = {{"electrons", "e-003_Li_000.endf", files.electrons},
               {"photoat", "photoat-003_Li_000.endf", files.photons},
               {"atomic_relax", "atom-003_Li_000.endf", files.relaxation}};
  for (const auto& p : parts) {
    if (p.text.empty()) continue;
    const std::string dir = folder + p.sub;
    if (!std::filesystem::exists(dir) && !std::filesystem::create_directories(dir)) return false;
    if (!WriteTextFile(dir + "/" + p.name, p.text)) return false;
  }
  return true;
}
