#include "tests/e2e/tally_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

double TotalCount(const std::vector<TALLYBIN>& bins) {
  double total = 0.0;
  for (const TALLYBIN& b : bins) total += b.count;
  return total;
}

std::string ResultFolder(const PROGRAMRUN& run, const std::string& input) {
  return run.folder + "Files_" + input.substr(0, input.size() - 4) + "_out.txt/";
}

std::map<std::string, std::string> TallyFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find("TALLY") != std::string::npos) files[name] = ReadText(e.path().string());
  }
  return files;
}

void ExpectAgreement(const std::string& fileA, const std::string& fileB, const std::string& label, double minShare) {
  const std::vector<TALLYBIN> a = ReadTallyBins(fileA);
  const std::vector<TALLYBIN> b = ReadTallyBins(fileB);
  ASSERT_EQ(a.size(), b.size()) << label << fileB;
  ASSERT_FALSE(a.empty()) << label << fileA;
  for (size_t i = 0; i < a.size(); ++i) {
    const double countSDev = std::sqrt(std::max(a[i].count + b[i].count, 1.0));
    EXPECT_LE(std::fabs(a[i].count - b[i].count), 4.0 * countSDev) << label << fileB << " bin " << i;
    const double fluxSDev = std::hypot(a[i].flux * a[i].relSDev, b[i].flux * b[i].relSDev);
    if (a[i].count >= 10 && b[i].count >= 10) {
      EXPECT_LE(std::fabs(a[i].flux - b[i].flux), 4.0 * fluxSDev) << label << fileB << " bin " << i;
    }
  }
  EXPECT_GT(TotalCount(a), 0.0) << label << fileA;
  EXPECT_GT(TotalCount(b), minShare * TotalCount(a)) << label << fileB;
}
