#include "tests/validation/trenqual_runs.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TRENQUALRUN RunTrenqual(const std::string& program, const std::string& folder, const std::string& name,
                        const std::string& input, const std::string& endfFolder, int workers, int seed) {
  TRENQUALRUN run;
  run.folder = folder.back() == '/' ? folder : folder + "/";
  run.name = name;
  std::error_code ignored;
  std::filesystem::remove_all(run.folder, ignored);
  std::filesystem::create_directories(run.folder, ignored);
  {
    std::ofstream file(run.folder + name + ".txt", std::ios::binary);
    file << input;
  }
  const std::string n = std::to_string(workers);
  const std::string command = "cd " + Quoted(run.folder) + " && " + Quoted(program) + " in " + Quoted(name + ".txt") +
                              " dir " + Quoted(endfFolder) + " tasks " + n + " nStreams " + n + " seed " +
                              std::to_string(seed) + " > console.txt 2>&1 < /dev/null";
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = ReadWholeFile(run.folder + name + "_out.txt");
  return run;
}

double NumberAfter(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}
