#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void RemoveScratchFolder() {
  std::error_code ignored;
  fs::remove_all(FuzzScratchFolder(), ignored);
}

}  // namespace

const std::string& FuzzScratchFolder() {
  // Never destroyed: the exit handler that removes the folder reads it.
  static const std::string* const folder = [] {
    std::error_code ignored;
    const fs::path path = fs::temp_directory_path() / ("trenqual-fuzz-" + std::to_string(getpid()));
    fs::remove_all(path, ignored);
    fs::create_directories(path, ignored);
    std::atexit(RemoveScratchFolder);
    return new std::string(path.string() + "/");
  }();
  return *folder;
}

void EnterFuzzScratchFolder() {
  static const bool entered = chdir(FuzzScratchFolder().c_str()) == 0;
  if (!entered) std::abort();  // a target must never write outside its folder
}

bool WriteFuzzFile(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

bool WriteFuzzFile(const std::string& path, const std::string& bytes) {
  return WriteFuzzFile(path, bytes.data(), bytes.size());
}

void ClearFuzzScratchFolder(const std::string& keep) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(FuzzScratchFolder(), error)) {
    const std::string name = entry.path().filename().string();
    if (("\n" + keep + "\n").find("\n" + name + "\n") != std::string::npos) continue;
    std::error_code ignored;
    fs::remove_all(entry.path(), ignored);
  }
}

void QuietFuzzConsole() {
  const char* verbose = std::getenv("TQ_FUZZ_VERBOSE");
  if (verbose != nullptr && verbose[0] == '1') return;
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}
