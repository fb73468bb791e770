// Replays the corpus of one fuzz target through its entry, in the normal test
// suite: every input that ever crashed a reader is kept in the corpus, so it
// stays a regression test. TQ_FUZZ_CORPUS names the target's corpus folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

namespace {

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TQ_FUZZ_CORPUS))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(TQ_FUZZ_SUITE, EveryInputReturnsToTheTarget) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  ASSERT_FALSE(files.empty()) << TQ_FUZZ_CORPUS;
  testing::internal::CaptureStdout();
  for (const std::filesystem::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A crash, a sanitizer report or a hang fails the test; the return value
    // (0, or -1 for an input the target does not run) is no verdict.
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  testing::internal::GetCapturedStdout();
}
