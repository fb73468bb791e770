#include "tests/e2e/e2e_support.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_paths.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

}  // namespace

std::string ReadText(const std::string& path) { return ReadFile(path); }

std::string InstallProgram(const std::string& folder) {
  namespace fs = std::filesystem;
  fs::create_directories(folder + "Data");
  fs::copy_file(SharedDataFolder() + "aux/ComptonProfiles.dat", folder + "Data/ComptonProfiles.dat");
  fs::copy_file(TRENQUAL_PATH, folder + "Trenqual");
  fs::permissions(folder + "Trenqual", fs::perms::owner_exec, fs::perm_options::add);
  return folder + "Trenqual";
}

std::string InstallProgramWithAuxData(const std::string& folder) {
  namespace fs = std::filesystem;
  const std::string data = BuiltAuxDataFolder();
  if (data.empty()) return "";
  const std::string program = InstallProgram(folder);
  for (const char* name : {"ElasticDPW_totalCS.dat", "ElasticDPW_angularDistr.dat", "IonDWBA.dat",
                           "Brems_angular_prob_dens.dat", "EEDL_elastic.dat", "Brems_angular_prob_dens"})
    fs::create_symlink(data + name, folder + "Data/" + name);
  return program;
}

PROGRAMRUN RunProgram(const std::string& program, const std::string& inputName,
                      const std::vector<std::string>& args) {
  PROGRAMRUN run{};
  run.folder = MakeScratchFolder("e2e-" + inputName);
  WriteTextFile(run.folder + inputName, ReadFile(std::string(E2E_SOURCE_DIR) + "inputs/" + inputName));
  std::string command = "cd " + Quoted(run.folder) + " && " + Quoted(program);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " > console.txt 2>&1 < /dev/null";
  int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.console = ReadFile(run.folder + "console.txt");
  return run;
}

PROGRAMRUN RunProgramOn(const std::string& program, const std::string& inputPath, const std::string& inputName,
                        const std::vector<std::string>& args) {
  PROGRAMRUN run{};
  run.folder = MakeScratchFolder("e2e-" + inputName);
  WriteTextFile(run.folder + inputName, ReadFile(inputPath));
  std::string command = "cd " + Quoted(run.folder) + " && " + Quoted(program);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " > console.txt 2>&1 < /dev/null";
  int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.console = ReadFile(run.folder + "console.txt");
  return run;
}

PROGRAMRUN RunProgramOnTerminal(const std::string& program, const std::string& inputName,
                                const std::vector<std::string>& args, const std::vector<TYPEDKEYS>& typed,
                                int timeoutSeconds) {
  PROGRAMRUN run{};
  run.folder = MakeScratchFolder("e2e-terminal-" + inputName);
  WriteTextFile(run.folder + inputName, ReadFile(std::string(E2E_SOURCE_DIR) + "inputs/" + inputName));
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return run;
  if (child == 0) {
    if (chdir(run.folder.c_str()) == 0) execv(program.c_str(), argv.data());
    _exit(127);
  }

  // The output is read as it comes; each entry's keys follow its cue.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  size_t next = 0;
  int status = 0;
  bool ended = false;
  std::string output;
  for (;;) {
    pollfd ready{terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) > 0) {
      char buffer[4096];
      ssize_t n = read(terminal, buffer, sizeof buffer);
      if (n > 0) output.append(buffer, static_cast<size_t>(n));
      if (n <= 0 && ended) break;  // the terminal is closed
    } else if (ended) {
      break;
    }
    if (next < typed.size() && output.find(typed[next].cue) != std::string::npos) {
      if (write(terminal, typed[next].keys.data(), typed[next].keys.size()) < 0) break;
      ++next;
    }
    if (!ended && waitpid(child, &status, WNOHANG) == child) ended = true;
    if (!ended && std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ended = true;
      status = -1;
    }
  }
  close(terminal);
  run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (char ch : output) {
    if (ch != '\r') run.console += ch;
  }
  return run;
}

std::string MaskProgramPath(const std::string& text) {
  std::istringstream lines(text);
  std::string line, masked;
  bool commandLineNext = false;
  while (std::getline(lines, line)) {
    if (commandLineNext) {
      size_t blank = line.find(' ');
      line = "<program>" + (blank == std::string::npos ? std::string() : line.substr(blank));
    }
    commandLineNext = line == "Command line:";
    masked += line + "\n";
  }
  return masked;
}

std::string MaskVolatileLines(const std::string& text) {
  std::istringstream lines(text);
  std::string line, masked;
  bool commandLineNext = false;
  while (std::getline(lines, line)) {
    if (commandLineNext) {
      // The program's own path differs between machines.
      size_t blank = line.find(' ');
      line = "<program>" + (blank == std::string::npos ? std::string() : line.substr(blank));
    }
    commandLineNext = line == "Command line:";
    bool volatileLine = line.find("time") != std::string::npos || line.find("Time") != std::string::npos ||
                        line.find("date") != std::string::npos || line.find("Date") != std::string::npos;
    // Which worker meets a once-per-run warning first depends on timing.
    const size_t thread = line.find("in thread No. ");
    if (thread != std::string::npos) {
      const size_t number = thread + std::strlen("in thread No. ");
      line.replace(number, line.find_first_not_of("0123456789", number) - number, "<n>");
    }
    masked += (volatileLine ? std::string("<masked>") : line) + "\n";
  }
  return masked;
}

// A line that held progress lines becomes empty, as it is when no progress
// line was shown.
std::string WithoutProgressLines(const std::string& text) {
  std::istringstream lines(text);
  std::string line, kept;
  while (std::getline(lines, line)) kept += (line.find('\r') == std::string::npos ? line : std::string()) + "\n";
  return kept;
}

std::string MaskEndfFolder(std::string text) {
  const std::string endf = EndfFolder();
  for (size_t at = text.find(endf); at != std::string::npos; at = text.find(endf, at)) {
    text.replace(at, endf.size(), "<endf>/");
  }
  return MaskVolatileLines(text);
}

std::string CompareWithGolden(const std::string& text, const std::string& goldenName) {
  std::string path = std::string(E2E_SOURCE_DIR) + "golden/" + goldenName;
  if (std::getenv("TQ_REGENERATE_GOLDEN") != nullptr) {
    WriteTextFile(path, text);
    return "";
  }
  std::string golden = ReadFile(path);
  if (golden == text) return "";
  size_t at = 0;
  while (at < golden.size() && at < text.size() && golden[at] == text[at]) ++at;
  return "differs from " + path + " at byte " + std::to_string(at) + ":\n--- golden ---\n" +
         golden.substr(at, 200) + "\n--- actual ---\n" + text.substr(at, 200);
}

std::vector<std::string> DeviceRunArgs(const std::string& input, int workers, int streams, int nDevices) {
  std::vector<std::string> args = {"in", input, "dir", EndfFolder(), "tasks", std::to_string(workers), "seed", "5"};
  args.insert(args.end(), {"nStreams", std::to_string(streams), "tasks_CUDA", "8", "threads_CUDA", "8"});
  args.insert(args.end(), {"blockSize_CUDA", "8", "first_CUDA", "1", "last_CUDA", std::to_string(nDevices)});
  return args;
}
