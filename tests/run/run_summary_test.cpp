// The copies of the output and log files into the result folder.
#include "driver/run/run_summary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::string text;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  char block[256];
  size_t n = 0;
  while ((n = fread(block, 1, sizeof(block), f)) > 0) text.append(block, n);
  fclose(f);
  return text;
}

}  // namespace

TEST(ResultFolderCopies, CopiesAndFailures) {
  const std::string dir = MakeScratchFolder("ResultFolderCopies");
  const std::string folder = dir + "Files_run_out.txt";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(WriteTextFile(dir + "run_out.txt", "output\nlines\n"));
  ASSERT_TRUE(WriteTextFile(dir + "empty_log.txt", ""));

  testing::internal::CaptureStdout();
  EXPECT_EQ(CopyIntoResultFolder(dir + "run_out.txt", folder, "Output"), 0);
  EXPECT_EQ(CopyIntoResultFolder(dir + "empty_log.txt", folder, "Log"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ReadAll(folder + "/run_out.txt"), "output\nlines\n");
  EXPECT_FALSE(FileExists(folder + "/empty_log.txt"));  // an empty file is not copied

  // A file that cannot be read, or a copy that cannot be created, keeps its
  // message and fails the run.
  testing::internal::CaptureStdout();
  EXPECT_EQ(CopyIntoResultFolder(dir + "missing_log.txt", folder, "Log"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Log file \"" + dir + "missing_log.txt\" could not be opened for reading and will not be copied to folder \"" +
                folder + "\"\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(CopyIntoResultFolder(dir + "run_out.txt", dir + "no_such_folder", "Output"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "File \"" + dir + "no_such_folder/run_out.txt\" could not be opened for writing.\n");
}
