// The user manual against the language: its table of the numbered messages
// holds exactly the program's texts, and its table of built-in functions
// names exactly the built-ins that a program can call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "language/builtin_table.h"
#include "language/messages.h"

namespace {

constexpr int kFirstMessage = 2232;
constexpr int kLastMessage = 2908;
constexpr int kFirstCallableBuiltin = 14;  // 0..13 are the operators

std::string ManualText() {
  std::ifstream file(TQ_MANUAL_PATH);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The rows of the manual between "<!-- <name> begin -->" and its end mark.
std::vector<std::string> TableRows(const std::string& name) {
  const std::string text = ManualText();
  const size_t begin = text.find("<!-- " + name + " begin -->");
  const size_t end = text.find("<!-- " + name + " end -->");
  std::vector<std::string> rows;
  if (begin == std::string::npos || end == std::string::npos || end < begin) return rows;
  std::istringstream lines(text.substr(begin, end - begin));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("| ", 0) == 0 && line.rfind("| ---", 0) != 0) rows.push_back(line);
  }
  return rows;
}

// "| 2381 | Error: mismatched parentheses. |" gives 2381 and the text, with
// the table's "\|" read as "|".
std::map<int, std::string> ManualMessages() {
  std::map<int, std::string> messages;
  for (const std::string& row : TableRows("language messages")) {
    const size_t bar = row.find(" | ", 2);
    if (bar == std::string::npos || row.size() < bar + 5) continue;
    const int number = std::atoi(row.c_str() + 2);
    std::string text = row.substr(bar + 3, row.size() - bar - 5);
    for (size_t p = text.find("\\|"); p != std::string::npos; p = text.find("\\|", p + 1)) text.erase(p, 1);
    messages[number] = text;
  }
  return messages;
}

// The names of the call forms in backquotes in each row's first cell:
// "| `exp(x)`, `ln(x)` | ..." gives exp and ln.
std::set<std::string> ManualBuiltins() {
  std::set<std::string> names;
  for (const std::string& row : TableRows("builtin table")) {
    const std::string first = row.substr(2, row.find(" | ", 2) - 2);
    size_t open = first.find('`');
    while (open != std::string::npos) {
      const size_t close = first.find('`', open + 1);
      if (close == std::string::npos) break;
      const std::string form = first.substr(open + 1, close - open - 1);
      names.insert(form.substr(0, form.find('(')));
      open = first.find('`', close + 1);
    }
  }
  return names;
}

}  // namespace

TEST(ManualCoverage, TheMessageTableHoldsEveryNumberedMessageAsItReads) {
  const std::map<int, std::string> manual = ManualMessages();
  ASSERT_FALSE(manual.empty()) << "no table \"language messages\" in the manual";
  int count = 0;
  for (int number = kFirstMessage; number <= kLastMessage; ++number) {
    char text[2000];
    GetMessageText(number, text, sizeof text);
    if (text[0] == '\0') {
      EXPECT_EQ(manual.count(number), 0u) << "the manual lists " << number << ", the program has no such message";
      continue;
    }
    ++count;
    const auto listed = manual.find(number);
    if (listed == manual.end()) {
      ADD_FAILURE() << "message " << number << " is missing from the manual";
    } else {
      EXPECT_EQ(listed->second, text) << "message " << number;
    }
  }
  EXPECT_EQ(count, MessageCount());
}

TEST(ManualCoverage, TheBuiltinTableNamesEveryBuiltin) {
  const std::set<std::string> manual = ManualBuiltins();
  ASSERT_FALSE(manual.empty()) << "no table \"builtin table\" in the manual";
  std::set<std::string> own;
  for (int code = kFirstCallableBuiltin; code < kBuiltinCount; ++code) own.insert(language::kBuiltins[code].name);
  for (const std::string& name : own) EXPECT_EQ(manual.count(name), 1u) << name << " is missing from the manual";
  for (const std::string& name : manual) EXPECT_EQ(own.count(name), 1u) << "the manual lists " << name;
}
