// The user manual against the program: its reference table of directives and
// its table of command-line keywords must list exactly the keywords that the
// program's own tables hold, each marked for the program that accepts it, and
// every directive the manual lists must be recognised by the directive loop
// of this program (Trenqual or Trenqual_CUDA).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/build_variant.h"
#include "driver/directives/directive_dispatch.h"
#include "driver/input/command_line.h"
#include "tests/directives/directive_test_support.h"

namespace {

// One row of a manual table: the keyword form of its first cell and whether
// its program cell names Trenqual_CUDA alone.
using MANUALTABLE = std::map<std::string, bool>;

std::string ManualText() {
  std::ifstream file(TQ_MANUAL_PATH);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The cells of a Markdown table row ("| a | b |"), trimmed.
std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  std::string cell;
  for (size_t i = 1; i < row.size(); ++i) {
    if (row[i] != '|') {
      cell += row[i];
      continue;
    }
    const size_t first = cell.find_first_not_of(' ');
    const size_t last = cell.find_last_not_of(' ');
    cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    cell.clear();
  }
  return cells;
}

// The rows between "<!-- <name> begin -->" and "<!-- <name> end -->" whose
// first cell is one keyword form in backquotes; *errors collects rows of
// another shape and forms listed twice.
MANUALTABLE ReadManualTable(const std::string& text, const std::string& name, std::string* errors) {
  MANUALTABLE table;
  const size_t begin = text.find("<!-- " + name + " begin -->");
  const size_t end = text.find("<!-- " + name + " end -->");
  if (begin == std::string::npos || end == std::string::npos || end < begin) {
    *errors += "no table \"" + name + "\" in the manual\n";
    return table;
  }
  std::istringstream rows(text.substr(begin, end - begin));
  std::string row;
  while (std::getline(rows, row)) {
    if (row.rfind("| `", 0) != 0) continue;
    const std::vector<std::string> cells = Cells(row);
    const std::string& first = cells.empty() ? row : cells[0];
    if (cells.size() < 2 || first.size() < 3 || first.front() != '`' || first.back() != '`' ||
        first.find('`', 1) != first.size() - 1) {
      *errors += "row of another shape: " + row + "\n";
      continue;
    }
    const std::string form = first.substr(1, first.size() - 2);
    if (table.count(form) != 0) *errors += "listed twice: " + form + "\n";
    table[form] = cells[1] == "Trenqual_CUDA";
  }
  return table;
}

// The differences between the program's names and the manual's table.
std::string Differences(const KEYWORDNAMES& program, const MANUALTABLE& manual) {
  std::string report;
  std::map<std::string, bool> own;
  for (const KEYWORDNAME& name : program) own[name.form] = name.gpuOnly;
  for (const auto& [form, gpuOnly] : own) {
    const auto listed = manual.find(form);
    if (listed == manual.end()) {
      report += "the program has \"" + form + "\", the manual does not list it\n";
    } else if (listed->second != gpuOnly) {
      report += "\"" + form + "\" is " + (gpuOnly ? "Trenqual_CUDA's only" : "in both programs") +
                ", the manual says otherwise\n";
    }
  }
  for (const auto& [form, gpuOnly] : manual) {
    if (own.count(form) == 0) report += "the manual lists \"" + form + "\", the program has no such keyword\n";
  }
  return report;
}

// The words that a keyword form stands for: "TALLY[<n>]" is TALLY and TALLY3,
// "M<n>" is M3, "FORCE_EXC<Z>" is FORCE_EXC29.
std::vector<std::string> Spellings(const std::string& form) {
  const size_t optional = form.find("[<n>]");
  if (optional != std::string::npos) return {form.substr(0, optional), form.substr(0, optional) + "3"};
  const size_t number = form.find("<n>");
  if (number != std::string::npos) return {form.substr(0, number) + "3"};
  const size_t element = form.find("<Z>");
  if (element != std::string::npos) return {form.substr(0, element) + "29"};
  return {form};
}

TEST(ManualCoverage, ReferenceTableListsExactlyTheProgramsDirectives) {
  std::string errors;
  const MANUALTABLE manual = ReadManualTable(ManualText(), "directive table", &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Differences(DirectiveKeywordNames(), manual), "");
}

TEST(ManualCoverage, CommandLineTableListsExactlyTheProgramsKeywords) {
  std::string errors;
  const MANUALTABLE manual = ReadManualTable(ManualText(), "command-line table", &errors);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(Differences(CommandLineKeywordNames(), manual), "");
}

// Each directive of the manual, alone on a line, reaches its handler (which
// may then miss its values) instead of being read as a spectrum number; a
// directive of Trenqual_CUDA is no directive of Trenqual.
TEST(ManualCoverage, EveryListedDirectiveIsRecognisedByThisProgram) {
  std::string errors;
  const MANUALTABLE manual = ReadManualTable(ManualText(), "directive table", &errors);
  ASSERT_EQ(errors, "");
  ASSERT_GT(manual.size(), 100u);
  for (const auto& [form, gpuOnly] : manual) {
    for (const std::string& word : Spellings(form)) {
      const INPUTRUN run = RunLines({word});
      const bool refused =
          run.console.find("Error: Invalid number or input directive \"" + word + "\"") != std::string::npos;
      EXPECT_EQ(refused, gpuOnly && !gpuBuild) << word << ":\n" << run.console;
    }
  }
}

}  // namespace
