#include "driver/data/endf_reader.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kFieldWidth = 11;
constexpr int kPaddedColumns = 80;

}  // namespace

bool OpenEndfFile(const std::string& name, ENDFREADER* reader) {
  reader->file = OpenRegularFileForReading(name, "r");
  reader->sectionCode = 0;
  reader->generation = 0;
  if (!reader->file) return false;
  // NVER, field 6 of the fourth line (MF1/MT451): 8 for ENDF/B-VIII files.
  int lines = 0;
  while (lines < 4 && ReadEndfLine(reader)) ++lines;
  reader->generation = (lines == 4 && EndfIntField(reader->line, 6) >= 8) ? 8 : 7;
  return true;
}

void CloseEndfFile(ENDFREADER* reader) {
  if (reader->file) std::fclose(reader->file);
  reader->file = nullptr;
}

bool ReadEndfLine(ENDFREADER* reader) {
  char* line = reader->line;
  if (!std::fgets(line, 100, reader->file)) return false;
  size_t length = std::strcspn(line, "\r\n");
  // A line longer than the buffer: pass over the rest of it.
  if (line[length] == '\0' && length == 99) {
    int c;
    while ((c = std::fgetc(reader->file)) != EOF && c != '\n') {
    }
  }
  for (size_t i = length; i < kPaddedColumns; ++i) line[i] = ' ';
  line[length > kPaddedColumns ? length : kPaddedColumns] = '\0';
  return true;
}

bool ParseEndfNumber(const char* text, int length, double* value) {
  // Gather the non-blank characters, turning the exponent into "e<sign>digits".
  char buffer[48];
  int m = 0;
  for (int i = 0; i < length && text[i] != '\0'; ++i) {
    char c = text[i];
    if (c == ' ') continue;
    if (m >= 40) return false;
    if (c == 'd' || c == 'D' || c == 'E') c = 'e';
    if ((c == '+' || c == '-') && m > 0 && buffer[m - 1] != 'e') buffer[m++] = 'e';
    buffer[m++] = c;
  }
  if (m == 0) {
    *value = 0.0;
    return true;
  }
  buffer[m] = '\0';
  char* end = nullptr;
  *value = std::strtod(buffer, &end);
  return end == buffer + m && std::isfinite(*value);
}

double EndfField(const char* line, int field) {
  double value = 0.0;
  if (!ParseEndfNumber(line + (field - 1) * kFieldWidth, kFieldWidth, &value)) return 0.0;
  return value;
}

int EndfIntField(const char* line, int field) {
  char buffer[kFieldWidth + 1];
  std::memcpy(buffer, line + (field - 1) * kFieldWidth, kFieldWidth);
  buffer[kFieldWidth] = '\0';
  return std::atoi(buffer);
}

int EndfLineCode(const char* line) {
  char mf[3] = {line[70], line[71], '\0'};
  char mt[4] = {line[72], line[73], line[74], '\0'};
  const int sectionNumber = std::atoi(mt);
  if (sectionNumber == 0) return 0;
  return std::atoi(mf) * 1000 + sectionNumber;
}

int FindEndfSection(ENDFREADER* reader, int code, bool withControl) {
  reader->sectionCode = 0;
  while (reader->sectionCode < code) {
    if (!ReadEndfLine(reader)) return 1;
    const int lineCode = EndfLineCode(reader->line);
    if (lineCode != 0) reader->sectionCode = lineCode;
  }
  if (reader->sectionCode != code) return 1;
  if (!withControl) return 0;
  if (!ReadEndfLine(reader)) return 1;
  const int lineCode = EndfLineCode(reader->line);
  if (lineCode != 0) reader->sectionCode = lineCode;
  return lineCode == code ? 0 : 1;
}

int SkipEndfLines(ENDFREADER* reader, int count) {
  for (int i = 0; i < count; ++i) {
    if (!ReadEndfLine(reader)) return 1;
  }
  return 0;
}

int ReadEndfPairs(ENDFREADER* reader, int np, double* xs, double* ys) {
  int k = 0;
  while (k < np) {
    if (!ReadEndfLine(reader)) return 1;
    for (int pair = 0; pair < 3 && k < np; ++pair, ++k) {
      xs[k] = EndfField(reader->line, 2 * pair + 1);
      ys[k] = EndfField(reader->line, 2 * pair + 2);
    }
  }
  return 0;
}

void NormaliseDensity(const double* x, double* y, double* cum, double* slope, int n) {
  cum[0] = 0.0;
  for (int i = 1; i < n; ++i) {
    cum[i] = cum[i - 1] + (x[i] - x[i - 1]) * (y[i] + y[i - 1]) * 0.5;
    slope[i - 1] = (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
  }
  slope[n - 1] = 0.0;
  const double norm = 1.0 / cum[n - 1];
  for (int i = 0; i < n; ++i) {
    y[i] *= norm;
    cum[i] *= norm;
    if (slope[i] != 0.0) slope[i] = 1.0 / (slope[i] * norm);
  }
  cum[n - 1] = 1.0;
}

int16_t MedianInterval(const double* cum, int n) {
  int h = n - 2;
  while (h > 0 && !(cum[h] < 0.5)) --h;
  return static_cast<int16_t>(h < 0 ? 0 : h);
}

int BuildTab1(const double* xs, const double* ys, int np, double* x, double* y, double* slope,
              int* n, double* cum, int logFrom, const double* refX) {
  int m = 0;
  bool logMode = false;
  for (int k = 0; k < np; ++k) {
    if (m > 0 && xs[k] == x[m - 1]) continue;  // the second point of a step
    if (refX && xs[k] != refX[m]) return 1;
    x[m] = xs[k];
    y[m] = ys[k];
    if (m > 0) {
      if (m == logFrom + 1) logMode = true;
      slope[m - 1] = logMode ? std::log(y[m] / y[m - 1]) / std::log(x[m] / x[m - 1])
                             : (y[m] - y[m - 1]) / (x[m] - x[m - 1]);
    }
    ++m;
  }
  *n = m;
  if (m == 0) return 0;
  slope[m - 1] = 0.0;
  if (cum) NormaliseDensity(x, y, cum, slope, m);
  return 0;
}

int ReadEndfTab1(ENDFREADER* reader, double* x, double* y, double* slope, int* n, double* cum,
                 int logFrom, const double* refX) {
  std::vector<double> xs(*n), ys(*n);
  if (ReadEndfPairs(reader, *n, xs.data(), ys.data()) != 0) return 2;
  return BuildTab1(xs.data(), ys.data(), *n, x, y, slope, n, cum, logFrom, refX);
}

void CleanPoints(double* x, double* y, int16_t* n) {
  const int count = *n;
  std::vector<double> xs(x, x + count), ys(y, y + count);
  int m = 0;
  bool pending = false;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && pending && ys[i] != ys[i - 1]) {
      x[m] = xs[i - 1];
      y[m++] = ys[i - 1];
      pending = false;
    }
    if (i == count - 1 || i == 0 || ys[i] != ys[i - 1]) {
      x[m] = xs[i];
      y[m++] = ys[i];
    } else {
      pending = true;  // inside a run of equal values: held back
    }
  }
  *n = static_cast<int16_t>(m);
}

void ThinTable(double* x, double* y, double* cum, double* slope, int16_t* n,
               int16_t* medianIndex, double spanFraction, double tolerance, double cutoff) {
  const int count = *n;
  if (count < 2) return;
  std::vector<int16_t> kept(count);
  kept[0] = 0;
  int keptCount = 1;

  // Lump the start of the table below the cumulative cutoff.
  int i = 0;
  while (i < count && cum[i] < cutoff) ++i;
  if (i >= count) i = count - 1;
  const double span = (cum[count - 1] - cum[i]) * spanFraction;
  if (i > 0) kept[keptCount++] = static_cast<int16_t>(i);
  const int first = keptCount;
  const bool flatFirst = i > 1;
  if (flatFirst) {
    cum[1] = cum[i];
    y[0] = cum[i] / (x[i] - x[0]);
    slope[0] = 0.0;
  }

  // Longest chords within the span that reproduce the density.
  bool appended = false;
  for (int a = i; a < count - 1;) {
    int b = a + 1;
    while (b < count - 1 && cum[b] - cum[a] < span) ++b;
    while (b > a + 1) {
      const double s = (y[b] - y[a]) / (x[b] - x[a]);
      const double tol = tolerance * (cum[b] - cum[a]) / (x[b] - x[a]);
      bool passes = true;
      for (int j = a + 1; j < b && passes; ++j)
        passes = std::fabs(y[j] - y[a] - s * (x[j] - x[a])) < tol;
      if (passes) break;
      --b;
    }
    kept[keptCount++] = static_cast<int16_t>(b);
    appended = true;
    a = b;
  }
  if (!appended && kept[keptCount - 1] < count - 1) kept[keptCount++] = 0;
  if (keptCount == count) return;

  // Refill the kept points and rebuild cumulative values and slopes.
  kept[keptCount - 1] = static_cast<int16_t>(count - 1);
  const int m = keptCount;
  x[first - 1] = x[kept[first - 1]];
  y[first - 1] = y[kept[first - 1]];
  for (int k = first; k < m; ++k) {
    x[k] = x[kept[k]];
    y[k] = y[kept[k]];
    cum[k] = cum[k - 1] + (y[k] + y[k - 1]) * 0.5 * (x[k] - x[k - 1]);
  }
  for (int k = flatFirst ? 1 : 0; k < m - 1; ++k) slope[k] = (y[k + 1] - y[k]) / (x[k + 1] - x[k]);
  slope[m - 1] = 0.0;
  const double norm = 1.0 / cum[m - 1];
  for (int k = 0; k < m; ++k) {
    y[k] *= norm;
    cum[k] *= norm;
    if (slope[k] != 0.0) slope[k] = 1.0 / (slope[k] * norm);
  }
  cum[m - 1] = 1.0;
  *n = static_cast<int16_t>(m);
  *medianIndex = MedianInterval(cum, m);
}

int EndfFormatError(int sectionCode) {
  std::printf("Wrong format of the ENDF input file (code = %d).\n", sectionCode);
  return 1;
}

int FileError(const char* fileName) {
  std::printf("Error in file %s.\n", fileName);
  return 1;
}
