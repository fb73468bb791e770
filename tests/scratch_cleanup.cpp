// Linked into every GoogleTest program: removes the scratch folders a test
// made once it has passed (or was skipped), so that a test run leaves only
// the folders of its failures behind for inspection. Folders made outside a
// test (by a suite's set-up) go when the whole program has passed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"

namespace {

void RemoveFolders(const std::vector<std::string>& folders) {
  std::error_code ignored;
  for (const std::string& folder : folders) std::filesystem::remove_all(folder, ignored);
}

class ScratchCleanup : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { AddToSuite(TakeScratchFolders()); }
  void OnTestEnd(const testing::TestInfo& test) override {
    std::vector<std::string> made = TakeScratchFolders();
    if (test.result()->Passed() || test.result()->Skipped()) RemoveFolders(made);
  }
  void OnTestProgramEnd(const testing::UnitTest& program) override {
    AddToSuite(TakeScratchFolders());
    if (program.Passed()) RemoveFolders(outsideTests_);
  }
  void AddToSuite(const std::vector<std::string>& folders) {
    outsideTests_.insert(outsideTests_.end(), folders.begin(), folders.end());
  }
  std::vector<std::string> outsideTests_;
};

const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new ScratchCleanup);
  return true;
}();

}  // namespace
