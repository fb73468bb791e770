// Writers of small ENDF-6 fixtures in the classic (ENDF/B-VII) style: the
// letter-less exponent, 80-column lines with MAT, MF, MT and a sequence number.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One number in the classic 11-column form, e.g. " 1.234567+6".
std::string EndfNumberField(double value);

// An 11-column integer field.
std::string EndfIntegerField(long value);

// A line of six fields with MAT, MF and MT in columns 67-75 and a sequence
// number in 76-80; empty fields are blank.
std::string EndfLine(const std::vector<std::string>& fields, int mat, int mf, int mt);

// The lines of (x, y) pairs, three to a line.
std::string EndfPairLines(const std::vector<std::pair<double, double>>& points, int mat, int mf,
                          int mt);

// The four header lines of a file of generation nver (7 or 8), MF 1 / MT 451.
std::string EndfHeader(int mat, int nver);
