#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cfenv>
#include <cmath>
#include <string>

#include "platform/clock.h"
#include "platform/floating_point.h"
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

TEST(Paths, OnlyRegularFilesAreOpenedForReading) {
  const std::string scratch = MakeScratchFolder("platform-regular");
  ASSERT_TRUE(WriteTextFile(scratch + "file", "x"));
  ASSERT_EQ(mkfifo((scratch + "pipe").c_str(), 0600), 0);
  struct Case {
    std::string name;
    bool opened;
    bool notRegular;
  } cases[] = {
      {scratch + "file", true, false}, {scratch + "none", false, false},
      {scratch, false, true},          {scratch + "pipe", false, true},  // no writer: a plain open would wait for one
      {"/dev/null", false, true},
  };
  for (const Case& c : cases) {
    bool notRegular = !c.notRegular;
    FILE* file = OpenRegularFileForReading(c.name, "r", &notRegular);
    EXPECT_EQ(file != nullptr, c.opened) << c.name;
    EXPECT_EQ(notRegular, c.notRegular) << c.name;
    if (file == nullptr) continue;
    EXPECT_EQ(fgetc(file), 'x');  // blocking reads again
    fclose(file);
  }
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

namespace {
volatile double zero = 0.0;  // volatile: the operations below happen at run time
}  // namespace

// A scope clears the status and masks every trap; leaving it restores the
// flags, the rounding mode and the traps the caller had, whatever was raised
// inside.
TEST(FloatingPoint, ScopeRestoresTheCallersEnvironment) {
  FLOATINGPOINTENV original = SaveFloatingPointEnvironment();
  ClearFloatingPointStatus();
  std::feraiseexcept(FE_INEXACT | FE_UNDERFLOW);
  std::fesetround(FE_DOWNWARD);
  feenableexcept(FE_DIVBYZERO | FE_INVALID);
  {
    FloatingPointScope scope;
    EXPECT_EQ(RaisedFloatingPointFlags(), 0);
    EXPECT_EQ(EnabledFloatingPointTraps(), 0);
    EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
    volatile double quotient = 1.0 / zero;  // would trap outside the scope
    volatile double invalid = zero / zero;
    EXPECT_TRUE(std::isinf(quotient));
    EXPECT_TRUE(std::isnan(invalid));
    EXPECT_TRUE(InvalidOperationRaised());
    EXPECT_EQ(RaisedFloatingPointFlags() & FE_DIVBYZERO, FE_DIVBYZERO);
  }
  int traps = EnabledFloatingPointTraps();
  int flags = RaisedFloatingPointFlags();
  int rounding = std::fegetround();
  RestoreFloatingPointEnvironment(original);
  EXPECT_EQ(traps, FE_DIVBYZERO | FE_INVALID);
  EXPECT_EQ(flags, FE_INEXACT | FE_UNDERFLOW);
  EXPECT_EQ(rounding, FE_DOWNWARD);
  EXPECT_EQ(EnabledFloatingPointTraps(), 0);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST(FloatingPoint, ClearAndTest) {
  FLOATINGPOINTENV original = SaveFloatingPointEnvironment();
  ClearFloatingPointStatus();
  EXPECT_FALSE(InvalidOperationRaised());
  volatile double nan = zero / zero;
  volatile bool ordered = nan < 1.0;
  EXPECT_FALSE(ordered);
  EXPECT_TRUE(InvalidOperationRaised());
  ClearFloatingPointStatus();
  EXPECT_EQ(RaisedFloatingPointFlags(), 0);
  RestoreFloatingPointEnvironment(original);
}
