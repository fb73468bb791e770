#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/threads.h"
#include "tests/support/test_paths.h"

TEST(Paths, SplitJoinAndAbsolute) {
  struct {
    const char* path;
    const char* folder;
    const char* name;
    const char* extension;
  } cases[] = {
      {"/a/b/input.txt", "/a/b/", "input", ".txt"},
      {"input.txt", "", "input", ".txt"},
      {"run/input", "run/", "input", ""},
      {"dir.d/input", "dir.d/", "input", ""},
      {"/x/.hidden", "/x/", ".hidden", ""},
      {"a.b.c", "", "a.b", ".c"},
  };
  for (const auto& c : cases) {
    std::string folder, name, extension;
    SplitPath(c.path, &folder, &name, &extension);
    EXPECT_EQ(folder, c.folder) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
    EXPECT_EQ(extension, c.extension) << c.path;
  }
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(WithTrailingSeparator("x"), "x/");
  EXPECT_EQ(WithTrailingSeparator(""), "");
  EXPECT_TRUE(IsAbsolutePath("/x"));
  EXPECT_FALSE(IsAbsolutePath("x/y"));
}

TEST(Paths, FilesAndFolders) {
  std::string scratch = MakeScratchFolder("platform-paths");
  EXPECT_TRUE(FileExists(scratch));
  EXPECT_FALSE(FileExists(scratch + "none"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(MakeFolder(scratch + "sub"));
  EXPECT_TRUE(MakeFolder(scratch + "sub"));  // already there
  ASSERT_TRUE(WriteTextFile(scratch + "file", "x"));
  EXPECT_FALSE(MakeFolder(scratch + "file"));  // a file stands there
  std::string current = CurrentFolder();
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(current.back(), '/');
  std::string exe;
  ASSERT_TRUE(ExecutableFolderFromSystem(&exe));
  EXPECT_TRUE(FileExists(exe + "platform_tests"));
}

namespace {
void Increment(void* argument) { static_cast<std::atomic<int>*>(argument)->fetch_add(1, std::memory_order_release); }
}  // namespace

TEST(Threads, StartedThreadsRunTheirEntry) {
  std::atomic<int> counter{0};
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(StartThread(Increment, &counter, i));
  int64_t start = MillisecondsSinceStart();
  while (counter.load(std::memory_order_acquire) < 8 && MillisecondsSinceStart() - start < 10000) YieldThread();
  EXPECT_EQ(counter.load(), 8);
}

namespace {
// Touches a stack frame of 48 MiB, far beyond the default stack of a thread.
void FillLargeStack(void* argument) {
  constexpr size_t kBytes = 48u << 20;
  volatile unsigned char* frame = static_cast<volatile unsigned char*>(__builtin_alloca(kBytes));
  for (size_t i = 0; i < kBytes; i += 4096) frame[i] = 1;
  static_cast<std::atomic<int>*>(argument)->store(1, std::memory_order_release);
}
}  // namespace

TEST(Threads, AThreadGetsTheStackSizeItAsksFor) {
  std::atomic<int> done{0};
  ASSERT_TRUE(StartThread(FillLargeStack, &done, 0, size_t{64} << 20));
  int64_t start = MillisecondsSinceStart();
  while (done.load(std::memory_order_acquire) == 0 && MillisecondsSinceStart() - start < 10000) YieldThread();
  EXPECT_EQ(done.load(), 1);
}

TEST(Threads, AFailedStartIsReported) {
  std::atomic<int> counter{0};
  testing::internal::CaptureStdout();
  bool started = StartThread(Increment, &counter, 7, ~size_t{0} >> 1);  // no stack of that size exists
  std::string console = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(started);
  EXPECT_EQ(console, "_beginthread failed (thread No. 7).\n");
  EXPECT_EQ(counter.load(), 0);
}

TEST(Process, ShellCommandsGiveTheirExitStatus) {
  EXPECT_EQ(RunShellCommand("exit 0"), 0);
  EXPECT_EQ(RunShellCommand("exit 3"), 3);
  EXPECT_EQ(RunShellCommand("kill -9 $$"), -1);  // killed by a signal: no exit status
}

TEST(Clock, MonotonicAndAdvancing) {
  int64_t before = MillisecondsSinceStart();
  SleepMilliseconds(20);
  int64_t after = MillisecondsSinceStart();
  EXPECT_GE(after - before, 19);
  EXPECT_GE(SecondsSinceStart() * 1000.0, static_cast<double>(after));
}
