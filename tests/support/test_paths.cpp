#include "tests/support/test_paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "platform/paths.h"

std::string SharedDataFolder() {
  const char* value = std::getenv("TQ_SHARED_DATA");
  return WithTrailingSeparator(value ? value : "../../shared/data");
}

std::string EndfFolder() { return SharedDataFolder() + "endf/"; }

std::string BuiltAuxDataFolder() {
  const std::string folder = TQ_BUILT_DATA_FOLDER;
  for (const char* name : {"ElasticDPW_totalCS.dat", "ElasticDPW_angularDistr.dat", "IonDWBA.dat",
                           "Brems_angular_prob_dens.dat", "EEDL_elastic.dat"})
    if (!std::filesystem::exists(folder + name)) return "";
  return folder;
}

std::string PenelopeSourceFolder() {
  const std::string folder = TQ_PENELOPE_FOLDER;
  return std::filesystem::exists(folder + "pdbrang.p18") ? folder : "";
}

namespace {

std::mutex scratchMutex;
std::vector<std::string> scratchFolders;  // made and not yet handed to TakeScratchFolders

}  // namespace

std::vector<std::string> TakeScratchFolders() {
  std::lock_guard<std::mutex> lock(scratchMutex);
  return std::exchange(scratchFolders, {});
}

std::string MakeScratchFolder(const std::string& testName) {
  // Test processes run in parallel: each call gets a folder of its own.
  static std::random_device entropy;
  std::string unique = testName + "-" + std::to_string(entropy()) + std::to_string(entropy());
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "trenqual-tests" / unique;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder, ignored);
  {
    std::lock_guard<std::mutex> lock(scratchMutex);
    scratchFolders.push_back(folder.string());
  }
  return WithTrailingSeparator(folder.string());
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}
