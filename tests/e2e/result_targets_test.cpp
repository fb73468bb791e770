// Where the built Trenqual writes: output and log files that are devices
// (/dev/stdout, /dev/full, /dev/null), folders or pipes are refused before
// the run, no result folder is made among devices, an input that is no
// regular file is refused; a write that fails (a full disk, here a file-size
// limit with SIGXFSZ ignored) ends the run with the file's name and exit
// code 1, and leaves no half-written file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

// 662 keV photons in lead with a 2-D plane tally of 70000 bins: an output
// file of a few kB and a tally file of about 1.7 MB.
const char* const kLargeTallyInput =
    "MAT \"lead\" 82 1\nCONC -11.35\nTHICK 1\nBEAM 0 0 -1 0 0 1\nPART P\nN 50\nE_UNIT keV\nCUT_E 10\nCUT_P 10\n"
    "BREMS_ANGULAR_DISTR 0\nION_DWBA 0\nELASTIC_DPW 0\nE 0 700 700\nX -1 1 100\nPTALLY1 0 0 1 0 0 1 (E X)\n662\n";

struct RUN {
  int exitCode = -1;
  std::string console;
};

// Runs the program in folder with the arguments, standard input from
// /dev/null and standard output into a pipe (not limited below); fileLimit > 0
// caps the size of every file it writes (bytes) with SIGXFSZ ignored, so that
// a write beyond it fails as on a full disk. A run longer than 60 s is killed.
RUN RunTrenqual(const std::string& folder, const std::vector<std::string>& args, rlim_t fileLimit = 0) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return RUN{};
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    if (chdir(folder.c_str()) != 0 || freopen("/dev/null", "r", stdin) == nullptr) _exit(126);
    dup2(pipeEnds[1], STDOUT_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    if (fileLimit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{fileLimit, fileLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    alarm(60);  // survives exec: a hang ends with SIGALRM
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("./Trenqual"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("./Trenqual", argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  RUN run;
  char block[4096];
  ssize_t n = 0;
  while ((n = read(pipeEnds[0], block, sizeof block)) > 0) run.console.append(block, static_cast<size_t>(n));
  close(pipeEnds[0]);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

// The ENDF folder as seen from the scratch folder the program runs in.
std::string Endf() { return fs::absolute(EndfFolder()).string() + "/"; }

std::string Prepared(const std::string& testName) {
  const std::string folder = MakeScratchFolder(testName);
  InstallProgram(folder);
  WriteTextFile(folder + "big.txt", kLargeTallyInput);
  return folder;
}

bool ResultFolderInDevices() {
  for (const auto& entry : fs::directory_iterator("/dev")) {
    if (entry.path().filename().string().rfind("Files_", 0) == 0) return true;
  }
  return false;
}

TEST(EndToEndResultTargets, DevicesFoldersAndPipesAreRefusedAsOutputAndLog) {
  const std::string folder = Prepared("e2e-result-targets");
  fs::create_directories(folder + "aFolder");
  struct CASE {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string notRegular = " is not a regular file (a device, pipe or folder cannot hold it).\n";
  const std::vector<CASE> cases = {
      {{"out", "/dev/full"}, "Error: Output file \"/dev/full\"" + notRegular},
      {{"out", "/dev/null"}, "Error: Output file \"/dev/null\"" + notRegular},
      {{"out", "aFolder"}, "Error: Output file \"aFolder\"" + notRegular},
      {{"out", "/dev/stdout"}, "Error: Output file \"/dev/stdout\"" + notRegular},  // a pipe here
      {{"writeLog", "1", "log", "/dev/full"}, "Error: Log file \"/dev/full\"" + notRegular},
  };
  for (const CASE& c : cases) {
    std::vector<std::string> args = {"in", "big.txt", "dir", Endf()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RUN run = RunTrenqual(folder, args);
    EXPECT_EQ(run.exitCode, 1) << c.args[1];
    EXPECT_EQ(run.console, c.message) << c.args[1];
  }
  // Standard output redirected into a file is a regular file, but it lies
  // among the devices, where the result folder would be made.
  const std::string redirected = "cd '" + folder + "' && timeout 60 ./Trenqual in big.txt dir '" + Endf() +
                                 "' out /dev/stdout > console.txt 2>&1 < /dev/null";
  const int status = std::system(redirected.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(ReadText(folder + "console.txt"),
            "Error: Output file \"/dev/stdout\" is in a folder of devices, where no result folder is made.\n");
  EXPECT_FALSE(ResultFolderInDevices());
  EXPECT_FALSE(fs::exists(folder + "Files_big_out.txt"));

  const RUN zero = RunTrenqual(folder, {"in", "/dev/zero", "dir", Endf()});
  EXPECT_EQ(zero.exitCode, 1);
  EXPECT_EQ(zero.console, "Error: Input file \"/dev/zero\" is not a regular file.\n");
  // A named pipe without a writer would hold a plain open for ever.
  ASSERT_EQ(mkfifo((folder + "pipe.txt").c_str(), 0600), 0);
  const RUN pipe = RunTrenqual(folder, {"in", "pipe.txt", "dir", Endf()});
  EXPECT_EQ(pipe.exitCode, 1);
  EXPECT_EQ(pipe.console, "Error: Input file \"pipe.txt\" is not a regular file.\n");
  // Data files are read only from regular files (standard input would wait).
  const RUN alt = RunTrenqual(folder, {"in", "big.txt", "dir", Endf(), "alt", "/dev/stdin"});
  EXPECT_EQ(alt.exitCode, 1);
  EXPECT_NE(alt.console.find("Alternative cross sections info file \"/dev/stdin\" could not be opened for reading.\n"),
            std::string::npos)
      << alt.console;
}

TEST(EndToEndResultTargets, AFullDiskEndsTheRunWithTheFileNamed) {
  const std::string folder = Prepared("e2e-full-disk");
  // Without a limit the run writes both files.
  const RUN whole = RunTrenqual(folder, {"in", "big.txt", "dir", Endf()});
  ASSERT_EQ(whole.exitCode, 0) << whole.console;
  const std::string tally = folder + "Files_big_out.txt/PTALLY1_E_X.txt";
  ASSERT_GT(fs::file_size(tally), 256u * 1024u);
  ASSERT_LT(fs::file_size(folder + "big_out.txt"), 64u * 1024u);
  fs::remove_all(folder + "Files_big_out.txt");

  // 256 kB: the output file fits, the tally file does not.
  const RUN tallyFull = RunTrenqual(folder, {"in", "big.txt", "dir", Endf()}, 256 * 1024);
  EXPECT_EQ(tallyFull.exitCode, 1);
  EXPECT_NE(tallyFull.console.find("Error: File \"Files_big_out.txt/PTALLY1_E_X.txt\" could not be written.\n"),
            std::string::npos)
      << tallyFull.console;
  EXPECT_FALSE(fs::exists(tally));  // no half-written file

  // 2 kB: the output file itself fails; the run ends before the result folder.
  fs::remove_all(folder + "Files_big_out.txt");
  const RUN outputFull = RunTrenqual(folder, {"in", "big.txt", "dir", Endf()}, 2 * 1024);
  EXPECT_EQ(outputFull.exitCode, 1);
  EXPECT_NE(outputFull.console.find("Error: File \"big_out.txt\" could not be written.\n"), std::string::npos)
      << outputFull.console;
  EXPECT_FALSE(fs::exists(folder + "Files_big_out.txt"));
}

}  // namespace
