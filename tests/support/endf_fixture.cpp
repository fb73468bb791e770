#include "tests/support/endf_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

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
