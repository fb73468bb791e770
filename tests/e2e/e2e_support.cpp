#include "tests/e2e/e2e_support.h"

#include <cstdlib>
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
