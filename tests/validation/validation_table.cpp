#include "tests/validation/validation_table.h"

#include <algorithm>
#include <cmath>

namespace {

std::string Number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

std::string Percent(double x, bool sign) {
  if (x < 0.0 && !sign) return "-";
  if (std::fabs(x) < 5e-4) x = 0.0;  // no "-0.000"
  char text[32];
  std::snprintf(text, sizeof text, sign ? "%+.3f" : "%.3f", x);
  return text;
}

// A CSV field, quoted when it holds a comma or a quote.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

void PrintValidationTable(const std::vector<VALIDATIONROW>& rows, FILE* out) {
  const char* const headers[6] = {"quantity", "case", "program", "reference", "deviation (%)", "stat. error (%)"};
  std::vector<std::vector<std::string>> cells;
  for (const VALIDATIONROW& r : rows)
    cells.push_back({r.quantity, r.caseName, Number(r.value), Number(r.reference), Percent(r.DeviationPercent(), true),
                     Percent(r.statPercent, false)});
  size_t width[6];
  for (int c = 0; c < 6; ++c) {
    width[c] = std::string(headers[c]).size();
    for (const std::vector<std::string>& row : cells) width[c] = std::max(width[c], row[c].size());
  }
  const auto line = [&](const std::vector<std::string>& fields) {
    for (int c = 0; c < 6; ++c) {
      const int w = static_cast<int>(width[c]);
      if (c < 2) {
        std::fprintf(out, "%-*s  ", w, fields[c].c_str());
      } else {
        std::fprintf(out, "%*s%s", w, fields[c].c_str(), c < 5 ? "  " : "\n");
      }
    }
  };
  line({headers[0], headers[1], headers[2], headers[3], headers[4], headers[5]});
  size_t total = 10;
  for (size_t w : width) total += w;
  std::fprintf(out, "%s\n", std::string(total, '-').c_str());
  std::string quantity;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0 && rows[i].quantity != quantity) std::fprintf(out, "\n");
    quantity = rows[i].quantity;
    line(cells[i]);
  }
}

bool WriteValidationCsv(const std::vector<VALIDATIONROW>& rows, const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  std::fprintf(file,
               "quantity,case,program,reference,deviation_percent,stat_error_percent,"
               "element,energy_MeV,reference_low,reference_high\n");
  for (const VALIDATIONROW& r : rows) {
    std::fprintf(file, "%s,%s,%.9g,%.9g,%.4f,", CsvField(r.quantity).c_str(), CsvField(r.caseName).c_str(), r.value,
                 r.reference, r.DeviationPercent());
    if (r.statPercent >= 0.0) std::fprintf(file, "%.4f", r.statPercent);
    std::fprintf(file, ",%s,", CsvField(r.element).c_str());
    if (r.energyMeV > 0.0) std::fprintf(file, "%.9g", r.energyMeV);
    std::fprintf(file, ",");
    if (r.referenceHigh > r.referenceLow) {
      std::fprintf(file, "%.9g,%.9g\n", r.referenceLow, r.referenceHigh);
    } else {
      std::fprintf(file, ",\n");
    }
  }
  return std::fclose(file) == 0;
}
